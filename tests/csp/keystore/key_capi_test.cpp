// Key containers through the platform's CryptoAPI: the provider loaded in
// this process as every client loads it, the Key in the simulator, and the
// provider's windows answered as a person would.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "tests/csp/context/provider_fixture.h"
#include "tests/csp/keystore/key_storage_fixture.h"
#include "tests/support/child_process.h"
#include "tests/token/key_session_fixture.h"

namespace tvtest {
namespace {

constexpr const char* kDeleteCaption = "Delete Cryptographic key";

class KeyCapiTest : public KeyStorageTest {
 protected:
  // CryptAcquireContext on our provider, its windows titled `title`
  // answered with `steps`.
  Answered Acquire(HCRYPTPROV& provider, const std::string& name, DWORD flags, const char* title,
                   std::vector<WindowScript::Step> steps) {
    provider = 0;
    return RunAnswering(title, std::move(steps), [&] {
      return CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL, flags) != FALSE;
    });
  }
  // A new container on the Key in "R": "Yes" to the question, then the PIN.
  bool CreateOnTheKey(HCRYPTPROV& provider, const std::string& name) {
    const Answered created =
        Acquire(provider, name, CRYPT_NEWKEYSET, kCreateCaption, {PressButton(IDYES), TypePin(kKeyPin)});
    EXPECT_TRUE(created.ok) << std::hex << created.error;
    return created.ok;
  }
  // Generates a pair into the context's container; no window may appear.
  static bool GeneratesWithoutAWindow(HCRYPTPROV provider, DWORD keySpec, DWORD bits) {
    HCRYPTKEY pair = 0;
    const Answered generated = RunAnswering(kCreateCaption, {}, [&] {
      return CryptGenKey(provider, keySpec, bits << 16, &pair) != FALSE;
    });
    if (pair) CryptDestroyKey(pair);
    EXPECT_TRUE(generated.ok) << std::hex << generated.error;
    return generated.ok;
  }
};

class Context {
 public:
  explicit Context(HCRYPTPROV handle = 0) : handle_(handle) {}
  ~Context() {
    if (handle_) CryptReleaseContext(handle_, 0);
  }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
  HCRYPTPROV& Handle() { return handle_; }

 private:
  HCRYPTPROV handle_;
};

constexpr char kMessage[] = "signed on the Key";  // as key_signer signs it

// A SHA-1 signature of kMessage with the context's pair of `keySpec`; empty
// when signing fails.
Bytes Sign(HCRYPTPROV provider, DWORD keySpec) {
  HCRYPTHASH hash = 0;
  Bytes signature;
  DWORD size = 0;
  if (CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash) &&
      CryptHashData(hash, reinterpret_cast<const BYTE*>(kMessage), sizeof kMessage - 1, 0) &&
      CryptSignHashA(hash, keySpec, nullptr, 0, nullptr, &size)) {
    signature.resize(size);
    if (!CryptSignHashA(hash, keySpec, nullptr, 0, signature.data(), &size)) signature.clear();
  }
  if (hash) CryptDestroyHash(hash);
  return signature;
}

Bytes PublicBlob(HCRYPTPROV provider, DWORD keySpec) {
  HCRYPTKEY pair = 0;
  Bytes blob;
  DWORD size = 0;
  if (CryptGetUserKey(provider, keySpec, &pair) && CryptExportKey(pair, 0, PUBLICKEYBLOB, 0, nullptr, &size)) {
    blob.resize(size);
    if (!CryptExportKey(pair, 0, PUBLICKEYBLOB, 0, blob.data(), &size)) blob.clear();
  }
  if (pair) CryptDestroyKey(pair);
  return blob;
}

