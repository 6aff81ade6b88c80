// tvmover-demo: the migration applet's main job, worked on screen as a
// person would work it.
//   tvmover-demo tvmover.cpl
// The argument puts "tvmover.cpl" into this process's command line, as the
// Control Panel's process has it: the certificate store provider writes to
// the Key only for the applet.
//
// It prepares a simulated Key (reader "Demo Reader", Key "demo", PIN 1234),
// registers the certificate store provider and allows this process to use
// the Key's certificates (the "tv_cstore" section of win.ini), makes a root,
// an intermediate and a personal certificate whose 2048-bit key pair lives in
// the platform's Enhanced provider, then opens the applet and migrates that
// key pair onto the Key with its certificates, answering every dialog. At the
// end it lists the Key's certificates through the certificate store provider
// and signs with the migrated key; then it removes its certificates from the
// user's stores, restores win.ini and unregisters the store provider.
#include <windows.h>
#include <commctrl.h>
#include <cpl.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "migration/applet_ids.h"
#include "resources/token_dialog_ids.h"
#include "tests/certstore/test_certificates.h"
#include "tests/migration/user_stores.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_sequence.h"
#include "tests/support/isolation.h"
#include "tests/support/simulated_key.h"
#include "tests/support/store_allow_list.h"
#include "tests/support/window_script.h"

namespace {

using tvtest::SequenceStep;
using tvtest::WindowSnapshot;

constexpr const char* kTitle = "Cryptographic Key Migration Tool";
constexpr const char* kKeyProvider = "Tavrin RSA Cryptographic Provider v1.0";
constexpr const char* kPin = "1234";
constexpr const char* kPrefix = "Demo ";
constexpr const char* kContainerOnKey = "demo-user-on-key";

bool Check(bool ok, const char* what) {
  if (!ok) printf("   FAILED: %s (error %08lX)\n", what, GetLastError());
  return ok;
}

void Say(const char* text) {
  printf("   %s\n", text);
  fflush(stdout);
}

int Regsvr32(const char* flags) {
  return tvtest::RunProcess(
      std::string("regsvr32.exe ") + flags + " \"" + tvtest::ProgramDirectory() + "\\tvcstore.dll\"", 120000);
}

// Registers the certificate store provider and lets this process use the
// Key's certificates for the demo's run; both are undone at its end.
class StoreProviderSetUp {
 public:
  StoreProviderSetUp() {
    ready_ = Check(Regsvr32("/s") == 0, "registering tvcstore.dll") &&
             Check(allowList_.Allow("tvmover.cpl"), "writing win.ini");
    if (ready_)
      printf("1. Registered the certificate store provider; win.ini allows \"tvmover.cpl\" to use the Key.\n");
  }
  ~StoreProviderSetUp() { Regsvr32("/s /u"); }
  StoreProviderSetUp(const StoreProviderSetUp&) = delete;
  StoreProviderSetUp& operator=(const StoreProviderSetUp&) = delete;
  bool Ready() const { return ready_; }

