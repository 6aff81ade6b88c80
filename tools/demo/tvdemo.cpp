// tvdemo: the provider's main job through the public CryptoAPI only.
//   tvdemo [--keep] [--pstore-standin | --on-key] [file-to-sign]
// Creates a key container in our provider (answering its storage question
// on screen), makes a 2048-bit signature pair, signs a message, verifies the
// signature in the platform's Enhanced provider, wraps a session key for the
// platform provider and shows that both decrypt the same ciphertext. With
// --pstore-standin the provider finds the Protected Storage stand-in
// (pstore-standin\pstorec.dll beside tvdemo.exe) instead of the system's.
// With --on-key the container goes on a Key of the simulator, made for the
// run with keysim.exe: the answer is Yes, and the Key's PIN is typed into
// the provider's PIN dialog.
#include <windows.h>
#include <wincrypt.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "resources/token_dialog_ids.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/isolation.h"
#include "tests/support/simulated_key.h"
#include "tests/support/window_script.h"

namespace {

const char kOurs[] = "Tavrin RSA Cryptographic Provider v1.0";
const char kPlatform[] = "Microsoft Enhanced Cryptographic Provider v1.0";
const char kDefaultMessage[] = "The quick brown fox signs over the lazy dog.";
const char kDemoPin[] = "1234";
const char kDemoReader[] = "Demo Reader";

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<BYTE>;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool Check(bool ok, const char* what) {
  if (!ok) fprintf(stderr, "tvdemo: %s failed: error 0x%08lX\n", what, GetLastError());
  return ok;
}

bool ReadMessage(const char* path, Bytes& message) {
  if (!path) {
    message.assign(kDefaultMessage, kDefaultMessage + strlen(kDefaultMessage));
    return true;
  }
  FILE* file = fopen(path, "rb");
  if (!file) return Check(false, "opening the file to sign");
  BYTE chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) message.insert(message.end(), chunk, chunk + n);
  fclose(file);
  return true;
}

bool ExportKey(HCRYPTKEY key, HCRYPTKEY wrapper, DWORD type, Bytes& blob) {
  DWORD size = 0;
  if (!CryptExportKey(key, wrapper, type, 0, nullptr, &size)) return false;
  blob.resize(size);
  if (!CryptExportKey(key, wrapper, type, 0, blob.data(), &size)) return false;
  blob.resize(size);
  return true;
}

bool HashMessage(HCRYPTPROV provider, const Bytes& message, HCRYPTHASH& hash) {
  return CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash) &&
         CryptHashData(hash, message.data(), static_cast<DWORD>(message.size()), 0);
}

// Creates the container, answering the storage question with No (keep the
// container in software storage) through the dialog driver.
// Prints the storage question as the user sees it and answers it.
tvtest::WindowScript::Step AnswerQuestion(int answer, const char* said) {
  return [answer, said](HWND box, const tvtest::WindowSnapshot& seen) {
    std::string question = seen.MessageText();
    for (std::size_t at = question.find('\n'); at != std::string::npos; at = question.find('\n', at + 1))
      question.insert(at + 1, "   ");
    printf("   The provider asks: \"%s\"\n   Answering %s on screen.\n", question.c_str(), said);
    tvtest::DialogDriver::Press(box, answer);
  };
}

tvtest::WindowScript::Step TypeDemoPin() {
  return [](HWND dialog, const tvtest::WindowSnapshot&) {
    printf("   The provider asks for the Key's PIN: typing %s on screen.\n", kDemoPin);
    tvtest::DialogDriver::TypeText(dialog, IDC_SESSION_ENTRY, kDemoPin);
    tvtest::DialogDriver::Press(dialog, IDOK);
  };
}

