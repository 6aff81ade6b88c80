// The entry frame called in-process: handle validation, the entry lines and
// the flag rules of acquisition.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "common/trace_log.h"
#include "csp/front/cp_entries.h"
#include "csp/front/handles.h"
#include "csp/front/process_state.h"
#include "csp/front/runtime_binding.h"
#include "tests/support/isolation.h"
#include "tests/support/log_marker.h"

namespace {

using tv::csp::HandleKind;

// Records shaped like the provider's: the tag where each kind keeps it.
struct FakeRecord {
  unsigned char bytes[32] = {};
  void Tag(HandleKind kind, std::uint32_t tag) { memcpy(bytes + tv::csp::TagOffset(kind), &tag, 4); }
  ULONG_PTR Handle() { return reinterpret_cast<ULONG_PTR>(bytes); }
};

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::ResetLog();
    ASSERT_TRUE(marker_.Write("3"));
    ASSERT_TRUE(tv::OpenLog(marker_.Tag().c_str(), nullptr));
    tv::csp::HandleTag = 0x5EED1234;
  }
  void TearDown() override {
    tv::ResetLog();
    tv::csp::HandleTag = 0;
  }
  std::string Log() const { return marker_.Text(); }

  tvtest::LogMarker marker_{tvtest::UniqueName("f")};
};

struct EntryCase {
  const char* name;
  std::function<BOOL(HCRYPTPROV, ULONG_PTR)> call;  // provider, other handle
  HandleKind other;                                   // the second handle's kind
};

const EntryCase kEntries[] = {
    {"CPReleaseContext", [](HCRYPTPROV p, ULONG_PTR) { return CPReleaseContext(p, 0); }, HandleKind::Provider},
    {"CPGetProvParam", [](HCRYPTPROV p, ULONG_PTR) { DWORD n = 0; return CPGetProvParam(p, PP_NAME, nullptr, &n, 0); }, HandleKind::Provider},
    {"CPSetProvParam", [](HCRYPTPROV p, ULONG_PTR) { return CPSetProvParam(p, PP_CLIENT_HWND, nullptr, 0); }, HandleKind::Provider},
    {"CPGenRandom", [](HCRYPTPROV p, ULONG_PTR) { BYTE b[4]; return CPGenRandom(p, 4, b); }, HandleKind::Provider},
    {"CPGetUserKey", [](HCRYPTPROV p, ULONG_PTR) { HCRYPTKEY k; return CPGetUserKey(p, AT_SIGNATURE, &k); }, HandleKind::Provider},
    {"CPGenKey", [](HCRYPTPROV p, ULONG_PTR) { HCRYPTKEY k; return CPGenKey(p, CALG_RC4, 0, &k); }, HandleKind::Provider},
    {"CPImportKey", [](HCRYPTPROV p, ULONG_PTR) { HCRYPTKEY k; BYTE b[8] = {}; return CPImportKey(p, b, 8, 0, 0, &k); }, HandleKind::Provider},
    {"CPCreateHash", [](HCRYPTPROV p, ULONG_PTR) { HCRYPTHASH h; return CPCreateHash(p, CALG_SHA1, 0, 0, &h); }, HandleKind::Provider},
    {"CPDeriveKey", [](HCRYPTPROV p, ULONG_PTR h) { HCRYPTKEY k; return CPDeriveKey(p, CALG_RC4, h, 0, &k); }, HandleKind::Hash},
    {"CPDestroyKey", [](HCRYPTPROV p, ULONG_PTR k) { return CPDestroyKey(p, k); }, HandleKind::Key},
    {"CPSetKeyParam", [](HCRYPTPROV p, ULONG_PTR k) { BYTE b[4] = {}; return CPSetKeyParam(p, k, KP_MODE, b, 0); }, HandleKind::Key},
    {"CPGetKeyParam", [](HCRYPTPROV p, ULONG_PTR k) { DWORD n = 0; return CPGetKeyParam(p, k, KP_ALGID, nullptr, &n, 0); }, HandleKind::Key},
    {"CPDuplicateKey", [](HCRYPTPROV p, ULONG_PTR k) { HCRYPTKEY d; return CPDuplicateKey(p, k, nullptr, 0, &d); }, HandleKind::Key},
    {"CPExportKey", [](HCRYPTPROV p, ULONG_PTR k) { DWORD n = 0; return CPExportKey(p, k, 0, PUBLICKEYBLOB, 0, nullptr, &n); }, HandleKind::Key},
    {"CPEncrypt", [](HCRYPTPROV p, ULONG_PTR k) { BYTE b[16] = {}; DWORD n = 8; return CPEncrypt(p, k, 0, TRUE, 0, b, &n, 16); }, HandleKind::Key},
    {"CPDecrypt", [](HCRYPTPROV p, ULONG_PTR k) { BYTE b[16] = {}; DWORD n = 8; return CPDecrypt(p, k, 0, TRUE, 0, b, &n); }, HandleKind::Key},
    {"CPHashData", [](HCRYPTPROV p, ULONG_PTR h) { return CPHashData(p, h, reinterpret_cast<const BYTE*>("x"), 1, 0); }, HandleKind::Hash},
    {"CPHashSessionKey", [](HCRYPTPROV p, ULONG_PTR h) { return CPHashSessionKey(p, h, 0, 0); }, HandleKind::Hash},
    {"CPGetHashParam", [](HCRYPTPROV p, ULONG_PTR h) { DWORD n = 0; return CPGetHashParam(p, h, HP_HASHVAL, nullptr, &n, 0); }, HandleKind::Hash},
    {"CPSetHashParam", [](HCRYPTPROV p, ULONG_PTR h) { BYTE b[20] = {}; return CPSetHashParam(p, h, HP_HASHVAL, b, 0); }, HandleKind::Hash},
    {"CPDuplicateHash", [](HCRYPTPROV p, ULONG_PTR h) { HCRYPTHASH d; return CPDuplicateHash(p, h, nullptr, 0, &d); }, HandleKind::Hash},
    {"CPDestroyHash", [](HCRYPTPROV p, ULONG_PTR h) { return CPDestroyHash(p, h); }, HandleKind::Hash},
    {"CPSignHash", [](HCRYPTPROV p, ULONG_PTR h) { DWORD n = 0; return CPSignHash(p, h, AT_SIGNATURE, nullptr, 0, nullptr, &n); }, HandleKind::Hash},
    {"CPVerifySignature", [](HCRYPTPROV p, ULONG_PTR h) { BYTE s[64] = {}; return CPVerifySignature(p, h, s, 64, 0, nullptr, 0); }, HandleKind::Hash},
};