 private:
  tvtest::StoreAllowList allowList_;
  bool ready_ = false;
};

// The chain: "Demo Root" (user's ROOT), "Demo CA" (CA) and "Demo User" (MY),
// whose key pair is exportable in the Enhanced provider. Earlier runs' demo
// certificates are removed first.
bool PrepareCertificates(const tvtest::TestKeyPair& signer, std::string* container) {
  for (const char* store : {"CU:MY", "CU:CA", "CU:ROOT"}) tvtest::RemoveCertificates(store, kPrefix);
  *container = tvtest::UniqueName("tvmover-demo-");
  HCRYPTPROV provider = 0;
  HCRYPTKEY key = 0;
  if (!Check(CryptAcquireContextA(&provider, container->c_str(), MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET),
             "creating the container in the Enhanced provider") ||
      !Check(CryptGenKey(provider, AT_SIGNATURE, (2048u << 16) | CRYPT_EXPORTABLE, &key), "generating the key pair"))
    return false;
  CryptDestroyKey(key);
  const tvtest::Certificate user = tvtest::Issue("Demo User", provider, "Demo CA", signer);
  CryptReleaseContext(provider, 0);
  const bool made =
      tvtest::AddToUserStore("ROOT", tvtest::Issue("Demo Root", signer.Provider(), "Demo Root", signer)) &&
      tvtest::AddToUserStore("CA", tvtest::Issue("Demo CA", signer.Provider(), "Demo Root", signer)) &&
      tvtest::SetKeyProvider(user, *container, MS_ENHANCED_PROV_A) && tvtest::AddToUserStore("MY", user);
  if (!Check(made, "making the certificates")) return false;
  printf(
      "2. Certificates: \"Demo Root\" (ROOT), \"Demo CA\" (CA), \"Demo User\" (MY), its key pair in\n"
      "   \"%s\" of the Enhanced provider.\n",
      container->c_str());
  return true;
}

SequenceStep OnMain(const char* said, std::function<void(HWND)> act) {
  return {true, kTitle, [said, act](HWND main, const WindowSnapshot&) {
            Say(said);
            act(main);
          }};
}

SequenceStep Answer(const char* title, const char* said, std::function<void(HWND)> act) {
  return {false, title, [said, act](HWND window, const WindowSnapshot&) {
            Say(said);
            act(window);
          }};
}

SequenceStep Acknowledge() {
  return {false, kTitle, [](HWND box, const WindowSnapshot& seen) {
            std::string text = seen.MessageText();
            for (char& c : text)
              if (c == '\n') c = ' ';
            printf("   The applet says: \"%s\" OK.\n", text.c_str());
            tvtest::DialogDriver::Press(box, IDOK);
          }};
}

std::function<void(HWND)> TypePin() {
  return [](HWND dialog) {
    tvtest::DialogDriver::TypeText(dialog, IDC_SESSION_ENTRY, kPin);
    tvtest::DialogDriver::SetChecked(dialog, IDC_SESSION_REMEMBER_PIN, true);
    tvtest::DialogDriver::Press(dialog, IDOK);
  };
}

void PickDemoUser(HWND picker) {
  HWND list = GetDlgItem(picker, IDC_PICKER_LIST);
  LVFINDINFOA find = {};
  find.flags = LVFI_STRING;
  find.psz = "Demo User";
  const int row =
      static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
  LVITEMA state = {};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
  tvtest::DialogDriver::Press(picker, IDOK);
}

std::vector<SequenceStep> MigrationSteps() {
  return {
      OnMain("The applet is open. Pressing \"Select...\".", [](HWND main) { tvtest::PostCommand(main, IDC_SELECT); }),
      Answer("Select Certificate", "Choosing \"Demo User\" in the certificate list, OK.", PickDemoUser),
      OnMain("Target \"Tavrin RSA Cryptographic Provider v1.0\" (preselected), container \"demo-user-on-key\",\n"
             "   \"Migrate with certificates\", Migrate.",
             [](HWND main) {
               tvtest::DialogDriver::TypeText(main, IDC_CONTAINER_NAME, kContainerOnKey);
               tvtest::Click(main, IDC_WITH_CERTIFICATES);
               tvtest::PostCommand(main, IDC_MIGRATE);
             }),
      Answer("Create Cryptographic key", "Our provider asks where to store the key: Yes, on the Key.",
             [](HWND box) { tvtest::DialogDriver::Press(box, IDYES); }),
      Answer("Create Cryptographic key", "Typing the Key's PIN.", TypePin()),
      Acknowledge(),
      Answer("Write Certificate", "The certificate store provider writes to the Key: typing the PIN.", TypePin()),
      Acknowledge(),
      OnMain("The dialog now shows the certificate on the Key. Exit.",
             [](HWND main) { tvtest::PostCommand(main, IDCANCEL); }),
  };
}

bool RunApplet() {
  HMODULE applet = LoadLibraryA((tvtest::ProgramDirectory() + "\\tvmover.cpl").c_str());
  if (!Check(applet != nullptr, "loading tvmover.cpl")) return false;
  using Entry = LONG(WINAPI*)(HWND, UINT, LPARAM, LPARAM);
  auto entry = reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(applet, "CPlApplet")));
  if (!Check(entry && entry(nullptr, CPL_INIT, 0, 0) == 1, "starting the applet")) return false;
  printf("3. Opening the applet \"Tavrin Key Migration\" and migrating:\n");
  const tvtest::SequenceReport report =
      tvtest::RunSequence([&] { entry(nullptr, CPL_DBLCLK, 0, 0); }, IDC_MIGRATE, MigrationSteps());
  entry(nullptr, CPL_EXIT, 0, 0);
  FreeLibrary(applet);
  if (!report.missed.empty()) printf("   FAILED: %s\n", report.missed.c_str());
  for (const std::string& window : report.unexpected) printf("   FAILED: unexpected window %s\n", window.c_str());
  return report.missed.empty() && report.unexpected.empty();
}