bool CreateContainer(const std::string& name, bool onKey, HCRYPTPROV& provider) {
  printf("1. Creating key container \"%s\" in \"%s\".\n", name.c_str(), kOurs);
  std::vector<tvtest::WindowScript::Step> answers = {AnswerQuestion(IDNO, "No (software storage)")};
  if (onKey) answers = {AnswerQuestion(IDYES, "Yes (on the Key)"), TypeDemoPin()};
  tvtest::WindowScript script("Create Cryptographic key", answers);
  const bool ok = CryptAcquireContextA(&provider, name.c_str(), kOurs, PROV_RSA_FULL, CRYPT_NEWKEYSET);
  const DWORD error = GetLastError();
  script.Finish();
  SetLastError(error);
  if (!Check(ok, "creating the container")) return false;
  const std::string key = "Software\\Microsoft\\Cryptography\\UserKeys\\" + name;
  const bool inProtectedStorage =
      RegGetValueA(HKEY_CURRENT_USER, key.c_str(), "PSKEYS", RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  printf("   The container lives %s.\n", onKey               ? "on the Key"
                                         : inProtectedStorage ? "in Protected Storage"
                                                              : "in the registry");
  return true;
}

// A simulator directory of this run with one reader holding a Key with a
// PIN, made with keysim.exe as a user would.
bool PrepareKey(const std::string& directory) {
  const bool made = tvtest::PrepareSimulatedKey(directory, kDemoReader, "demo", kDemoPin);
  printf("0. Key: \"demo\" (PIN %s) in the simulator's reader \"%s\", directory %s.\n", kDemoPin, kDemoReader,
         directory.c_str());
  return Check(made, "preparing the simulated Key");
}

bool DeleteContainer(const std::string& name, bool onKey) {
  std::vector<tvtest::WindowScript::Step> answers;
  if (onKey) answers.push_back(TypeDemoPin());
  tvtest::WindowScript script("Delete Cryptographic key", answers);
  HCRYPTPROV deleted = 0;
  const bool ok = CryptAcquireContextA(&deleted, name.c_str(), kOurs, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
  const DWORD error = GetLastError();
  script.Finish();
  SetLastError(error);
  return Check(ok, "deleting the container");
}

// Puts the stand-in's directory ahead of the system's on the DLL search path.
void UseProtectedStorageStandIn() {
  char program[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string directory(program, length < MAX_PATH ? length : 0);
  directory.resize(directory.find_last_of('\\') + 1);
  directory += "pstore-standin";
  SetDllDirectoryA(directory.c_str());
  printf("0. Protected Storage: the stand-in in %s.\n", directory.c_str());
}

struct Report {
  double generate = 0, sign = 0, verify = 0, wrap = 0;
};

bool SignAndVerify(HCRYPTPROV ours, HCRYPTPROV platform, const Bytes& message, Report& report) {
  HCRYPTKEY pair = 0;
  auto start = Clock::now();
  if (!Check(CryptGenKey(ours, AT_SIGNATURE, 2048 << 16, &pair), "generating the signature pair")) return false;
  report.generate = MillisecondsSince(start);
  printf("2. Generated a 2048-bit signature pair in %.1f ms.\n", report.generate);

  HCRYPTHASH hash = 0;
  Bytes signature(256);
  DWORD size = static_cast<DWORD>(signature.size());
  start = Clock::now();
  const bool signedOk = HashMessage(ours, message, hash) && CryptSignHashA(hash, AT_SIGNATURE, nullptr, 0, signature.data(), &size);
  report.sign = MillisecondsSince(start);
  CryptDestroyHash(hash);
  if (!Check(signedOk, "signing")) return false;
  printf("3. Signed %zu bytes with SHA-1 in %.1f ms: signature %lu bytes.\n", message.size(), report.sign, size);

  Bytes publicBlob;
  HCRYPTKEY imported = 0;
  if (!Check(ExportKey(pair, 0, PUBLICKEYBLOB, publicBlob), "exporting the public key") ||
      !Check(CryptImportKey(platform, publicBlob.data(), static_cast<DWORD>(publicBlob.size()), 0, 0, &imported),
             "importing the public key into the platform provider"))
    return false;
  start = Clock::now();
  const bool verified = HashMessage(platform, message, hash) &&
                        CryptVerifySignatureA(hash, signature.data(), size, imported, nullptr, 0);
  report.verify = MillisecondsSince(start);
  CryptDestroyHash(hash);
  CryptDestroyKey(imported);
  CryptDestroyKey(pair);
  if (!Check(verified, "verifying in the platform provider")) return false;
  printf("4. \"%s\" verified the signature with the exported public key (%.1f ms).\n", kPlatform, report.verify);
  return true;
}

// The second client of --on-key: opens the container silently (it can show
// no window, so only the PIN the first process remembered in the user's
// session block opens the Key), signs the default message and has the
// platform provider verify it with the exported public key.
int SignInExistingContainer(const char* name) {
  const Bytes message(kDefaultMessage, kDefaultMessage + strlen(kDefaultMessage));
  HCRYPTPROV ours = 0, platform = 0;
  if (!Check(CryptAcquireContextA(&ours, name, kOurs, PROV_RSA_FULL, CRYPT_SILENT), "opening the container silently") ||
      !Check(CryptAcquireContextA(&platform, nullptr, kPlatform, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT),
             "opening the platform provider"))
    return 1;
  HCRYPTHASH hash = 0;
  HCRYPTKEY pair = 0, imported = 0;
  Bytes signature(512), publicBlob;
  DWORD size = static_cast<DWORD>(signature.size());
  const auto start = Clock::now();
  const bool signedOk = HashMessage(ours, message, hash) && CryptSignHashA(hash, AT_SIGNATURE, nullptr, 0, signature.data(), &size);
  const double signing = MillisecondsSince(start);
  CryptDestroyHash(hash);
  const bool verified = Check(signedOk, "signing in the second process") &&
                        Check(CryptGetUserKey(ours, AT_SIGNATURE, &pair) && ExportKey(pair, 0, PUBLICKEYBLOB, publicBlob),
                              "exporting the public key") &&
                        CryptImportKey(platform, publicBlob.data(), static_cast<DWORD>(publicBlob.size()), 0, 0, &imported) &&
                        HashMessage(platform, message, hash) &&
                        CryptVerifySignatureA(hash, signature.data(), size, imported, nullptr, 0);
  if (hash) CryptDestroyHash(hash);
  if (imported) CryptDestroyKey(imported);
  if (pair) CryptDestroyKey(pair);
  CryptReleaseContext(platform, 0);
  CryptReleaseContext(ours, 0);
  printf("   Process %lu opened the container silently with the remembered PIN and signed in %.1f ms; verified by the "
         "platform provider: %s.\n",
         GetCurrentProcessId(), signing, verified ? "yes" : "NO");
  return verified ? 0 : 1;
}

// Runs SignInExistingContainer in a new process of this program.
bool SignInSecondProcess(const char* name) {
  char program[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return Check(false, "finding the demo program");
  printf("6. A second client process signs with the container on the Key.\n");
  fflush(stdout);
  const std::string command = std::string("\"") + program + "\" --sign-in-container " + name;
  return Check(tvtest::RunProcess(command, 60000) == 0, "signing in a second process");
}

bool EncryptWith(HCRYPTKEY key, const Bytes& plain, Bytes& cipher) {
  cipher = plain;
  DWORD length = static_cast<DWORD>(cipher.size());
  cipher.resize(cipher.size() + 32);
  if (!CryptEncrypt(key, 0, TRUE, 0, cipher.data(), &length, static_cast<DWORD>(cipher.size()))) return false;
  cipher.resize(length);
  return true;
}

bool DecryptWith(HCRYPTKEY key, const Bytes& cipher, Bytes& plain) {
  plain = cipher;
  DWORD length = static_cast<DWORD>(plain.size());
  if (!CryptDecrypt(key, 0, TRUE, 0, plain.data(), &length)) return false;
  plain.resize(length);
  return true;
}

// A session key made in our provider, wrapped for the platform provider's
// exchange key; the platform unwraps it and both decrypt one ciphertext.
bool WrapForPlatform(HCRYPTPROV ours, HCRYPTPROV platform, const Bytes& message, Report& report) {
  HCRYPTKEY platformExchange = 0, exchangeInOurs = 0, session = 0, unwrapped = 0;
  Bytes exchangeBlob, wrapped, cipher, ourPlain, platformPlain;
  auto start = Clock::now();
  const bool ok =
      Check(CryptGenKey(platform, AT_KEYEXCHANGE, 2048 << 16, &platformExchange), "platform exchange pair") &&
      Check(ExportKey(platformExchange, 0, PUBLICKEYBLOB, exchangeBlob), "exporting the platform's public key") &&
      Check(CryptImportKey(ours, exchangeBlob.data(), static_cast<DWORD>(exchangeBlob.size()), 0, 0, &exchangeInOurs),
            "importing the platform's public key") &&
      Check(CryptGenKey(ours, CALG_3DES, CRYPT_EXPORTABLE, &session), "making a session key") &&
      Check(ExportKey(session, exchangeInOurs, SIMPLEBLOB, wrapped), "wrapping the session key") &&
      Check(CryptImportKey(platform, wrapped.data(), static_cast<DWORD>(wrapped.size()), platformExchange, 0, &unwrapped),
            "unwrapping in the platform provider") &&
      Check(EncryptWith(session, message, cipher), "encrypting") &&
      Check(DecryptWith(session, cipher, ourPlain), "decrypting in our provider") &&
      Check(DecryptWith(unwrapped, cipher, platformPlain), "decrypting in the platform provider");
  report.wrap = MillisecondsSince(start);
  for (HCRYPTKEY key : {unwrapped, session, exchangeInOurs, platformExchange})
    if (key) CryptDestroyKey(key);
  if (!ok) return false;
  const bool same = ourPlain == message && platformPlain == message;
  printf("5. Wrapped a triple-DES key (%zu-byte SIMPLEBLOB) for the platform provider; %zu bytes of ciphertext\n"
         "   decrypt to the message in both providers: %s (%.1f ms, the platform's exchange pair included).\n",
         wrapped.size(), cipher.size(), same ? "yes" : "NO", report.wrap);
  return same;
}

}  // namespace

int main(int argc, char** argv) {
  bool keep = false;
  bool onKey = false;
  const char* file = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--keep") == 0) keep = true;
    else if (strcmp(argv[i], "--pstore-standin") == 0) UseProtectedStorageStandIn();
    else if (strcmp(argv[i], "--on-key") == 0) onKey = true;
    else if (strcmp(argv[i], "--sign-in-container") == 0 && i + 1 < argc) return SignInExistingContainer(argv[i + 1]);
    else if (argv[i][0] == '-') {
      fprintf(stderr, "usage: tvdemo [--keep] [--pstore-standin | --on-key] [file-to-sign]\n");
      return 2;
    } else file = argv[i];
  }
  std::optional<tvtest::TempDir> simulator;
  if (onKey && !PrepareKey(simulator.emplace().Path())) return 1;
  Bytes message;
  if (!ReadMessage(file, message)) return 1;

  char name[64];
  snprintf(name, sizeof name, "tvdemo-%lu", GetCurrentProcessId());
  HCRYPTPROV ours = 0, platform = 0;
  if (!CreateContainer(name, onKey, ours)) return 1;
  if (!Check(CryptAcquireContextA(&platform, nullptr, kPlatform, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT),
             "opening the platform provider"))
    return 1;
  Report report;
  // The second client runs while this one holds the provider, as the
  // user's other programs would: the session block keeps the PIN.
  const bool ok = SignAndVerify(ours, platform, message, report) && WrapForPlatform(ours, platform, message, report) &&
                  (!onKey || SignInSecondProcess(name));
  CryptReleaseContext(platform, 0);
  CryptReleaseContext(ours, 0);
  if (keep) {
    printf("7. Kept the container \"%s\".\n", name);
  } else if (DeleteContainer(name, onKey)) {
    printf("7. Deleted the container.\n");
  }
  printf("\n%s: key generation %.1f ms, signing %.1f ms, verification %.1f ms, key wrapping round trip %.1f ms.\n",
         ok ? "Demo passed" : "Demo FAILED", report.generate, report.sign, report.verify, report.wrap);
  return ok ? 0 : 1;
}
