// With the platform's own pstorec.dll, whose service answers but cannot
// create an item type, Protected Storage counts as absent: the backend does
// not open, says why in the trace log, and new software containers go to
// the registry backend.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "common/trace_log.h"
#include "csp/storage/storage.h"
#include "tests/csp/context/provider_fixture.h"
#include "tests/support/isolation.h"
#include "tests/support/log_marker.h"

namespace tvtest {
namespace {

TEST(PlatformProtectedStorage, ProbeFindsItUnusable) {
  LogMarker marker(UniqueName("p"));
  tv::ResetLog();
  ASSERT_TRUE(marker.Write("3"));
  ASSERT_TRUE(tv::OpenLog(marker.Tag().c_str(), nullptr));

  tv::csp::StorageRecord* storage = reinterpret_cast<tv::csp::StorageRecord*>(1);
  EXPECT_FALSE(tv::csp::ProtectedStorage().OpenKeyStorage(&storage, GetModuleHandleA(nullptr), 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_NOTIMPL));
  EXPECT_EQ(storage, nullptr);
  EXPECT_EQ(GetModuleHandleA("pstorec.dll"), nullptr) << "the unusable service stays loaded";
  tv::ResetLog();

  const std::string log = marker.Text();
  EXPECT_NE(log.find("POpenKeyStorage. 1. "), std::string::npos) << log;
  EXPECT_NE(log.find("POpenKeyStorage. 4. 80004001."), std::string::npos) << log;
}

TEST(PlatformProtectedStorage, NewSoftwareContainerGoesToTheRegistry) {
  ContainerCleanup cleanup;
  const std::string name = cleanup.Add("pstore-fallback-");
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CreateContainer(name, 0, IDNO, provider)) << std::hex << GetLastError();
  HCRYPTKEY key = 0;
  ASSERT_TRUE(CryptGenKey(provider, AT_KEYEXCHANGE, 512 << 16, &key));
  CryptDestroyKey(key);
  ASSERT_TRUE(CryptReleaseContext(provider, 0));

  bool registryRecord = false, protectedStorageMark = false;
  for (const auto& [value, size] : ContainerValues(name)) {
    registryRecord |= value == "EPvK";
    protectedStorageMark |= value == "PSKEYS" || value == "ExchTypeSubtype";
  }
  EXPECT_TRUE(registryRecord);
  EXPECT_FALSE(protectedStorageMark);
}

}  // namespace
}  // namespace tvtest
