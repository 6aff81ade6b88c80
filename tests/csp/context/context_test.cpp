// Key containers of our provider through the platform's CryptoAPI: the
// storage question, key pairs that persist across processes, deletion,
// machine containers, verify-only and silent contexts, and many threads.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/csp/context/provider_fixture.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/isolation.h"
#include "tests/support/screenshot.h"

namespace tvtest {
namespace {

const char kStorageQuestion[] =
    "Do you wish to store Cryptographic key on Key?\nTo store Cryptographic key on Key press YES.\nTo store "
    "Cryptographic key in the System Registry press NO.\nTo abort the operation press CANCEL.";

DWORD ValueSize(const std::vector<std::pair<std::string, DWORD>>& values, const std::string& name) {
  for (const auto& [value, size] : values)
    if (value == name) return size;
  return 0;
}

// Opens silently: a container that no software store holds could only be on
// a Key, which a silent call does not ask for (NTE_SILENT_CONTEXT).
bool Opens(const std::string& name, DWORD flags = 0) {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL, flags | CRYPT_SILENT)) return false;
  CryptReleaseContext(provider, 0);
  return true;
}

TEST(StorageQuestion, EachAnswerDecidesTheNewContainer) {
  const struct {
    int answer;
    bool created;
    DWORD error;
  } cases[] = {
      {IDNO, true, 0},
      {IDYES, false, ERROR_CANCELLED},  // no Key comes: the wait for one is cancelled
      {IDCANCEL, false, ERROR_CANCELLED},
  };
  ContainerCleanup cleanup;
  for (const auto& c : cases) {
    const std::string name = cleanup.Add("question-");
    HCRYPTPROV provider = 0;
    std::string question;
    const bool created = CreateContainer(name, 0, c.answer, provider, &question);
    EXPECT_EQ(created, c.created) << "answer " << c.answer << " error " << std::hex << GetLastError();
    if (!created) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(question, kStorageQuestion);
    if (created) CryptReleaseContext(provider, 0);
    // A container without key pairs is a registry key with its seed only.
    EXPECT_EQ(ValueSize(ContainerValues(name), "RandSeed") == 20, c.created) << "answer " << c.answer;
  }
}

TEST(StorageQuestion, ScreenshotOfTheQuestion) {
  ContainerCleanup cleanup;
  const std::string name = cleanup.Add("shot-");
  auto driven = DriveWindowAsync({kCreateCaption}, [](HWND box, const WindowSnapshot&) {
    SaveWindowScreenshot(box, "provider_storage_question");
    DialogDriver::Press(box, IDCANCEL);
  });
  HCRYPTPROV provider = 0;
  EXPECT_FALSE(CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
  EXPECT_NE(driven.get().hwnd, nullptr);
}

TEST(Container, PairsPersistAcrossProcessesUntilDeleted) {
  ContainerCleanup cleanup;
  const std::string name = cleanup.Add("pairs-");
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CreateContainer(name, 0, IDNO, provider)) << std::hex << GetLastError();
  HCRYPTKEY exchange = 0, signature = 0;
  ASSERT_TRUE(CryptGenKey(provider, AT_KEYEXCHANGE, CRYPT_EXPORTABLE, &exchange)) << std::hex << GetLastError();
  ASSERT_TRUE(CryptGenKey(provider, AT_SIGNATURE, 512 << 16, &signature)) << std::hex << GetLastError();
  CryptDestroyKey(exchange);
  CryptDestroyKey(signature);
  ASSERT_TRUE(CryptReleaseContext(provider, 0));

  const auto values = ContainerValues(name);
  EXPECT_EQ(ValueSize(values, "EPbK"), 156u);
  EXPECT_EQ(ValueSize(values, "EPvK"), 700u);
  EXPECT_EQ(ValueSize(values, "SPvK"), 380u);
  EXPECT_EQ(ValueSize(values, "SPbK"), 92u);
  EXPECT_EQ(ValueSize(values, "RandSeed"), 20u);

  const std::string probe = "\"" + ProgramDirectory() + "\\container_probe.exe\" " + name;
  EXPECT_EQ(RunProcess(probe + " 1024 512"), 0);

  HCRYPTPROV deleted = 0x1234;
  ASSERT_TRUE(CryptAcquireContextA(&deleted, name.c_str(), kOurProvider, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  EXPECT_EQ(deleted, 0u);
  EXPECT_TRUE(ContainerValues(name).empty());
  EXPECT_FALSE(Opens(name));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_SILENT_CONTEXT));
  EXPECT_NE(RunProcess(probe + " 1024 512"), 0);
}

