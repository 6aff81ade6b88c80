// Provider parameters through the provider's own entries, in-process: the
// algorithm table in both record forms, enumerations that move on only when
// a record is copied, the size rule of every answer, the flag and parameter
// rules, and what reaches the backend (or is refused without one).
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <string>
#include <vector>

#include "csp/front/cp_entries.h"
#include "csp/front/process_state.h"
#include "csp/front/prov_context.h"
#include "tests/csp/params/scripted_backend.h"

namespace tvtest {
namespace {

using Bytes = std::vector<BYTE>;

struct AlgorithmRow {
  ALG_ID id;
  const char* name;
  DWORD defaultBits, minBits, maxBits, protocols;
  const char* longName;
};

// The provider's statement of what it implements, in its reporting order.
const AlgorithmRow kRows[] = {
    {0x8001, "MD2", 128, 128, 128, 0x20, "Message Digest 2 (MD2)"},
    {0x8002, "MD4", 128, 128, 128, 0x20, "Message Digest 4 (MD4)"},
    {0x8003, "MD5", 128, 128, 128, 0x20, "Message Digest 5 (MD5)"},
    {0x8004, "SHA", 160, 160, 160, 0x20, "Secure Hash Algorithm (SHA)"},
    {0x800C, "SHA-256", 256, 256, 256, 0x20, "Secure Hash Algorithm 256 (SHA-256)"},
    {0x800D, "SHA-384", 384, 384, 384, 0x20, "Secure Hash Algorithm 384 (SHA-384)"},
    {0x800E, "SHA-512", 512, 512, 512, 0x20, "Secure Hash Algorithm 512 (SHA-512)"},
    {0x8008, "SSL3 SHAMD5", 288, 288, 288, 0, "Concatenation of MD5 and SHA"},
    {0x8005, "MAC", 0, 0, 0, 0, "Message Authentication Code (MAC)"},
    {0x8009, "HMAC", 0, 0, 0, 0, "Hugo's MAC (HMAC)"},
    {0x2400, "RSA_SIGN", 1024, 384, 16384, 0x30, "RSA Signature"},
    {0xA400, "RSA_KEYX", 1024, 384, 16384, 0x30, "RSA Key Exchange"},
    {0x6602, "RC2", 128, 40, 128, 0, "RSA Data Security's RC2"},
    {0x6801, "RC4", 128, 40, 128, 0, "RSA Data Security's RC4"},
    {0x6601, "DES", 56, 56, 56, 0, "Data Encryption Standard (DES)"},
    {0x6609, "3DES TWO KEY", 112, 112, 112, 0, "Two Key Triple DES"},
    {0x6603, "3DES", 168, 168, 168, 0, "Three Key Triple DES"},
    {0x660E, "AES 128", 128, 128, 128, 0, "Advanced Encryption Standard 128-bit"},
    {0x660F, "AES 192", 192, 192, 192, 0, "Advanced Encryption Standard 192-bit"},
    {0x6610, "AES 256", 256, 256, 256, 0, "Advanced Encryption Standard 256-bit"},
};

// A name field: the name, then zeros to the end of the field.
template <std::size_t N>
void ExpectNameField(const char (&field)[N], DWORD length, const char* expected, const std::string& where) {
  EXPECT_EQ(length, strlen(expected) + 1) << where;
  EXPECT_EQ(std::string(field, strnlen(field, N)), expected) << where;
  for (std::size_t i = strlen(expected); i < N; ++i) EXPECT_EQ(field[i], 0) << where << " byte " << i;
}

class ProviderParamsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { tv::csp::InitializeProcessState(); }
  void SetUp() override {
    ASSERT_TRUE(CPAcquireContext(&provider_, nullptr, CRYPT_VERIFYCONTEXT, nullptr)) << std::hex << GetLastError();
  }
  void TearDown() override { CPReleaseContext(provider_, 0); }

  tv::csp::ProvContext& Context() { return *tv::csp::ContextFromHandle(provider_); }

