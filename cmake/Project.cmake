# Build rules shared by every target of the project.

# Warnings are errors on both targets; Windows headers are used in their
# ANSI, lean form with the XP-era API level that the product names.
# -Wno-restrict: g++ 12 reports false overlaps in std::string concatenation
# at -O3 (GCC bug 105329).
add_compile_options(
  -Wall -Wextra -Werror -Wno-restrict
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0600 WINVER=0x0600)

# Everything that runs is self-contained: libgcc, libstdc++ and winpthread
# are linked in, so a deliverable imports system DLLs only.
add_link_options(-static -static-libgcc -static-libstdc++)

set(TV_IS_WIN64 OFF)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TV_IS_WIN64 ON)
endif()

# tv_add_dll(name DEF file.def SOURCES ... LIBS ... [SUFFIX .cpl])
# A deliverable or stand-in DLL with undecorated exports taken from a .def
# file (stdcall fix-up keeps the 32-bit names plain).
function(tv_add_dll name)
  cmake_parse_arguments(D "" "DEF;SUFFIX" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${D_SOURCES} ${D_DEF})
  target_link_libraries(${name} PRIVATE ${D_LIBS})
  target_link_options(${name} PRIVATE -Wl,--enable-stdcall-fixup)
  if(D_SUFFIX)
    set_target_properties(${name} PROPERTIES SUFFIX ${D_SUFFIX})
  endif()
endfunction()

# tv_add_version_resource(target DESCRIPTION text [FILETYPE VFT_DLL|VFT_APP])
# Compiles a version block (product 1.0, file 1.0.0.0) into the target.
function(tv_add_version_resource target)
  cmake_parse_arguments(V "" "DESCRIPTION;FILETYPE" "" ${ARGN})
  set(TV_VERSION_NAME ${target})
  get_target_property(type ${target} TYPE)
  get_target_property(suffix ${target} SUFFIX)
  if(type STREQUAL "EXECUTABLE")
    set(TV_VERSION_FILETYPE VFT_APP)
    set(ext .exe)
  else()
    set(TV_VERSION_FILETYPE VFT_DLL)
    set(ext .dll)
  endif()
  if(suffix)
    set(ext ${suffix})
  endif()
  set(TV_VERSION_FILENAME ${target}${ext})
  set(TV_VERSION_DESCRIPTION "${V_DESCRIPTION}")
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/version.rc.in ${out} @ONLY)
  target_sources(${target} PRIVATE ${out})
endfunction()

# tv_add_string_table(target): the shared string table, in the target's own resources.
function(tv_add_string_table target)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/resources/strings.rc)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/resources)
endfunction()