TEST(Container, SignatureOnlyContainerGainsAnExchangePair) {
  ContainerCleanup cleanup;
  const std::string name = cleanup.Add("grow-");
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CreateContainer(name, 0, IDNO, provider));
  HCRYPTKEY key = 0;
  ASSERT_TRUE(CryptGenKey(provider, AT_SIGNATURE, 0, &key));
  CryptDestroyKey(key);
  CryptReleaseContext(provider, 0);
  const std::string probe = "\"" + ProgramDirectory() + "\\container_probe.exe\" " + name;
  EXPECT_EQ(RunProcess(probe + " 0 1024"), 0);

  ASSERT_TRUE(CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL, 0));
  ASSERT_TRUE(CryptGenKey(provider, AT_KEYEXCHANGE, 768 << 16, &key));
  CryptDestroyKey(key);
  CryptReleaseContext(provider, 0);
  EXPECT_EQ(RunProcess(probe + " 768 1024"), 0) << "the signature pair must stay readable";
}

TEST(Container, CreatingAnExistingContainerFails) {
  ContainerCleanup cleanup;
  const std::string name = cleanup.Add("twice-");
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CreateContainer(name, 0, IDNO, provider));
  CryptReleaseContext(provider, 0);
  EXPECT_FALSE(CreateContainer(name, 0, IDNO, provider));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_EXISTS));
  EXPECT_EQ(ValueSize(ContainerValues(name), "RandSeed"), 20u) << "the existing container is untouched";
}

// The names PP_ENUMCONTAINERS lists for a context.
std::vector<std::string> ListedContainers(HCRYPTPROV provider) {
  std::vector<std::string> names;
  for (DWORD flags = CRYPT_FIRST;; flags = 0) {
    char name[MAX_PATH];
    DWORD length = sizeof name;
    if (!CryptGetProvParam(provider, PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &length, flags)) break;
    names.emplace_back(name);
  }
  return names;
}

// A container released before any pair was made opens again without pairs,
// is listed, can be deleted and then made again, in the user's and the
// machine's key sets.
TEST(Container, EmptyContainerOpensListsDeletesAndIsMadeAgain) {
  ContainerCleanup cleanup;
  for (DWORD machine : {DWORD{0}, DWORD{CRYPT_MACHINE_KEYSET}}) {
    SCOPED_TRACE(machine ? "machine" : "user");
    const std::string name = cleanup.Add("empty-", machine);
    HCRYPTPROV provider = 0;
    ASSERT_TRUE(CreateContainer(name, machine, IDNO, provider)) << std::hex << GetLastError();
    ASSERT_TRUE(CryptReleaseContext(provider, 0));

    ASSERT_TRUE(CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL, machine))
        << std::hex << GetLastError();
    HCRYPTKEY key = 0;
    EXPECT_FALSE(CryptGetUserKey(provider, AT_KEYEXCHANGE, &key));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_NO_KEY));
    const auto listed = ListedContainers(provider);
    EXPECT_NE(std::find(listed.begin(), listed.end(), name), listed.end());
    CryptReleaseContext(provider, 0);

    HCRYPTPROV deleted = 0x1234;
    ASSERT_TRUE(CryptAcquireContextA(&deleted, name.c_str(), kOurProvider, PROV_RSA_FULL, machine | CRYPT_DELETEKEYSET))
        << std::hex << GetLastError();
    EXPECT_EQ(deleted, 0u);
    EXPECT_TRUE(ContainerValues(name, machine != 0).empty());
    EXPECT_FALSE(Opens(name, machine));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_SILENT_CONTEXT));

    ASSERT_TRUE(CreateContainer(name, machine, IDNO, provider)) << std::hex << GetLastError();
    ASSERT_TRUE(CryptGenKey(provider, AT_SIGNATURE, 512 << 16, &key));
    CryptDestroyKey(key);
    CryptReleaseContext(provider, 0);
    EXPECT_TRUE(Opens(name, machine));
  }
}