  // 0 on success, else the entry's error.
  DWORD Get(DWORD param, BYTE* data, DWORD* length, DWORD flags = 0) {
    return CPGetProvParam(provider_, param, data, length, flags) ? 0 : GetLastError();
  }
  DWORD Set(DWORD param, const void* data, DWORD flags = 0) {
    return CPSetProvParam(provider_, param, static_cast<BYTE*>(const_cast<void*>(data)), flags) ? 0
                                                                                              : GetLastError();
  }
  // The whole answer (length asked first), or {0xEE} when either call fails.
  Bytes Read(DWORD param, DWORD flags = 0) {
    DWORD length = 0;
    if (Get(param, nullptr, &length, flags)) return {0xEE};
    Bytes bytes(length);
    if (Get(param, bytes.data(), &length, flags)) return {0xEE};
    bytes.resize(length);
    return bytes;
  }
  template <typename Record>
  Record Next(DWORD param, DWORD flags = 0) {
    Record record{};
    DWORD length = sizeof record;
    EXPECT_EQ(Get(param, reinterpret_cast<BYTE*>(&record), &length, flags), 0u) << param;
    EXPECT_EQ(length, sizeof record) << param;
    return record;
  }

  HCRYPTPROV provider_ = 0;
};

TEST_F(ProviderParamsTest, ShortRecordsListEveryRowInOrder) {
  for (std::size_t i = 0; i < std::size(kRows); ++i) {
    const AlgorithmRow& row = kRows[i];
    const auto record = Next<PROV_ENUMALGS>(PP_ENUMALGS, i == 0 ? CRYPT_FIRST : 0);
    const std::string where = "row " + std::to_string(i);
    EXPECT_EQ(record.aiAlgid, row.id) << where;
    EXPECT_EQ(record.dwBitLen, row.defaultBits) << where;
    ExpectNameField(record.szName, record.dwNameLen, row.name, where);
  }
}

TEST_F(ProviderParamsTest, ExtendedRecordsListEveryRowInOrder) {
  for (std::size_t i = 0; i < std::size(kRows); ++i) {
    const AlgorithmRow& row = kRows[i];
    const auto record = Next<PROV_ENUMALGS_EX>(PP_ENUMALGS_EX, i == 0 ? CRYPT_FIRST : 0);
    const std::string where = "row " + std::to_string(i);
    EXPECT_EQ(record.aiAlgid, row.id) << where;
    EXPECT_EQ(record.dwDefaultLen, row.defaultBits) << where;
    EXPECT_EQ(record.dwMinLen, row.minBits) << where;
    EXPECT_EQ(record.dwMaxLen, row.maxBits) << where;
    EXPECT_EQ(record.dwProtocols, row.protocols) << where;
    ExpectNameField(record.szName, record.dwNameLen, row.name, where);
    ExpectNameField(record.szLongName, record.dwLongNameLen, row.longName, where);
  }
}

TEST_F(ProviderParamsTest, AlgorithmEnumerationsEndAndRestart) {
  for (DWORD param : {DWORD{PP_ENUMALGS}, DWORD{PP_ENUMALGS_EX}}) {
    Bytes record(88);
    DWORD length = 0;
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
      length = static_cast<DWORD>(record.size());
      ASSERT_EQ(Get(param, record.data(), &length, i == 0 ? CRYPT_FIRST : 0), 0u) << param << " row " << i;
    }
    for (int past = 0; past < 2; ++past) {
      length = static_cast<DWORD>(record.size());
      EXPECT_EQ(Get(param, record.data(), &length), static_cast<DWORD>(ERROR_NO_MORE_ITEMS)) << param;
      EXPECT_EQ(Get(param, nullptr, &length), static_cast<DWORD>(ERROR_NO_MORE_ITEMS)) << param;
    }
    length = static_cast<DWORD>(record.size());
    ASSERT_EQ(Get(param, record.data(), &length, CRYPT_FIRST), 0u) << param;
    ALG_ID first;
    memcpy(&first, record.data(), sizeof first);
    EXPECT_EQ(first, kRows[0].id) << param;
  }
}