TEST_F(FrameTest, NullProviderHandleIsRefusedAfterTheEntryLine) {
  for (const EntryCase& entry : kEntries) {
    SetLastError(0);
    EXPECT_FALSE(entry.call(0, 0)) << entry.name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_UID)) << entry.name;
    EXPECT_NE(Log().find(std::string(entry.name) + ". 1. 00000000. 00000000."), std::string::npos)
        << entry.name << " wrote no entry line with tag 0";
  }
}

TEST_F(FrameTest, StaleAndMistaggedProviderHandlesAreRefused) {
  FakeRecord released, foreign;
  released.Tag(HandleKind::Provider, tv::csp::HandleTag);
  tv::csp::RegisterHandle(HandleKind::Provider, released.bytes);
  EXPECT_TRUE(tv::csp::IsValidHandle(HandleKind::Provider, released.Handle()));
  tv::csp::UnregisterHandle(HandleKind::Provider, released.bytes);
  foreign.Tag(HandleKind::Provider, tv::csp::HandleTag + 1);
  tv::csp::RegisterHandle(HandleKind::Provider, foreign.bytes);

  for (ULONG_PTR handle : {released.Handle(), foreign.Handle()}) {
    for (const EntryCase& entry : kEntries) {
      EXPECT_FALSE(entry.call(handle, 0)) << entry.name;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_UID)) << entry.name;
    }
  }
  tv::csp::UnregisterHandle(HandleKind::Provider, foreign.bytes);
}