TEST(Container, MachineContainersLiveUnderMachineKeys) {
  ContainerCleanup cleanup;
  const std::string name = cleanup.Add("machine-", CRYPT_MACHINE_KEYSET);
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CreateContainer(name, CRYPT_MACHINE_KEYSET, IDNO, provider));
  HCRYPTKEY key = 0;
  ASSERT_TRUE(CryptGenKey(provider, AT_SIGNATURE, 0, &key));
  CryptDestroyKey(key);
  CryptReleaseContext(provider, 0);
  EXPECT_EQ(ValueSize(ContainerValues(name, true), "SPvK"), 700u);
  EXPECT_TRUE(ContainerValues(name, false).empty());
  EXPECT_TRUE(Opens(name, CRYPT_MACHINE_KEYSET));
  EXPECT_FALSE(Opens(name));
}

TEST(Context, SilentContextsNeverShowAWindow) {
  ContainerCleanup cleanup;
  const std::string name = cleanup.Add("silent-");
  auto watcher = DriveWindowAsync({kCreateCaption, "Open Cryptographic key"}, [](HWND box, const WindowSnapshot&) {
    DialogDriver::Press(box, IDCANCEL);
  }, std::chrono::milliseconds(1500));
  HCRYPTPROV provider = 0;
  EXPECT_FALSE(CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL,
                                    CRYPT_NEWKEYSET | CRYPT_SILENT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_SILENT_CONTEXT));
  EXPECT_FALSE(CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL,
                                    CRYPT_DELETEKEYSET | CRYPT_SILENT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_SILENT_CONTEXT));
  // Not in software storage: only a Key could hold it, and finding one would
  // need a window.
  EXPECT_FALSE(CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL, CRYPT_SILENT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_SILENT_CONTEXT));
  EXPECT_EQ(watcher.get().hwnd, nullptr) << "a silent acquisition showed a window";
}

TEST(Context, VerifyOnlyContextsKeepPairsInMemory) {
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, kOurProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
      << std::hex << GetLastError();
  BYTE random[64] = {};
  EXPECT_TRUE(CryptGenRandom(provider, sizeof random, random));
  EXPECT_NE(std::count(random, random + sizeof random, 0), 64);
  HCRYPTKEY pair = 0, user = 0;
  EXPECT_FALSE(CryptGetUserKey(provider, AT_SIGNATURE, &user));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_NO_KEY));
  ASSERT_TRUE(CryptGenKey(provider, AT_SIGNATURE, 0, &pair)) << std::hex << GetLastError();
  EXPECT_TRUE(CryptGetUserKey(provider, AT_SIGNATURE, &user));
  CryptDestroyKey(user);
  CryptDestroyKey(pair);
  EXPECT_TRUE(CryptReleaseContext(provider, 0));
}

// A machine context says so; a user's does not.
TEST(Context, KeySetTypeTellsMachineFromUser) {
  for (DWORD machine : {DWORD{0}, DWORD{CRYPT_MACHINE_KEYSET}}) {
    HCRYPTPROV provider = 0;
    ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, kOurProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | machine));
    DWORD type = 0xEEEE, length = sizeof type;
    EXPECT_TRUE(CryptGetProvParam(provider, PP_KEYSET_TYPE, reinterpret_cast<BYTE*>(&type), &length, 0));
    EXPECT_EQ(type, machine);
    CryptReleaseContext(provider, 0);
  }
}

