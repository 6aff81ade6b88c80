// The migration applet loaded as the Control Panel loads it, in this
// process, its dialogs worked by a script on a helper thread. The process's
// command line holds "tvmover.cpl" (the test runs with it as an argument)
// and the "tv_cstore" section of win.ini allows it, so the store provider
// writes the Key's certificates for it as for the applet. Every test has a
// fresh Key "k" (PIN 1234) in reader "R" and a root "MTA Root" and an
// intermediate "MTA CA" in the user's stores.
#pragma once
#include <windows.h>
#include <cpl.h>
#include <wincrypt.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/certstore/test_certificates.h"
#include "tests/csp/keystore/key_storage_fixture.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/dialog_sequence.h"

namespace tvtest {

inline constexpr const char* kAppletTitle = "Cryptographic Key Migration Tool";
inline constexpr const char* kPickerTitle = "Select Certificate";
inline constexpr const char* kWriteCaption = "Write Certificate";
inline constexpr const char* kKeyProvider = "Tavrin RSA Cryptographic Provider v1.0";
inline constexpr const char* kEnhancedProvider = MS_ENHANCED_PROV_A;

// One answer of a script: the main dialog or a window over it.
using AppletStep = SequenceStep;

AppletStep OnMain(std::function<void(HWND main, const WindowSnapshot&)> act);
AppletStep Answer(const std::string& title, std::function<void(HWND, const WindowSnapshot&)> act);
// A message box of the applet: its text must be `text`; `button` answers it.
AppletStep Message(const std::string& text, int button = IDOK, const char* screenshot = nullptr);

// Main dialog actions.
void ChooseTarget(HWND main, const std::string& provider);
std::string SelectedTarget(HWND main);
std::vector<std::string> TargetList(HWND main);
bool Enabled(HWND dialog, int id);
bool Checked(HWND dialog, int id);
// The picker: the rows' texts of one column, top to bottom.
std::vector<std::string> PickerColumn(HWND picker, int column);
// Selects the row whose first column is `subject`.
void SelectRow(HWND picker, const std::string& subject);

// "Select..." in the main dialog and OK on the row of `subject` in the picker.
std::vector<AppletStep> SelectCertificate(const std::string& subject);

// A personal certificate in the user's "MY" store whose key pair is in its
// own container of a provider.
struct Personal {
  std::string container;
  Certificate certificate;  // the context in "MY"
};

class AppletTest : public KeyStorageTest {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Runs the applet's dialog until it closes, the steps answering its
  // windows in order; windows left over are cancelled and fail the test.
  // What each step saw.
  std::vector<WindowSnapshot> RunApplet(std::vector<AppletStep> steps);

  struct PersonalOptions {
    DWORD keyFlags = CRYPT_EXPORTABLE;
    std::string issuer = "MTA CA";
    int validYears = 1;
    DWORD bits = 2048;
  };
  // "CN=<subject>" in the user's "MY" store, its 2048-bit signature pair in
  // a new container of the Enhanced provider.
  Personal MakePersonal(const std::string& subject, const PersonalOptions& options);
  Personal MakePersonal(const std::string& subject) { return MakePersonal(subject, PersonalOptions()); }
  // "CN=<subject>" in the user's "MY" store, naming the container `container`
  // of `provider` (none at all when provider is null).
  void AddPersonalNaming(const std::string& subject, const char* provider, const std::string& container = "");
  // A container of the Enhanced provider that the test removes at its end.
  std::string EnhancedContainer(const std::string& name);

  // The tests' certificates in a store: "MY", "CA" or "ROOT" of the user,
  // of the Key ("TV_MY", "TV_HKLM_CA", "TV_HKLM_ROOT"), or a registry store
  // ("LM:CA", "CU:MY"); each "common name|friendly name|container".
  std::vector<std::string> StoreContents(const std::string& store);
  // The certificate of `subject` in the user's "MY" store (null context when none).
  Certificate FindPersonal(const std::string& subject);
  // The key-provider information of a certificate: "provider|container|key spec".
  static std::string KeyProviderOf(PCCERT_CONTEXT certificate);
  // Signs with the key the certificate names and verifies with its public
  // key in the platform's provider.
  static bool SignsWithItsKey(PCCERT_CONTEXT certificate);
  // The key pair that signs the tests' certificates.
  static const TestKeyPair& Signer();
  // Whether the container exists in the provider (opened silently).
  static bool ContainerExists(const std::string& container, const char* provider);

 private:
  // The tests' certificates in the stores a migration writes, left over
  // from a test that failed half-way as well.
  static void RemoveMigratedCertificates();
  void ClearKeyCertificates();

  std::vector<std::string> enhancedContainers_;
};

}  // namespace tvtest
