// The migration applet driven through its own dialogs, as a user works it:
// key pairs and certificates made at test time in the platform's Enhanced
// provider move onto a simulated Key (our provider and the Key's certificate
// stores) and back.
#include <gtest/gtest.h>

#include "migration/applet_ids.h"
#include "tests/migration/applet_fixture.h"
#include "tests/support/isolation.h"
#include "tests/support/screenshot.h"
#include "tests/token/key_session_fixture.h"

namespace tvtest {
namespace {

using Lines = std::vector<std::string>;

std::vector<AppletStep> Then(std::vector<AppletStep> first, const std::vector<AppletStep>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

AppletStep Exit() {
  return OnMain([](HWND main, const WindowSnapshot&) { PostCommand(main, IDCANCEL); });
}

// Creating the container on the Key: the storage question and the PIN.
std::vector<AppletStep> CreateOnKey() {
  return {Answer(kCreateCaption, PressButton(IDYES)), Answer(kCreateCaption, TypePin(kKeyPin))};
}

const char kKeyMigrated[] =
    "Key migration has successfully migrated your Cryptographic key.\nNow your certificates will be migrated.";
const char kCompleted[] = "Migration is successfully completed.";
const char kDeleteCaption[] = "Delete Cryptographic key";

const char kExported[] =
    "Key migration has successfully exported your Cryptographic key.\nNow it will be imported to TARGET Cryptoprovider.";
const char kImported[] =
    "Key migration has successfully imported your Cryptographic key to TARGET Cryptoprovider.\nNow your Cryptographic "
    "key will be deleted from SOURCE Cryptoprovider.";

// The Key's certificate of `subject` as the Key's personal store shows it.
Certificate KeyCertificate(const std::string& subject) {
  HCERTSTORE store = CertOpenStore("tvcstore", 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "TV_MY");
  const std::wstring wide(subject.begin(), subject.end());
  PCCERT_CONTEXT found = store ? CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                            CERT_FIND_SUBJECT_STR_W, wide.c_str(), nullptr)
                               : nullptr;
  if (store) CertCloseStore(store, 0);
  return Certificate(found);
}

TEST_F(AppletTest, MovesACertificateAndItsKeyOntoTheKeyAndBack) {
  const Personal alice = MakePersonal("MTA Alice");
  const std::string back = EnhancedContainer(UniqueName("mta-back-"));
  std::string shownContainer;
  RunApplet(Then(
      Then({OnMain([](HWND main, const WindowSnapshot&) {
             SaveWindowScreenshot(main, "migration_main_dialog");
             PostCommand(main, IDC_SELECT);
           }),
            Answer(kPickerTitle,
                   [](HWND picker, const WindowSnapshot&) {
                     SelectRow(picker, "MTA Alice");
                     SaveWindowScreenshot(picker, "migration_picker");
                     DialogDriver::Press(picker, IDOK);
                   }),
            OnMain([&](HWND main, const WindowSnapshot& shown) {
              EXPECT_EQ(shown.Text(IDC_SUBJECT), "MTA Alice");
              EXPECT_EQ(shown.Text(IDC_ISSUER), "MTA CA");
              EXPECT_EQ(shown.Text(IDC_SOURCE_PROVIDER), kEnhancedProvider);
              shownContainer = shown.Text(IDC_CONTAINER_NAME).value_or("");
              EXPECT_EQ(SelectedTarget(main), kKeyProvider);
              EXPECT_TRUE(Enabled(main, IDC_WITH_CERTIFICATES));
              DialogDriver::TypeText(main, IDC_CONTAINER_NAME, "mta-on-key");
              Click(main, IDC_WITH_CERTIFICATES);
              SaveWindowScreenshot(main, "migration_main_dialog_selected");
              PostCommand(main, IDC_MIGRATE);
            })},
           CreateOnKey()),
      {Message(kKeyMigrated), Answer(kWriteCaption, TypePin(kKeyPin)),
       Message(kCompleted, IDOK, "migration_completed"),
       OnMain([&](HWND main, const WindowSnapshot& shown) {
         // On the Key: the pair in its new container, the certificate and its path in the Key's stores.
         EXPECT_EQ(shown.Text(IDC_SOURCE_PROVIDER), kKeyProvider);
         EXPECT_EQ(shown.Text(IDC_CONTAINER_NAME), "mta-on-key");
         EXPECT_FALSE(ContainerExists(alice.container, kEnhancedProvider));
         EXPECT_EQ(StoreContents("TV_MY"), Lines{"MTA Alice|MTA Alice - R|mta-on-key"});
         EXPECT_EQ(StoreContents("TV_HKLM_CA"), Lines{"MTA CA|MTA CA - R|"});
         EXPECT_EQ(StoreContents("TV_HKLM_ROOT"), Lines{"MTA Root|MTA Root - R|"});
         EXPECT_EQ(StoreContents("MY"), Lines{}) << "the certificate moved";
         const Certificate onKey = KeyCertificate("MTA Alice");
         EXPECT_EQ(KeyProviderOf(onKey.Get()), std::string(kKeyProvider) + "|mta-on-key|2");
         EXPECT_TRUE(SignsWithItsKey(onKey.Get()));

         // And back to the platform's provider.
         EXPECT_EQ(SelectedTarget(main), kEnhancedProvider);
         EXPECT_TRUE(Enabled(main, IDC_WITH_CERTIFICATES)) << "the Key holds certificates";
         DialogDriver::TypeText(main, IDC_CONTAINER_NAME, back);
         Click(main, IDC_WITH_CERTIFICATES);
         PostCommand(main, IDC_MIGRATE);
       }),
       Message(kExported), Message(kImported), Answer(kDeleteCaption, TypePin(kKeyPin)), Message(kKeyMigrated),
       Message(kCompleted),
       OnMain([&](HWND, const WindowSnapshot& shown) {
         EXPECT_EQ(shown.Text(IDC_SOURCE_PROVIDER), kEnhancedProvider);
         EXPECT_EQ(shown.Text(IDC_CONTAINER_NAME), back);
       }),
       Exit()}));
  EXPECT_EQ(shownContainer, alice.container);
  // The certificate came back from the Key's store as the applet wrote it
  // there, without the friendly name the Key's store shows.
  EXPECT_EQ(StoreContents("CU:MY"), Lines{"MTA Alice||" + back});
  EXPECT_EQ(StoreContents("LM:CA"), Lines{"MTA CA||"});
  EXPECT_EQ(StoreContents("LM:ROOT"), Lines{"MTA Root||"});
  EXPECT_EQ(StoreContents("TV_MY"), Lines{}) << "the certificates left the Key";
  EXPECT_FALSE(ContainerExists("mta-on-key", kKeyProvider));
  // A container on the Key holds one pair, which answers for both key
  // specifications: it comes back as the exchange pair.
  const Certificate home = FindPersonal("MTA Alice");
  EXPECT_EQ(KeyProviderOf(home.Get()), std::string(kEnhancedProvider) + "|" + back + "|1");
  EXPECT_TRUE(SignsWithItsKey(home.Get()));
}

}  // namespace
}  // namespace tvtest