DWORD Permissions(HCRYPTKEY key) {
  DWORD value = 0, length = sizeof value;
  EXPECT_TRUE(CryptGetKeyParam(key, KP_PERMISSIONS, reinterpret_cast<BYTE*>(&value), &length, 0));
  return value;
}

// KP_PERMISSIONS tells whether a pair can leave the provider, when it is
// made and when it is read back from its container; export agrees.
TEST(Context, PermissionsOfStoredPairsTellWhetherTheyExport) {
  ContainerCleanup cleanup;
  const std::string name = cleanup.Add("permissions-");
  const DWORD withoutExport = 0xFFFFFFFF & ~static_cast<DWORD>(CRYPT_EXPORT);
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CreateContainer(name, 0, IDNO, provider));
  HCRYPTKEY exchange = 0, signature = 0;
  ASSERT_TRUE(CryptGenKey(provider, AT_KEYEXCHANGE, 512 << 16 | CRYPT_EXPORTABLE, &exchange));
  ASSERT_TRUE(CryptGenKey(provider, AT_SIGNATURE, 512 << 16, &signature));
  EXPECT_EQ(Permissions(exchange), 0xFFFFFFFFu);
  EXPECT_EQ(Permissions(signature), withoutExport);
  CryptDestroyKey(exchange);
  CryptDestroyKey(signature);
  CryptReleaseContext(provider, 0);

  ASSERT_TRUE(CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL, 0));
  ASSERT_TRUE(CryptGetUserKey(provider, AT_KEYEXCHANGE, &exchange));
  ASSERT_TRUE(CryptGetUserKey(provider, AT_SIGNATURE, &signature));
  EXPECT_EQ(Permissions(exchange), 0xFFFFFFFFu);
  EXPECT_EQ(Permissions(signature), withoutExport);
  DWORD length = 0;
  EXPECT_TRUE(CryptExportKey(exchange, 0, PRIVATEKEYBLOB, 0, nullptr, &length));
  EXPECT_FALSE(CryptExportKey(signature, 0, PRIVATEKEYBLOB, 0, nullptr, &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_KEY_STATE));
  CryptDestroyKey(exchange);
  CryptDestroyKey(signature);
  CryptReleaseContext(provider, 0);
}

// A pair read back from its container decrypts what its public key
// encrypted in an earlier context.
TEST(Context, StoredExchangePairDecrypts) {
  ContainerCleanup cleanup;
  const std::string name = cleanup.Add("decrypt-");
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CreateContainer(name, 0, IDNO, provider));
  HCRYPTKEY key = 0;
  ASSERT_TRUE(CryptGenKey(provider, AT_KEYEXCHANGE, 1024 << 16, &key));
  BYTE buffer[128] = "a message for the stored pair";
  DWORD length = 29;
  ASSERT_TRUE(CryptEncrypt(key, 0, TRUE, CRYPT_OAEP, buffer, &length, sizeof buffer)) << std::hex << GetLastError();
  CryptDestroyKey(key);
  CryptReleaseContext(provider, 0);

  ASSERT_TRUE(CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL, 0));
  ASSERT_TRUE(CryptGetUserKey(provider, AT_KEYEXCHANGE, &key));
  ASSERT_TRUE(CryptDecrypt(key, 0, TRUE, CRYPT_OAEP, buffer, &length)) << std::hex << GetLastError();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), length), "a message for the stored pair");
  CryptDestroyKey(key);
  CryptReleaseContext(provider, 0);
}

TEST(Context, ThreadsAcquireGenerateAndReleaseTogether) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&failures] {
      for (int i = 0; i < 40; ++i) {
        HCRYPTPROV provider = 0;
        HCRYPTKEY key = 0;
        BYTE bytes[16];
        if (!CryptAcquireContextA(&provider, nullptr, kOurProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
          ++failures;
          continue;
        }
        if (!CryptGenRandom(provider, sizeof bytes, bytes)) ++failures;
        if (!CryptGenKey(provider, CALG_RC4, 0, &key)) ++failures;
        if (key && !CryptDestroyKey(key)) ++failures;
        if (!CryptReleaseContext(provider, 0)) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace tvtest