TEST_F(FrameTest, SecondHandleIsCheckedWithItsOwnError) {
  FakeRecord provider, stale;
  provider.Tag(HandleKind::Provider, tv::csp::HandleTag);
  tv::csp::RegisterHandle(HandleKind::Provider, provider.bytes);
  for (const EntryCase& entry : kEntries) {
    if (entry.other == HandleKind::Provider) continue;
    // A live record tagged as the right kind but carrying a stale tag.
    stale.Tag(entry.other, tv::csp::HandleTag - 1);
    tv::csp::RegisterHandle(entry.other, stale.bytes);
    for (ULONG_PTR handle : {ULONG_PTR{0}, stale.Handle()}) {
      EXPECT_FALSE(entry.call(provider.Handle(), handle)) << entry.name;
      EXPECT_EQ(GetLastError(), tv::csp::BadHandleError(entry.other)) << entry.name;
    }
    tv::csp::UnregisterHandle(entry.other, stale.bytes);
  }
  tv::csp::UnregisterHandle(HandleKind::Provider, provider.bytes);
}

TEST_F(FrameTest, ReleaseOfAnInvalidHandleWritesItsFailureLine) {
  EXPECT_FALSE(CPReleaseContext(0, 0));
  EXPECT_NE(Log().find("CPReleaseContext. 2. 00000000. 5EED1234. 00000000."), std::string::npos) << Log();
}

TEST_F(FrameTest, AcquisitionFlagRules) {
  const struct {
    const char* container;
    DWORD flags;
    DWORD error;
  } cases[] = {
      {nullptr, CRYPT_VERIFYCONTEXT | 0x1, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"", CRYPT_VERIFYCONTEXT, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"box", CRYPT_VERIFYCONTEXT, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"box", CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"box", 0x4, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {"box", CRYPT_NEWKEYSET | CRYPT_SILENT, static_cast<DWORD>(NTE_SILENT_CONTEXT)},
      {"box", CRYPT_DELETEKEYSET | CRYPT_SILENT | CRYPT_MACHINE_KEYSET, static_cast<DWORD>(NTE_SILENT_CONTEXT)},
  };
  for (const auto& c : cases) {
    HCRYPTPROV prov = 0x1234;
    EXPECT_FALSE(CPAcquireContext(&prov, const_cast<char*>(c.container), c.flags, nullptr));
    EXPECT_EQ(GetLastError(), c.error) << (c.container ? c.container : "(null)") << " " << std::hex << c.flags;
  }
  EXPECT_NE(Log().find("CPAcquireContext. 1. "), std::string::npos);
  EXPECT_NE(Log().find("CPAcquireContext. 13. 80090009."), std::string::npos) << Log();
}

TEST(ConfigSection, NameIsRewrittenFromTheDisplayName) {
  EXPECT_EQ(tv::csp::ConfigSectionName("Tavrin RSA Cryptographic Provider", "Tavrin"),
            "RSA Cryptographic Provider");
  EXPECT_EQ(tv::csp::ConfigSectionName("Tavrin - 2 Provider", "Tavrin"), "Provider");
  EXPECT_EQ(tv::csp::ConfigSectionName("Other Provider", "Tavrin"), "Other Provider");
  EXPECT_EQ(tv::csp::ConfigSectionName("Tavrin", "Tavrin"), "");
}

TEST(RuntimeBinding, ReadsFourByteValuesThroughTheRuntimeLibrary) {
  ASSERT_TRUE(tv::csp::BindRuntimeLibrary());
  const std::string section = tvtest::UniqueName("section-");
  const std::string path = "Software\\Tavrin\\" + section;
  const DWORD one = 1;
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, path.c_str(), "Mode", REG_DWORD, &one, sizeof one),
            ERROR_SUCCESS);
  std::uint32_t mode = 0, absent = 7;
  EXPECT_TRUE(tv::csp::ReadConfigValue(section, "Mode", mode));
  EXPECT_EQ(mode, 1u);
  EXPECT_FALSE(tv::csp::ReadConfigValue(section, "Missing", absent));
  EXPECT_EQ(absent, 7u);
  tvtest::DeleteRegistryTree(HKEY_CURRENT_USER, path);
  tv::csp::UnbindRuntimeLibrary();
}

}  // namespace
