// Provider parameters of our provider as CryptoAPI reaches them: the fixed
// answers, the algorithm records beside the platform's Enhanced provider,
// and key containers created, listed, named and secured.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/csp/context/provider_fixture.h"

namespace tvtest {
namespace {

const char kEnhancedProvider[] = "Microsoft Enhanced Cryptographic Provider v1.0";

// A context released when it goes.
class Context {
 public:
  Context(const char* providerName, const char* container, DWORD flags) {
    if (!CryptAcquireContextA(&handle_, container, providerName, PROV_RSA_FULL, flags)) handle_ = 0;
  }
  explicit Context(HCRYPTPROV handle) : handle_(handle) {}
  ~Context() {
    if (handle_) CryptReleaseContext(handle_, 0);
  }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
  HCRYPTPROV get() const { return handle_; }

 private:
  HCRYPTPROV handle_ = 0;
};

DWORD GetError(HCRYPTPROV provider, DWORD param, BYTE* data, DWORD* length, DWORD flags = 0) {
  return CryptGetProvParam(provider, param, data, length, flags) ? 0 : GetLastError();
}

DWORD SetError(HCRYPTPROV provider, DWORD param, const void* data, DWORD flags = 0) {
  return CryptSetProvParam(provider, param, static_cast<const BYTE*>(data), flags) ? 0 : GetLastError();
}

DWORD Word(HCRYPTPROV provider, DWORD param) {
  DWORD value = 0xEEEEEEEE, length = sizeof value;
  EXPECT_EQ(GetError(provider, param, reinterpret_cast<BYTE*>(&value), &length), 0u) << param;
  EXPECT_EQ(length, sizeof value) << param;
  return value;
}

// Every record of an algorithm enumeration, each checked to fill exactly
// one record and to end with ERROR_NO_MORE_ITEMS.
template <typename Record>
std::vector<Record> AllRecords(HCRYPTPROV provider, DWORD param) {
  std::vector<Record> records;
  for (DWORD flags = CRYPT_FIRST;; flags = 0) {
    Record record{};
    DWORD length = sizeof record;
    if (GetError(provider, param, reinterpret_cast<BYTE*>(&record), &length, flags)) break;
    EXPECT_EQ(length, sizeof record) << param << " record " << records.size();
    records.push_back(record);
    if (records.size() > 100) break;
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS)) << param;
  return records;
}

template <std::size_t N>
void ExpectNameShape(const char (&field)[N], DWORD length, const std::string& where) {
  const std::size_t characters = strnlen(field, N);
  EXPECT_LT(characters, N) << where << ": the name ends inside its field";
  EXPECT_EQ(length, characters + 1) << where << ": name lengths count the zero";
}

// Each provider's algorithms by ALG_ID, both record forms checked for shape
// and agreement.
std::map<ALG_ID, PROV_ENUMALGS_EX> Algorithms(HCRYPTPROV provider, const std::string& who) {
  const auto shortRecords = AllRecords<PROV_ENUMALGS>(provider, PP_ENUMALGS);
  const auto extendedRecords = AllRecords<PROV_ENUMALGS_EX>(provider, PP_ENUMALGS_EX);
  EXPECT_EQ(shortRecords.size(), extendedRecords.size()) << who;
  std::map<ALG_ID, PROV_ENUMALGS_EX> algorithms;
  for (std::size_t i = 0; i < std::min(shortRecords.size(), extendedRecords.size()); ++i) {
    const PROV_ENUMALGS& s = shortRecords[i];
    const PROV_ENUMALGS_EX& x = extendedRecords[i];
    const std::string where = who + " record " + std::to_string(i);
    ExpectNameShape(s.szName, s.dwNameLen, where);
    ExpectNameShape(x.szName, x.dwNameLen, where);
    ExpectNameShape(x.szLongName, x.dwLongNameLen, where);
    EXPECT_EQ(s.aiAlgid, x.aiAlgid) << where;
    EXPECT_EQ(s.dwBitLen, x.dwDefaultLen) << where;
    EXPECT_STREQ(s.szName, x.szName) << where;
    EXPECT_LE(x.dwMinLen, x.dwDefaultLen) << where;
    EXPECT_LE(x.dwDefaultLen, x.dwMaxLen) << where;
    algorithms[x.aiAlgid] = x;
  }
  return algorithms;
}

TEST(ProviderParamsThroughCryptoApi, FixedAnswers) {
  Context ours(kOurProvider, nullptr, CRYPT_VERIFYCONTEXT);
  ASSERT_NE(ours.get(), 0u) << std::hex << GetLastError();
  EXPECT_EQ(Word(ours.get(), PP_VERSION), 0x0100u) << "product version 1.0 of the provider's own file";
  EXPECT_EQ(Word(ours.get(), PP_PROVTYPE), static_cast<DWORD>(PROV_RSA_FULL));
  EXPECT_EQ(Word(ours.get(), PP_IMPTYPE), static_cast<DWORD>(CRYPT_IMPL_SOFTWARE));

  char name[64];
  DWORD length = 0;
  ASSERT_EQ(GetError(ours.get(), PP_NAME, nullptr, &length), 0u);
  EXPECT_EQ(length, 39u);
  length = 38;
  EXPECT_EQ(GetError(ours.get(), PP_NAME, reinterpret_cast<BYTE*>(name), &length),
            static_cast<DWORD>(ERROR_MORE_DATA));
  length = 39;
  ASSERT_EQ(GetError(ours.get(), PP_NAME, reinterpret_cast<BYTE*>(name), &length), 0u);
  EXPECT_STREQ(name, kOurProvider);

  DWORD word = 0;
  length = sizeof word;
  EXPECT_EQ(GetError(ours.get(), PP_VERSION, reinterpret_cast<BYTE*>(&word), &length, CRYPT_FIRST),
            static_cast<DWORD>(NTE_BAD_FLAGS));
  EXPECT_EQ(GetError(ours.get(), PP_UNIQUE_CONTAINER, reinterpret_cast<BYTE*>(name), &length),
            static_cast<DWORD>(NTE_BAD_TYPE));
}

// What clients ask before they make keys, answered as the platform's
// provider answers, for a user's and a machine's key set.
TEST(ProviderParamsThroughCryptoApi, KeyQuestionsAnsweredAsByThePlatform) {
  for (DWORD machine : {DWORD{0}, DWORD{CRYPT_MACHINE_KEYSET}}) {
    Context ours(kOurProvider, nullptr, CRYPT_VERIFYCONTEXT | machine);
    Context platform(kEnhancedProvider, nullptr, CRYPT_VERIFYCONTEXT | machine);
    ASSERT_NE(ours.get(), 0u) << std::hex << GetLastError();
    ASSERT_NE(platform.get(), 0u) << std::hex << GetLastError();
    for (DWORD param : {DWORD{PP_KEYSPEC}, DWORD{PP_KEYSET_TYPE}, DWORD{PP_SIG_KEYSIZE_INC},
                        DWORD{PP_KEYX_KEYSIZE_INC}, DWORD{PP_KEYSTORAGE}}) {
      EXPECT_EQ(Word(ours.get(), param), Word(platform.get(), param)) << "param " << param << " machine " << machine;
    }
    EXPECT_EQ(Word(ours.get(), PP_KEYSET_TYPE), machine);
  }
}

TEST(ProviderParamsThroughCryptoApi, AlgorithmRecordsHaveThePlatformsShape) {
  Context ours(kOurProvider, nullptr, CRYPT_VERIFYCONTEXT);
  Context enhanced(kEnhancedProvider, nullptr, CRYPT_VERIFYCONTEXT);
  ASSERT_NE(ours.get(), 0u);
  ASSERT_NE(enhanced.get(), 0u);
  const auto our = Algorithms(ours.get(), "ours");
  const auto theirs = Algorithms(enhanced.get(), "Enhanced");
  EXPECT_EQ(our.size(), 20u);
  // Where both providers offer an algorithm they agree on its key or hash sizes.
  int shared = 0;
  for (const auto& [id, mine] : our) {
    const auto other = theirs.find(id);
    if (other == theirs.end()) continue;
    ++shared;
    EXPECT_EQ(mine.dwDefaultLen, other->second.dwDefaultLen) << std::hex << id << " " << other->second.szName;
    EXPECT_EQ(mine.dwMinLen, other->second.dwMinLen) << std::hex << id << " " << other->second.szName;
    EXPECT_EQ(mine.dwMaxLen, other->second.dwMaxLen) << std::hex << id << " " << other->second.szName;
  }
  EXPECT_GE(shared, 10);
}

// Creates a container in the registry with a signature pair, so that it
// can be opened again by name.
void CreateWithPair(const std::string& name) {
  HCRYPTPROV created = 0;
  ASSERT_TRUE(CreateContainer(name, 0, IDNO, created)) << name << " " << std::hex << GetLastError();
  Context context(created);
  HCRYPTKEY pair = 0;
  ASSERT_TRUE(CryptGenKey(context.get(), AT_SIGNATURE, 512 << 16, &pair)) << std::hex << GetLastError();
  CryptDestroyKey(pair);
}

std::vector<std::string> ListContainers(HCRYPTPROV provider) {
  std::vector<std::string> names;
  char name[261];
  DWORD length = sizeof name;
  for (DWORD flags = CRYPT_FIRST; GetError(provider, PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &length,
                                           flags) == 0;
       flags = 0, length = sizeof name) {
    EXPECT_EQ(length, strlen(name) + 1);
    names.emplace_back(name);
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  return names;
}

// Other tests add and remove containers meanwhile, which can shift the
// positions of an enumeration in progress; a later pass sees a settled list.
bool ListsAll(HCRYPTPROV provider, const std::vector<std::string>& wanted) {
  for (int pass = 0; pass < 3; ++pass) {
    const std::vector<std::string> listed = ListContainers(provider);
    if (std::all_of(wanted.begin(), wanted.end(), [&](const std::string& name) {
          return std::find(listed.begin(), listed.end(), name) != listed.end();
        }))
      return true;
  }
  return false;
}

TEST(ProviderParamsThroughCryptoApi, ContainersAreListedNamedAndSecured) {
  ContainerCleanup cleanup;
  const std::vector<std::string> names = {cleanup.Add("params-"), cleanup.Add("params-")};
  for (const std::string& name : names) ASSERT_NO_FATAL_FAILURE(CreateWithPair(name));

  Context verifyOnly(kOurProvider, nullptr, CRYPT_VERIFYCONTEXT);
  ASSERT_NE(verifyOnly.get(), 0u);
  EXPECT_TRUE(ListsAll(verifyOnly.get(), names));

  // The size rule holds for the list as for every answer.
  DWORD length = 0;
  ASSERT_EQ(GetError(verifyOnly.get(), PP_ENUMCONTAINERS, nullptr, &length, CRYPT_FIRST), 0u);
  EXPECT_EQ(length, 261u);
  char name[261];
  length = 1;
  EXPECT_EQ(GetError(verifyOnly.get(), PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &length),
            static_cast<DWORD>(ERROR_MORE_DATA));

  for (const std::string& expected : names) {
    Context opened(kOurProvider, expected.c_str(), 0);
    ASSERT_NE(opened.get(), 0u) << expected << " " << std::hex << GetLastError();
    length = sizeof name;
    ASSERT_EQ(GetError(opened.get(), PP_CONTAINER, reinterpret_cast<BYTE*>(name), &length), 0u);
    EXPECT_EQ(length, expected.size() + 1);
    EXPECT_EQ(std::string(name), expected);
    EXPECT_TRUE(ListsAll(opened.get(), names)) << "a container's context lists its storage too";

    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    EXPECT_EQ(SetError(opened.get(), PP_KEYSET_SEC_DESCR, &descriptor, DACL_SECURITY_INFORMATION), 0u);
    // Software containers have no Key: a PIN is accepted and not needed.
    EXPECT_EQ(SetError(opened.get(), PP_KEYEXCHANGE_PIN, "1234"), 0u);
    EXPECT_EQ(SetError(opened.get(), PP_SIGNATURE_PIN, "1234"), 0u);
    EXPECT_EQ(GetError(opened.get(), PP_USE_HARDWARE_RNG, nullptr, &length), static_cast<DWORD>(NTE_BAD_TYPE));
    EXPECT_EQ(SetError(opened.get(), PP_USE_HARDWARE_RNG, nullptr), static_cast<DWORD>(NTE_BAD_TYPE));
    const HWND window = GetDesktopWindow();
    EXPECT_EQ(SetError(opened.get(), PP_CLIENT_HWND, &window), 0u);
  }

  // A verify-only context has no container whose key could be secured.
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  EXPECT_EQ(SetError(verifyOnly.get(), PP_KEYSET_SEC_DESCR, &descriptor, DACL_SECURITY_INFORMATION),
            static_cast<DWORD>(NTE_FAIL));
}

}  // namespace
}  // namespace tvtest
