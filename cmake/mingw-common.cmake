# Shared part of the MinGW-w64 toolchain files. The -posix compilers are used
# because the -win32 variants lack std::thread and std::mutex.
set(CMAKE_C_COMPILER ${TV_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TV_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TV_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TV_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