TEST_F(ProviderParamsTest, OnlyACopiedRecordAdvancesTheEnumeration) {
  const struct {
    DWORD param;
    DWORD size;
  } forms[] = {{PP_ENUMALGS, sizeof(PROV_ENUMALGS)}, {PP_ENUMALGS_EX, sizeof(PROV_ENUMALGS_EX)}};
  for (const auto& form : forms) {
    Bytes record(form.size, 0xCC);
    DWORD length = 0;
    ASSERT_EQ(Get(form.param, nullptr, &length, CRYPT_FIRST), 0u);
    EXPECT_EQ(length, form.size);
    length = form.size - 1;
    EXPECT_EQ(Get(form.param, record.data(), &length), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(length, form.size - 1) << "a short buffer leaves the length as it was";
    EXPECT_EQ(record, Bytes(form.size, 0xCC)) << "nothing is written to a short buffer";
    // Row 0 is still next, then row 1.
    for (std::size_t row : {0, 1}) {
      length = form.size;
      ASSERT_EQ(Get(form.param, record.data(), &length), 0u);
      ALG_ID id;
      memcpy(&id, record.data(), sizeof id);
      EXPECT_EQ(id, kRows[row].id) << form.param;
    }
  }
}

TEST_F(ProviderParamsTest, EachEnumerationKeepsItsOwnPosition) {
  Next<PROV_ENUMALGS>(PP_ENUMALGS, CRYPT_FIRST);
  Next<PROV_ENUMALGS>(PP_ENUMALGS);
  Next<PROV_ENUMALGS>(PP_ENUMALGS);
  EXPECT_EQ(Next<PROV_ENUMALGS_EX>(PP_ENUMALGS_EX).aiAlgid, kRows[0].id);
  EXPECT_EQ(Next<PROV_ENUMALGS>(PP_ENUMALGS).aiAlgid, kRows[3].id);

  // Another context starts from the beginning.
  HCRYPTPROV other = 0;
  ASSERT_TRUE(CPAcquireContext(&other, nullptr, CRYPT_VERIFYCONTEXT, nullptr));
  PROV_ENUMALGS record{};
  DWORD length = sizeof record;
  ASSERT_TRUE(CPGetProvParam(other, PP_ENUMALGS, reinterpret_cast<BYTE*>(&record), &length, 0));
  EXPECT_EQ(record.aiAlgid, kRows[0].id);
  CPReleaseContext(other, 0);
}

TEST_F(ProviderParamsTest, FixedAnswersFollowTheSizeRule) {
  const std::string name = "Tavrin RSA Cryptographic Provider v1.0";
  const struct {
    DWORD param;
    Bytes value;
  } cases[] = {
      {PP_NAME, Bytes(name.c_str(), name.c_str() + name.size() + 1)},
      {PP_IMPTYPE, {CRYPT_IMPL_SOFTWARE, 0, 0, 0}},
      {PP_PROVTYPE, {PROV_RSA_FULL, 0, 0, 0}},
      // In-process the provider's module is this test program, which has no
      // version resource to read.
      {PP_VERSION, {0, 0, 0, 0}},
      // What clients ask before they make keys: the key specs, the step of
      // pair lengths, a user's (not the machine's) key set, and key-set
      // security as the way containers are protected.
      {PP_KEYSPEC, {AT_KEYEXCHANGE | AT_SIGNATURE, 0, 0, 0}},
      {PP_SIG_KEYSIZE_INC, {8, 0, 0, 0}},
      {PP_KEYX_KEYSIZE_INC, {8, 0, 0, 0}},
      {PP_KEYSET_TYPE, {0, 0, 0, 0}},
      {PP_KEYSTORAGE, {CRYPT_SEC_DESCR, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const DWORD size = static_cast<DWORD>(c.value.size());
    DWORD length = 0;
    ASSERT_EQ(Get(c.param, nullptr, &length), 0u) << c.param;
    EXPECT_EQ(length, size) << c.param;

    Bytes buffer(size + 4, 0xCC);
    length = size - 1;
    EXPECT_EQ(Get(c.param, buffer.data(), &length), static_cast<DWORD>(ERROR_MORE_DATA)) << c.param;
    EXPECT_EQ(length, size - 1) << c.param;
    EXPECT_EQ(buffer, Bytes(size + 4, 0xCC)) << c.param;

    length = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(Get(c.param, buffer.data(), &length), 0u) << c.param;
    EXPECT_EQ(length, size) << c.param;
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + size), c.value) << c.param;
    EXPECT_EQ(buffer[size], 0xCC) << c.param << ": nothing past the value";
  }
  EXPECT_EQ(name.size() + 1, 39u);
}

TEST_F(ProviderParamsTest, EveryAnswerNeedsALengthToReport) {
  BYTE buffer[300];
  for (DWORD param : {DWORD{PP_ENUMALGS}, DWORD{PP_ENUMALGS_EX}, DWORD{PP_ENUMCONTAINERS}, DWORD{PP_IMPTYPE},
                      DWORD{PP_NAME}, DWORD{PP_VERSION}, DWORD{PP_CONTAINER}, DWORD{PP_PROVTYPE}}) {
    EXPECT_EQ(Get(param, buffer, nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << param;
    EXPECT_EQ(Get(param, nullptr, nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << param;
  }
  // The refused calls moved no enumeration.
  EXPECT_EQ(Next<PROV_ENUMALGS>(PP_ENUMALGS).aiAlgid, kRows[0].id);
}

TEST_F(ProviderParamsTest, VerifyOnlyContextNamesNoContainer) {
  DWORD length = 77;
  ASSERT_EQ(Get(PP_CONTAINER, nullptr, &length), 0u);
  EXPECT_EQ(length, 0u);
  BYTE buffer[8] = {0xCC};
  length = sizeof buffer;
  ASSERT_EQ(Get(PP_CONTAINER, buffer, &length), 0u);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(buffer[0], 0xCC);
}

TEST_F(ProviderParamsTest, ContainerNameIsCopiedWithItsZero) {
  tv::csp::ProvContext& context = Context();
  context.verifyOnly = false;
  context.containerName = "params-container";
  EXPECT_EQ(Read(PP_CONTAINER), Bytes({'p', 'a', 'r', 'a', 'm', 's', '-', 'c', 'o', 'n', 't', 'a', 'i', 'n', 'e',
                                       'r', 0}));
  BYTE buffer[16];
  DWORD length = sizeof buffer;  // one short of the zero
  EXPECT_EQ(Get(PP_CONTAINER, buffer, &length), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(length, 16u);
  context.containerName.clear();
  context.verifyOnly = true;
}

TEST_F(ProviderParamsTest, GetFlagAndParameterRules) {
  const struct {
    DWORD param;
    DWORD flags;
    DWORD error;
  } cases[] = {
      // Flags belong to the enumerations only.
      {PP_NAME, CRYPT_FIRST, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {PP_CONTAINER, CRYPT_FIRST, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {PP_VERSION, CRYPT_MACHINE_KEYSET, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {PP_PROVTYPE, 0x80000000, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {99, CRYPT_FIRST, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {PP_ENUMALGS, CRYPT_MACHINE_KEYSET, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {PP_ENUMALGS_EX, 2, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {PP_ENUMALGS_EX, CRYPT_FIRST | 2, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {PP_ENUMCONTAINERS, 2, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {PP_ENUMCONTAINERS, CRYPT_FIRST | CRYPT_MACHINE_KEYSET, static_cast<DWORD>(NTE_BAD_FLAGS)},
      // Unknown and write-only parameters.
      {0, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {99, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {0xFFFFFFFF, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {PP_KEYSET_SEC_DESCR, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {PP_UNIQUE_CONTAINER, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {PP_KEYEXCHANGE_PIN, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {PP_SIGNATURE_PIN, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {PP_KEYSPEC, CRYPT_FIRST, static_cast<DWORD>(NTE_BAD_FLAGS)},
      // No hardware generator behind a software backend.
      {PP_USE_HARDWARE_RNG, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
  };
  for (const auto& c : cases) {
    BYTE buffer[300];
    DWORD length = sizeof buffer;
    EXPECT_EQ(Get(c.param, buffer, &length, c.flags), c.error) << std::hex << c.param << " flags " << c.flags;
  }
}

TEST_F(ProviderParamsTest, SetFlagAndParameterRules) {
  const HWND window = nullptr;
  const char pin[] = "1234";
  const struct {
    DWORD param;
    const void* data;
    DWORD flags;
    DWORD error;
  } cases[] = {
      {PP_CLIENT_HWND, &window, CRYPT_FIRST, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {PP_KEYEXCHANGE_PIN, pin, 0x20, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {PP_USE_HARDWARE_RNG, nullptr, 1, static_cast<DWORD>(NTE_BAD_FLAGS)},
      {PP_NAME, pin, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {PP_CONTAINER, pin, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {PP_UNIQUE_CONTAINER, pin, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {0, pin, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {0x1000, pin, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      {PP_USE_HARDWARE_RNG, nullptr, 0, static_cast<DWORD>(NTE_BAD_TYPE)},
      // A value the parameter reads must be given.
      {PP_CLIENT_HWND, nullptr, 0, static_cast<DWORD>(ERROR_INVALID_PARAMETER)},
      {PP_KEYSET_SEC_DESCR, nullptr, DACL_SECURITY_INFORMATION, static_cast<DWORD>(ERROR_INVALID_PARAMETER)},
      {PP_KEYEXCHANGE_PIN, nullptr, 0, static_cast<DWORD>(ERROR_INVALID_PARAMETER)},
      {PP_SIGNATURE_PIN, nullptr, 0, static_cast<DWORD>(ERROR_INVALID_PARAMETER)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Set(c.param, c.data, c.flags), c.error) << std::hex << c.param << " flags " << c.flags;
}

TEST_F(ProviderParamsTest, InvalidHandlesAreRefused) {
  BYTE buffer[64];
  DWORD length = sizeof buffer;
  HCRYPTPROV released = 0;
  ASSERT_TRUE(CPAcquireContext(&released, nullptr, CRYPT_VERIFYCONTEXT, nullptr));
  CPReleaseContext(released, 0);
  for (HCRYPTPROV handle : {HCRYPTPROV{0}, released}) {
    EXPECT_FALSE(CPGetProvParam(handle, PP_NAME, buffer, &length, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_UID));
    const HWND window = nullptr;
    EXPECT_FALSE(CPSetProvParam(handle, PP_CLIENT_HWND, reinterpret_cast<BYTE*>(const_cast<HWND*>(&window)), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_UID));
  }
}

TEST_F(ProviderParamsTest, ClientWindowKeepsTheWholeHandle) {
  // A value that needs every bit of a window handle on this platform.
  const HWND window = reinterpret_cast<HWND>(~static_cast<ULONG_PTR>(0) - 0x1230);
  ASSERT_EQ(Set(PP_CLIENT_HWND, &window), 0u);
  EXPECT_EQ(Context().clientWindow, window);
}

TEST_F(ProviderParamsTest, ContainersAreListedFromTheBackend) {
  ScriptedBackend backend;
  backend.containers = {"first", "a-second-container-with-a-longer-name"};
  AttachScriptedBackend(Context(), backend);

  DWORD length = 0;
  ASSERT_EQ(Get(PP_ENUMCONTAINERS, nullptr, &length, CRYPT_FIRST), 0u);
  EXPECT_EQ(length, 261u) << "room for any name";

  char name[261] = {};
  length = 5;  // "first" needs 6
  EXPECT_EQ(Get(PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &length), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(length, 261u) << "the size that suffices";

  // The short buffer did not move the enumeration; both flags continue it.
  std::vector<std::string> listed;
  for (DWORD flags : {DWORD{0}, DWORD{CRYPT_MACHINE_KEYSET}}) {
    length = sizeof name;
    ASSERT_EQ(Get(PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &length, flags), 0u);
    EXPECT_EQ(length, strlen(name) + 1);
    listed.emplace_back(name);
  }
  EXPECT_EQ(listed, backend.containers);

  length = sizeof name;
  EXPECT_EQ(Get(PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &length),
            static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(length, 0u);

  length = sizeof name;
  ASSERT_EQ(Get(PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &length, CRYPT_FIRST), 0u);
  EXPECT_STREQ(name, "first");
}

TEST_F(ProviderParamsTest, HardwareGeneratorIsReportedOnlyWhenTheBackendHasOne) {
  for (bool hardware : {false, true}) {
    ScriptedBackend backend;
    backend.hardwareGenerator = hardware;
    AttachScriptedBackend(Context(), backend);
    const DWORD expected = hardware ? 0 : static_cast<DWORD>(NTE_BAD_TYPE);
    DWORD length = 16;
    EXPECT_EQ(Get(PP_USE_HARDWARE_RNG, nullptr, &length), expected) << hardware;
    if (hardware) {
      EXPECT_EQ(length, 0u) << "the answer carries no data";
    }
    EXPECT_EQ(Get(PP_USE_HARDWARE_RNG, nullptr, nullptr), expected) << hardware;
    EXPECT_EQ(Set(PP_USE_HARDWARE_RNG, nullptr), expected) << hardware;
  }
}

TEST_F(ProviderParamsTest, PinsReachTheBackendBounded) {
  ScriptedBackend backend;
  AttachScriptedBackend(Context(), backend);
  const std::string longPin(100, '7');
  ASSERT_EQ(Set(PP_KEYEXCHANGE_PIN, "1234"), 0u);
  ASSERT_EQ(Set(PP_SIGNATURE_PIN, ""), 0u);
  ASSERT_EQ(Set(PP_SIGNATURE_PIN, longPin.c_str()), 0u);
  EXPECT_EQ(backend.pins, (std::vector<std::string>{"1234", "", std::string(64, '7')}));

  backend.refuseSets = true;
  EXPECT_EQ(Set(PP_KEYEXCHANGE_PIN, "1234"), static_cast<DWORD>(NTE_FAIL));
  EXPECT_EQ(Set(PP_SIGNATURE_PIN, "1234"), static_cast<DWORD>(NTE_FAIL));
}

TEST_F(ProviderParamsTest, KeySetSecurityReachesTheBackend) {
  ScriptedBackend backend;
  AttachScriptedBackend(Context(), backend);
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  const DWORD information = DACL_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION;
  ASSERT_EQ(Set(PP_KEYSET_SEC_DESCR, &descriptor, information), 0u);
  EXPECT_EQ(backend.descriptor, &descriptor);
  EXPECT_EQ(backend.information, information);

  backend.refuseSets = true;
  EXPECT_EQ(Set(PP_KEYSET_SEC_DESCR, &descriptor, information), static_cast<DWORD>(NTE_FAIL));
}

TEST_F(ProviderParamsTest, ContextWithoutBackendRefusesWhatNeedsOne) {
  DetachBackend(Context());
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  char name[261];
  DWORD length = sizeof name;
  EXPECT_EQ(Get(PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &length, CRYPT_FIRST),
            static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(Get(PP_ENUMCONTAINERS, nullptr, &length), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(Get(PP_USE_HARDWARE_RNG, nullptr, &length), static_cast<DWORD>(NTE_BAD_TYPE));
  EXPECT_EQ(Set(PP_USE_HARDWARE_RNG, nullptr), static_cast<DWORD>(NTE_BAD_TYPE));
  EXPECT_EQ(Set(PP_KEYEXCHANGE_PIN, "1234"), static_cast<DWORD>(NTE_FAIL));
  EXPECT_EQ(Set(PP_KEYSET_SEC_DESCR, &descriptor, DACL_SECURITY_INFORMATION), static_cast<DWORD>(NTE_FAIL));
  // What needs no backend still answers.
  EXPECT_EQ(Read(PP_PROVTYPE), Bytes({1, 0, 0, 0}));
  const HWND window = nullptr;
  EXPECT_EQ(Set(PP_CLIENT_HWND, &window), 0u);
}

}  // namespace
}  // namespace tvtest
