// The registration tool and the platform's CryptoAPI: once registered, an
// application's CryptAcquireContextA reaches our CPAcquireContext; once
// removed, CryptoAPI no longer knows the provider. The test leaves the
// provider registered, as the test session set it up.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "csp/front/provider_identity.h"
#include "tests/support/isolation.h"
#include "tests/support/log_marker.h"

namespace {

const std::string kProviderKey =
    std::string("SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\") + tv::csp::kProviderName;

int Register(const std::string& arguments) {
  return tvtest::RunProcess("\"" + tvtest::ProgramDirectory() + "\\tvcsp-register.exe\" " + arguments);
}

std::string ImagePath() {
  char path[MAX_PATH] = "";
  DWORD size = sizeof path;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kProviderKey.c_str(), "Image Path", RRF_RT_REG_SZ, nullptr, path,
                   &size) != ERROR_SUCCESS)
    return {};
  return path;
}

DWORD DwordValue(const char* name) {
  DWORD value = 0xFFFFFFFF, size = sizeof value;
  RegGetValueA(HKEY_LOCAL_MACHINE, kProviderKey.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(marker_.Write("3")); }
  void TearDown() override { Register("install"); }

  tvtest::LogMarker marker_{"csp"};
};

TEST_F(RegistrationTest, InstallReachesOurEntryAndUninstallRemovesIt) {
  ASSERT_EQ(Register("install"), 0);
  EXPECT_NE(ImagePath().find("tvcsp.dll"), std::string::npos);
  EXPECT_EQ(DwordValue("Type"), 1u);
  EXPECT_EQ(DwordValue("SigInFile"), 0u);

  // Silent: a container that no software store holds would otherwise be
  // asked for on a Key.
  HCRYPTPROV prov = 0;
  EXPECT_FALSE(CryptAcquireContextA(&prov, "registration-probe", tv::csp::kProviderName, PROV_RSA_FULL, CRYPT_SILENT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_SILENT_CONTEXT));
  const std::string log = marker_.Text();
  EXPECT_NE(log.find("CPAcquireContext. 1. "), std::string::npos) << log;
  EXPECT_NE(log.find(". registration-probe. 00000040."), std::string::npos) << log;

  ASSERT_EQ(Register("uninstall"), 0);
  EXPECT_EQ(ImagePath(), "");
  EXPECT_FALSE(CryptAcquireContextA(&prov, "registration-probe", tv::csp::kProviderName, PROV_RSA_FULL, CRYPT_SILENT));
  EXPECT_NE(GetLastError(), static_cast<DWORD>(NTE_SILENT_CONTEXT));
  EXPECT_EQ(Register("uninstall"), 0) << "uninstalling twice is not an error";
}

TEST_F(RegistrationTest, RefusesBadUsageAndMissingFiles) {
  EXPECT_EQ(Register(""), 1);
  EXPECT_EQ(Register("reinstall"), 1);
  EXPECT_EQ(Register("install C:\\no\\such\\tvcsp.dll"), 2);
  EXPECT_NE(ImagePath().find("tvcsp.dll"), std::string::npos) << "a refused install changed nothing";
  EXPECT_EQ(ImagePath().find("no\\such"), std::string::npos);
}

}  // namespace