// Whether the platform's Enhanced provider verifies `signature` of kMessage
// with the public key in `blob`.
bool PeerVerifies(const Bytes& blob, const Bytes& signature) {
  HCRYPTPROV peer = 0;
  HCRYPTKEY key = 0;
  HCRYPTHASH hash = 0;
  const bool verified =
      !blob.empty() && !signature.empty() &&
      CryptAcquireContextA(&peer, nullptr, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
      CryptImportKey(peer, blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &key) &&
      CryptCreateHash(peer, CALG_SHA1, 0, 0, &hash) &&
      CryptHashData(hash, reinterpret_cast<const BYTE*>(kMessage), sizeof kMessage - 1, 0) &&
      CryptVerifySignatureA(hash, signature.data(), static_cast<DWORD>(signature.size()), key, nullptr, 0);
  if (hash) CryptDestroyHash(hash);
  if (key) CryptDestroyKey(key);
  if (peer) CryptReleaseContext(peer, 0);
  return verified;
}

bool SignsVerifiably(HCRYPTPROV provider, DWORD keySpec) {
  const Bytes signature = Sign(provider, keySpec);
  return PeerVerifies(PublicBlob(provider, keySpec), signature);
}

// "Yes" to the storage question puts the new container on the Key: the PIN
// is typed once, the pair is generated into the Key's data area (no registry
// key is made), and a later context finds it there without a dialog. The
// one pair on the Key serves both kinds of key. Deleting asks for the PIN once,
// even with nothing remembered, and empties the Key.
TEST_F(KeyCapiTest, ContainerOnTheKeyFromCreationToDeletion) {
  const std::string name = "capi-key-container";
  {
    Context context;
    const Answered created =
        Acquire(context.Handle(), name, CRYPT_NEWKEYSET, kCreateCaption,
                {Screenshot("provider_key_question", PressButton(IDYES)), TypePin(kKeyPin, true, false, "provider_key_pin")});
    ASSERT_TRUE(created.ok) << std::hex << created.error;
    ASSERT_TRUE(GeneratesWithoutAWindow(context.Handle(), AT_SIGNATURE, 1024));
    EXPECT_TRUE(SignsVerifiably(context.Handle(), AT_SIGNATURE));
  }
  const Bytes data = KeyData();
  ASSERT_GT(data.size(), 13u);
  EXPECT_EQ(data, ExpectedBlock(name, Bytes(data.begin() + 13, data.end()))) << "the container's tag and lengths";
  EXPECT_TRUE(ContainerValues(name).empty()) << "a Key container has no registry key";

  {
    Context context;
    const Answered opened = Acquire(context.Handle(), name, 0, kOpenCaption, {});
    ASSERT_TRUE(opened.ok) << std::hex << opened.error;
    EXPECT_TRUE(SignsVerifiably(context.Handle(), AT_SIGNATURE));
    EXPECT_TRUE(SignsVerifiably(context.Handle(), AT_KEYEXCHANGE)) << "one pair on the Key serves both kinds";
    BYTE random[100] = {};
    EXPECT_TRUE(CryptGenRandom(context.Handle(), sizeof random, random));
  }

  ForgetRememberedKey();
  Context deleted;
  const Answered gone = Acquire(deleted.Handle(), name, CRYPT_DELETEKEYSET, kDeleteCaption, {TypePin(kKeyPin)});
  EXPECT_TRUE(gone.ok) << std::hex << gone.error;
  EXPECT_TRUE(KeyData().empty());
}

// A PRIVATEKEYBLOB made by the platform's provider, imported into a Key
// container, signs there; the peer verifies.
TEST_F(KeyCapiTest, ImportedPairLivesOnTheKey) {
  HCRYPTPROV peer = 0;
  ASSERT_TRUE(CryptAcquireContextA(&peer, nullptr, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  HCRYPTKEY made = 0;
  ASSERT_TRUE(CryptGenKey(peer, AT_KEYEXCHANGE, (1024 << 16) | CRYPT_EXPORTABLE, &made));
  DWORD size = 0;
  ASSERT_TRUE(CryptExportKey(made, 0, PRIVATEKEYBLOB, 0, nullptr, &size));
  Bytes blob(size);
  ASSERT_TRUE(CryptExportKey(made, 0, PRIVATEKEYBLOB, 0, blob.data(), &size));
  CryptDestroyKey(made);
  CryptReleaseContext(peer, 0);

  Context context;
  ASSERT_TRUE(CreateOnTheKey(context.Handle(), "capi-imported"));
  HCRYPTKEY imported = 0;
  const Answered stored = RunAnswering(kCreateCaption, {}, [&] {
    return CryptImportKey(context.Handle(), blob.data(), size, 0, 0, &imported) != FALSE;
  });
  ASSERT_TRUE(stored.ok) << std::hex << stored.error;
  CryptDestroyKey(imported);
  EXPECT_GT(KeyData().size(), 13u + 600u);
  EXPECT_TRUE(SignsVerifiably(context.Handle(), AT_KEYEXCHANGE));
}

// A silent context opens the Key without a PIN and without its pairs; the
// PIN preset with PP_KEYEXCHANGE_PIN then reads them, still without a
// window. A Key taken out and put back is read again.
TEST_F(KeyCapiTest, PresetPinServesASilentContext) {
  const std::string name = "capi-silent";
  {
    Context context;
    ASSERT_TRUE(CreateOnTheKey(context.Handle(), name));
    ASSERT_TRUE(GeneratesWithoutAWindow(context.Handle(), AT_KEYEXCHANGE, 1024));
  }
  ForgetRememberedKey();
  Context context;
  const Answered opened = Acquire(context.Handle(), name, CRYPT_SILENT, kOpenCaption, {});
  ASSERT_TRUE(opened.ok) << std::hex << opened.error;
  const Answered used = RunAnswering(kOpenCaption, {}, [&] {
    return CryptSetProvParam(context.Handle(), PP_KEYEXCHANGE_PIN, reinterpret_cast<const BYTE*>(kKeyPin), 0) &&
           SignsVerifiably(context.Handle(), AT_KEYEXCHANGE);
  });
  EXPECT_TRUE(used.ok) << std::hex << used.error;

  Eject(kReader);
  Insert("k", kReader);
  const Answered reread =
      RunAnswering(kOpenCaption, {}, [&] { return SignsVerifiably(context.Handle(), AT_KEYEXCHANGE); });
  EXPECT_TRUE(reread.ok) << std::hex << reread.error;
}

// Opening a container no store holds asks for its Key; the holder may
// decline, and a silent open says it would have to ask.
TEST_F(KeyCapiTest, MissingContainerAsksForItsKey) {
  Eject(kReader);
  Context context;
  const Answered silent = Acquire(context.Handle(), "capi-nowhere", CRYPT_SILENT, kOpenCaption, {});
  EXPECT_FALSE(silent.ok);
  EXPECT_EQ(silent.error, static_cast<DWORD>(NTE_SILENT_CONTEXT));
  const Answered declined = Acquire(context.Handle(), "capi-nowhere", 0, kOpenCaption, {PressButton(IDCANCEL)});
  EXPECT_FALSE(declined.ok);
  EXPECT_EQ(declined.error, static_cast<DWORD>(ERROR_CANCELLED));
}

// The provider's "Mode" setting for the length of a test. The provider reads
// it when it is loaded, which the platform does for each first context.
class StorageModeSetting {
 public:
  explicit StorageModeSetting(DWORD mode) {
    EXPECT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, kSection, "Mode", REG_DWORD, &mode, sizeof mode), ERROR_SUCCESS);
  }
  ~StorageModeSetting() { RegDeleteKeyValueA(HKEY_CURRENT_USER, kSection, "Mode"); }
  StorageModeSetting(const StorageModeSetting&) = delete;
  StorageModeSetting& operator=(const StorageModeSetting&) = delete;

 private:
  static constexpr const char* kSection = "Software\\Tavrin\\RSA Cryptographic Provider";
};

// A 2048-bit pair generated on the Key signs here and, with the PIN this
// process remembered, in a second process that can show no window; the
// platform's provider verifies both. With the Key taken out, the next use
// waits for it (the wait forgets the remembered Key and PIN), and the Key
// put back meanwhile is used once its PIN is typed again.
TEST_F(KeyCapiTest, SecondProcessSignsWithTheRememberedPinAndARemovedKeyIsWaitedFor) {
  const std::string name = "capi-two-processes";
  Context context;
  ASSERT_TRUE(CreateOnTheKey(context.Handle(), name));
  ASSERT_TRUE(GeneratesWithoutAWindow(context.Handle(), AT_SIGNATURE, 2048));
  const Bytes publicKey = PublicBlob(context.Handle(), AT_SIGNATURE);
  EXPECT_TRUE(PeerVerifies(publicKey, Sign(context.Handle(), AT_SIGNATURE)));

  const TempDir dir;
  const std::string file = dir.File("signature.bin");
  EXPECT_EQ(RunProcess("\"" + ProgramDirectory() + "\\key_signer.exe\" " + name + " \"" + file + "\"", 60000), 0);
  const std::string written = ReadFileText(file);
  EXPECT_TRUE(PeerVerifies(publicKey, Bytes(written.begin(), written.end())));

  Eject(kReader);
  const Answered waited =
      RunAnswering(kOpenCaption, {[&](HWND, const WindowSnapshot&) { Insert("k", kReader); }, TypePin(kKeyPin)},
                   [&] { return !Sign(context.Handle(), AT_SIGNATURE).empty(); });
  EXPECT_TRUE(waited.ok) << std::hex << waited.error;
}

// "Mode" 1 sends a new container to the Key without the storage question;
// when the holder declines the Key, the question comes after all, and "No"
// keeps the container in software storage.
TEST_F(KeyCapiTest, ModeOneGoesToTheKeyAndAsksWhenTheKeyIsDeclined) {
  const StorageModeSetting mode(1);
  {
    Context context;
    const Answered created = Acquire(context.Handle(), "capi-mode-key", CRYPT_NEWKEYSET, kCreateCaption,
                                     {TypePin(kKeyPin)});
    ASSERT_TRUE(created.ok) << std::hex << created.error;
    ASSERT_TRUE(GeneratesWithoutAWindow(context.Handle(), AT_SIGNATURE, 512));
  }
  EXPECT_GT(KeyData().size(), 13u);

  Eject(kReader);
  ContainerCleanup cleanup;
  const std::string name = cleanup.Add("capi-mode-software-");
  Context context;
  const Answered software =
      Acquire(context.Handle(), name, CRYPT_NEWKEYSET, kCreateCaption, {PressButton(IDCANCEL), PressButton(IDNO)});
  ASSERT_TRUE(software.ok) << std::hex << software.error;
  ASSERT_TRUE(GeneratesWithoutAWindow(context.Handle(), AT_SIGNATURE, 512));
  EXPECT_FALSE(ContainerValues(name).empty()) << "the container is in the registry";
}

// A path name keeps the container in a ".tva" file without the storage
// question. The new file is a Key without a PIN, so the holder chooses one;
// the pair lives in the file, and the same path opens it again.
TEST_F(KeyCapiTest, PathNameKeepsTheContainerInAFile) {
  const TempDir dir;
  const std::string path = dir.File("capi-file.tva");
  {
    Context context;
    const Answered created =
        Acquire(context.Handle(), path, CRYPT_NEWKEYSET, kCreateCaption, {TypeNewPin("5678")});
    ASSERT_TRUE(created.ok) << std::hex << created.error;
    ASSERT_TRUE(GeneratesWithoutAWindow(context.Handle(), AT_SIGNATURE, 1024));
  }
  WIN32_FILE_ATTRIBUTE_DATA file = {};
  ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &file));
  EXPECT_GT(file.nFileSizeLow, 700u) << "the file holds the pair";
  EXPECT_TRUE(KeyData().empty()) << "the Key in the reader is left alone";

  Context context;
  const Answered opened = Acquire(context.Handle(), path, 0, kOpenCaption, {});
  ASSERT_TRUE(opened.ok) << std::hex << opened.error;
  EXPECT_TRUE(SignsVerifiably(context.Handle(), AT_SIGNATURE));
}

}  // namespace
}  // namespace tvtest