std::string Text(const wchar_t* text) { return text ? std::string(text, text + wcslen(text)) : ""; }

// Lists the Key's stores through the certificate store provider.
bool ListKey(PCCERT_CONTEXT* personal) {
  printf("4. The Key's certificates, through the certificate store provider \"tvcstore\":\n");
  struct Store {
    const char* openParameter;
    DWORD location;
  };
  bool any = false;
  for (const Store& store :
       {Store{"TV_MY", CERT_SYSTEM_STORE_CURRENT_USER}, Store{"TV_HKLM_CA", CERT_SYSTEM_STORE_LOCAL_MACHINE},
        Store{"TV_HKLM_ROOT", CERT_SYSTEM_STORE_LOCAL_MACHINE}}) {
    HCERTSTORE opened = CertOpenStore("tvcstore", 0, 0, store.location, store.openParameter);
    if (!Check(opened != nullptr, store.openParameter)) return false;
    for (PCCERT_CONTEXT c = CertEnumCertificatesInStore(opened, nullptr); c;
         c = CertEnumCertificatesInStore(opened, c)) {
      wchar_t friendly[256] = {};
      DWORD size = sizeof friendly;
      CertGetCertificateContextProperty(c, CERT_FRIENDLY_NAME_PROP_ID, friendly, &size);
      printf("   %-13s %s\n", store.openParameter, Text(friendly).c_str());
      if (!*personal && std::string(store.openParameter) == "TV_MY") *personal = CertDuplicateCertificateContext(c);
      any = true;
    }
    CertCloseStore(opened, 0);
  }
  return Check(any && *personal, "finding the personal certificate on the Key");
}

// Signs with the key pair the certificate names and verifies with the
// certificate's public key in the platform's provider. The applet has gone,
// and with it the PIN it remembered: our provider asks for it again.
bool SignWithMigratedKey(PCCERT_CONTEXT certificate) {
  HCRYPTPROV key = 0;
  DWORD keySpec = 0;
  BOOL callerFrees = FALSE;
  bool opened = false;
  {
    tvtest::WindowScript pin("Open Cryptographic key", {[](HWND dialog, const WindowSnapshot&) {
                               Say("Our provider asks for the Key's PIN to sign: typing it.");
                               TypePin()(dialog);
                             }});
    opened = CryptAcquireCertificatePrivateKey(certificate, 0, nullptr, &key, &keySpec, &callerFrees) != FALSE;
  }
  if (!Check(opened, "opening the migrated key")) return false;
  DWORD length = 0;
  const bool ok = tvtest::SignsForCertificate(key, keySpec, certificate, &length);
  if (callerFrees) CryptReleaseContext(key, 0);
  if (!Check(ok, "signing with the migrated key")) return false;
  printf(
      "5. Signed with the key pair in container \"%s\" of \"%s\" (%lu-byte signature);\n"
      "   the Enhanced provider verified it with the certificate's public key.\n",
      kContainerOnKey, kKeyProvider, length);
  return true;
}

}  // namespace

int main() {
  if (!strstr(GetCommandLineA(), "tvmover.cpl")) {
    fprintf(stderr, "usage: tvmover-demo tvmover.cpl\n");
    return 2;
  }
  tvtest::TempDir simulator;
  const bool keyReady = tvtest::PrepareSimulatedKey(simulator.Path(), "Demo Reader", "demo", kPin);
  printf("0. Key: \"demo\" (PIN %s) in the simulator's reader \"Demo Reader\", directory %s.\n", kPin,
         simulator.Path().c_str());
  if (!Check(keyReady, "preparing the simulated Key")) return 1;
  const StoreProviderSetUp storeProvider;
  if (!storeProvider.Ready()) return 1;
  tvtest::TestKeyPair signer;
  std::string container;
  if (!Check(signer.Ok(), "making the signing key") || !PrepareCertificates(signer, &container)) return 1;
  PCCERT_CONTEXT personal = nullptr;
  const bool ok = RunApplet() && ListKey(&personal) && SignWithMigratedKey(personal);
  if (personal) CertFreeCertificateContext(personal);
  for (const char* store : {"CU:MY", "CU:CA", "CU:ROOT"}) tvtest::RemoveCertificates(store, kPrefix);
  printf("\n%s\n", ok ? "Demo passed." : "Demo FAILED.");
  return ok ? 0 : 1;
}
