// The migration applet driven through its own dialogs, as a user works it:
// key pairs and certificates made at test time in the platform's Enhanced
// provider move onto a simulated Key (our provider and the Key's certificate
// stores) and back.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "migration/applet_ids.h"
#include "migration/migration.h"
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
    "Key migration has successfully exported your Cryptographic key.\nNow it will be imported to TARGET "
    "Cryptoprovider.";
const char kImported[] =
    "Key migration has successfully imported your Cryptographic key to TARGET Cryptoprovider.\nNow your Cryptographic "
    "key will be deleted from SOURCE Cryptoprovider.";

// The Key's personal store, open while the test works with its certificates:
// a store's provider hears of a delete only while the store is open.
class KeyPersonalStore {
 public:
  KeyPersonalStore() : store_(CertOpenStore("tvcstore", 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "TV_MY")) {}
  ~KeyPersonalStore() {
    if (store_) CertCloseStore(store_, 0);
  }
  KeyPersonalStore(const KeyPersonalStore&) = delete;
  KeyPersonalStore& operator=(const KeyPersonalStore&) = delete;
  Certificate Find(const std::string& subject) const {
    const std::wstring wide(subject.begin(), subject.end());
    return Certificate(store_ ? CertFindCertificateInStore(store_, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                           CERT_FIND_SUBJECT_STR_W, wide.c_str(), nullptr)
                              : nullptr);
  }

 private:
  HCERTSTORE store_;
};

TEST_F(AppletTest, MovesACertificateAndItsKeyOntoTheKeyAndBack) {
  const Personal alice = MakePersonal("MTA Alice");
  const std::string back = EnhancedContainer(UniqueName("mta-back-"));
  std::string shownContainer;
  RunApplet(Then(Then({OnMain([](HWND main, const WindowSnapshot&) {
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
                 {Message(kKeyMigrated, IDOK, "migration_key_migrated"), Answer(kWriteCaption, TypePin(kKeyPin)),
                  Message(kCompleted, IDOK, "migration_completed"), OnMain([&](HWND main, const WindowSnapshot& shown) {
                    // On the Key: the pair in its new container, the certificate and its path in the Key's stores.
                    EXPECT_EQ(shown.Text(IDC_SOURCE_PROVIDER), kKeyProvider);
                    EXPECT_EQ(shown.Text(IDC_CONTAINER_NAME), "mta-on-key");
                    EXPECT_FALSE(ContainerExists(alice.container, kEnhancedProvider));
                    EXPECT_EQ(StoreContents("TV_MY"), Lines{"MTA Alice|MTA Alice - R|mta-on-key"});
                    EXPECT_EQ(StoreContents("TV_HKLM_CA"), Lines{"MTA CA|MTA CA - R|"});
                    EXPECT_EQ(StoreContents("TV_HKLM_ROOT"), Lines{"MTA Root|MTA Root - R|"});
                    EXPECT_EQ(StoreContents("MY"), Lines{}) << "the certificate moved";
                    const KeyPersonalStore keyStore;
                    const Certificate onKey = keyStore.Find("MTA Alice");
                    EXPECT_EQ(KeyProviderOf(onKey.Get()), std::string(kKeyProvider) + "|mta-on-key|2");
                    EXPECT_TRUE(SignsWithItsKey(onKey.Get()));

                    // And back to the platform's provider.
                    EXPECT_EQ(SelectedTarget(main), kEnhancedProvider);
                    EXPECT_TRUE(Enabled(main, IDC_WITH_CERTIFICATES)) << "the Key holds certificates";
                    DialogDriver::TypeText(main, IDC_CONTAINER_NAME, back);
                    Click(main, IDC_WITH_CERTIFICATES);
                    PostCommand(main, IDC_MIGRATE);
                  }),
                  Message(kExported, IDOK, "migration_exported"), Message(kImported, IDOK, "migration_imported"),
                  Answer(kDeleteCaption, TypePin(kKeyPin)), Message(kKeyMigrated), Message(kCompleted),
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

// Selects `subject`, lets `choose` set the dialog up, and presses Migrate.
std::vector<AppletStep> SelectAndMigrate(const std::string& subject, std::function<void(HWND main)> choose) {
  return Then(SelectCertificate(subject), {OnMain([choose](HWND main, const WindowSnapshot&) {
                choose(main);
                PostCommand(main, IDC_MIGRATE);
              })});
}

void WithCertificatesTo(HWND main, const std::string& container) {
  DialogDriver::TypeText(main, IDC_CONTAINER_NAME, container);
  Click(main, IDC_WITH_CERTIFICATES);
}

TEST_F(AppletTest, LeavingACopyKeepsTheCertificateAndAGuidNamesTheContainer) {
  const Personal frank = MakePersonal("MTA Frank");
  RunApplet(Then(Then(SelectAndMigrate("MTA Frank",
                                       [](HWND main) {
                                         Click(main, IDC_SET_CONTAINER);
                                         EXPECT_FALSE(Enabled(main, IDC_CONTAINER_NAME));
                                         Click(main, IDC_WITH_CERTIFICATES_COPY);
                                       }),
                      CreateOnKey()),
                 {Message(kKeyMigrated), Answer(kWriteCaption, TypePin(kKeyPin)), Message(kCompleted), Exit()}));
  const Certificate kept = FindPersonal("MTA Frank");
  ASSERT_NE(kept.Get(), nullptr) << "the certificate stays in its store";
  const std::string provider = KeyProviderOf(kept.Get());
  const std::regex named(std::string(kKeyProvider) +
                         R"(\|(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9a-f]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})\|2)");
  std::smatch guid;
  ASSERT_TRUE(std::regex_match(provider, guid, named)) << provider;
  EXPECT_EQ(StoreContents("TV_MY"), Lines{"MTA Frank|MTA Frank - R|" + guid[1].str()});
  EXPECT_TRUE(ContainerExists(guid[1].str(), kKeyProvider));
  EXPECT_FALSE(ContainerExists(frank.container, kEnhancedProvider));
}

TEST_F(AppletTest, MigrateBeforeSelectingAsksForACertificate) {
  RunApplet({OnMain([](HWND main, const WindowSnapshot&) { PostCommand(main, IDC_MIGRATE); }),
             Message("Please select Certificate first.", IDOK, "migration_select_first"), Exit()});
}

TEST_F(AppletTest, AnEmptyContainerNameIsRefused) {
  const Personal bob = MakePersonal("MTA Bob");
  RunApplet(Then(SelectAndMigrate("MTA Bob", [](HWND main) { DialogDriver::TypeText(main, IDC_CONTAINER_NAME, ""); }),
                 {Message("Please set Cryptographic key container name!", IDOK, "migration_container_name"), Exit()}));
  EXPECT_TRUE(ContainerExists(bob.container, kEnhancedProvider));
  EXPECT_EQ(KeyProviderOf(FindPersonal("MTA Bob").Get()), std::string(kEnhancedProvider) + "|" + bob.container + "|2");
  EXPECT_TRUE(KeyData().empty());
}

TEST_F(AppletTest, ANonExportableKeyStaysWhereItIs) {
  const Personal carol = MakePersonal("MTA Carol", {.keyFlags = 0});
  RunApplet(Then(SelectAndMigrate("MTA Carol", [](HWND) {}),
                 {Message("An error occurred while exporting Cryptographic key.\nPlease check if your Cryptographic "
                          "key is exportable and not corrupted.",
                          IDOK, "migration_export_failed"),
                  Exit()}));
  EXPECT_TRUE(ContainerExists(carol.container, kEnhancedProvider));
  EXPECT_EQ(KeyProviderOf(FindPersonal("MTA Carol").Get()),
            std::string(kEnhancedProvider) + "|" + carol.container + "|2");
  EXPECT_TRUE(KeyData().empty());
}

// Cancelling the storage question or the PIN of the target provider.
TEST_F(AppletTest, CancellingTheTargetsDialogChangesNothing) {
  const Personal dan = MakePersonal("MTA Dan");
  const std::vector<std::vector<AppletStep>> cancels = {
      {Answer(kCreateCaption, PressButton(IDCANCEL))},
      {Answer(kCreateCaption, PressButton(IDYES)), Answer(kCreateCaption, PressButton(IDCANCEL))},
  };
  for (const auto& cancel : cancels) {
    SCOPED_TRACE(cancel.size());
    ForgetRememberedKey();
    RunApplet(Then(Then(SelectAndMigrate("MTA Dan", [](HWND) {}), cancel),
                   {Message("The operation was cancelled by the user.", IDOK, "migration_cancelled"), Exit()}));
    EXPECT_TRUE(ContainerExists(dan.container, kEnhancedProvider));
    EXPECT_EQ(KeyProviderOf(FindPersonal("MTA Dan").Get()),
              std::string(kEnhancedProvider) + "|" + dan.container + "|2");
    EXPECT_TRUE(KeyData().empty());
  }
}

// The key has moved when the certificates find no root: it stays moved, and
// nothing is left on the Key's certificate stores.
TEST_F(AppletTest, AnIssuerPathWithoutRootFailsAfterTheKeyMoved) {
  const Personal erin = MakePersonal("MTA Erin", {.issuer = "MTA Unknown CA"});
  RunApplet(
      Then(Then(SelectAndMigrate("MTA Erin", [](HWND main) { WithCertificatesTo(main, "mta-erin"); }), CreateOnKey()),
           {Message(kKeyMigrated),
            Message("An error occurred while migrating certificates:\nCould not find all certificates in the "
                    "certification path.",
                    IDOK, "migration_incomplete_path"),
            OnMain([](HWND, const WindowSnapshot& shown) { EXPECT_EQ(shown.Text(IDC_SOURCE_PROVIDER), kKeyProvider); }),
            Exit()}));
  EXPECT_FALSE(ContainerExists(erin.container, kEnhancedProvider));
  EXPECT_TRUE(ContainerExists("mta-erin", kKeyProvider));
  EXPECT_EQ(KeyProviderOf(FindPersonal("MTA Erin").Get()), std::string(kKeyProvider) + "|mta-erin|2");
  EXPECT_EQ(StoreContents("TV_MY"), Lines{});
}

TEST_F(AppletTest, ACertificateWhoseProviderGivesNoContextCannotBeSelected) {
  AddPersonalNaming("MTA Gil", "MTA Missing Provider", "mta-nowhere");
  RunApplet(Then(SelectCertificate("MTA Gil"),
                 {Message("An error occurred while getting Certificate properties.", IDOK, "migration_properties"),
                  OnMain([](HWND main, const WindowSnapshot&) { PostCommand(main, IDC_MIGRATE); }),
                  Message("Please select Certificate first."), Exit()}));
}

bool Lists(const Lines& targets, const char* provider) {
  return std::find(targets.begin(), targets.end(), provider) != targets.end();
}

// Wine's Base provider takes RSA exchange keys of up to 1024 bits, its
// Enhanced and Strong providers (and ours) longer ones.
TEST_F(AppletTest, TheTargetsAreTheProvidersOfTheSourcesTypeThatTakeItsKeyLength) {
  MakePersonal("MTA Ian", {.bits = 1024});
  MakePersonal("MTA Jo");
  Lines unselected, short_key, long_key;
  const auto targets = [](Lines* seen) {
    return OnMain([seen](HWND main, const WindowSnapshot&) { *seen = TargetList(main); });
  };
  RunApplet(Then(Then({targets(&unselected)}, SelectCertificate("MTA Ian")),
                 Then(Then({targets(&short_key)}, SelectCertificate("MTA Jo")), {targets(&long_key), Exit()})));
  EXPECT_TRUE(Lists(unselected, MS_ENH_RSA_AES_PROV_A)) << "every provider while nothing is selected";
  EXPECT_TRUE(Lists(short_key, MS_DEF_PROV_A));
  EXPECT_FALSE(Lists(short_key, MS_ENH_RSA_AES_PROV_A)) << "another provider type";
  for (const char* provider : {kKeyProvider, kEnhancedProvider, MS_STRONG_PROV_A}) {
    EXPECT_TRUE(Lists(short_key, provider)) << provider;
    EXPECT_TRUE(Lists(long_key, provider)) << provider;
  }
  EXPECT_FALSE(Lists(long_key, MS_DEF_PROV_A)) << "its exchange keys are too short";
}

TEST_F(AppletTest, CertificatesGoAlongOnlyWhenTheKeysProviderIsOnOneSide) {
  const Personal hal = MakePersonal("MTA Hal");
  RunApplet(Then(SelectCertificate("MTA Hal"), {OnMain([](HWND main, const WindowSnapshot&) {
                                                  Click(main, IDC_WITH_CERTIFICATES);
                                                  ChooseTarget(main, MS_STRONG_PROV_A);
                                                  EXPECT_FALSE(Enabled(main, IDC_WITH_CERTIFICATES));
                                                  EXPECT_FALSE(Enabled(main, IDC_WITH_CERTIFICATES_COPY));
                                                  EXPECT_TRUE(Checked(main, IDC_WITHOUT_CERTIFICATES));
                                                  SaveWindowScreenshot(main, "migration_two_platform_providers");
                                                  ChooseTarget(main, kKeyProvider);
                                                  EXPECT_TRUE(Enabled(main, IDC_WITH_CERTIFICATES));
                                                  EXPECT_TRUE(Enabled(main, IDC_WITH_CERTIFICATES_COPY));
                                                }),
                                                Exit()}));
}

// Clicks the header of a column of the picker's list.
void ClickColumn(HWND picker, int column) {
  HWND header = reinterpret_cast<HWND>(SendMessageA(GetDlgItem(picker, IDC_PICKER_LIST), LVM_GETHEADER, 0, 0));
  RECT rect = {};
  SendMessageA(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&rect));
  const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(header, WM_LBUTTONUP, 0, at);
}

Lines TestRows(HWND picker) {
  Lines rows;
  for (const std::string& subject : PickerColumn(picker, 0))
    if (subject.rfind("MTA ", 0) == 0) rows.push_back(subject);
  return rows;
}

TEST_F(AppletTest, ThePickerSortsByEachColumnAndShowsTheCertificate) {
  MakePersonal("MTA Kim", {.validYears = 1});
  MakePersonal("MTA Lee", {.issuer = "MTA Root", .validYears = 3});
  MakePersonal("MTA Max", {.issuer = "MTA Another CA", .validYears = 2});
  AddPersonalNaming("MTA Nokey", nullptr);
  AddPersonalNaming("MTA Nocontainer", MS_ENHANCED_PROV_A);
  const Lines kim_lee_max = {"MTA Kim", "MTA Lee", "MTA Max"};
  const Lines max_kim_lee = {"MTA Max", "MTA Kim", "MTA Lee"};
  const Lines kim_max_lee = {"MTA Kim", "MTA Max", "MTA Lee"};
  bool viewed = false;
  RunApplet(
      {OnMain([](HWND main, const WindowSnapshot&) { PostCommand(main, IDC_SELECT); }),
       Answer(kPickerTitle,
              [&](HWND picker, const WindowSnapshot& shown) {
                EXPECT_FALSE(shown.controls.empty());
                EXPECT_FALSE(Enabled(picker, IDOK)) << "no row is selected";
                EXPECT_FALSE(Enabled(picker, IDC_PICKER_VIEW));
                struct Sorted {
                  int column;
                  Lines ascending;
                };
                for (const Sorted& sorted : {Sorted{0, kim_lee_max}, Sorted{1, max_kim_lee}, Sorted{2, kim_max_lee}}) {
                  SCOPED_TRACE(sorted.column);
                  ClickColumn(picker, sorted.column);
                  EXPECT_EQ(TestRows(picker), sorted.ascending);
                  ClickColumn(picker, sorted.column);
                  EXPECT_EQ(TestRows(picker), Lines(sorted.ascending.rbegin(), sorted.ascending.rend()));
                }
                SelectRow(picker, "MTA Lee");
                EXPECT_TRUE(Enabled(picker, IDOK));
                ASSERT_TRUE(Enabled(picker, IDC_PICKER_VIEW));
                PostCommand(picker, IDC_PICKER_VIEW);
                const HWND view = DialogDriver::WaitForWindow({"Certificate"});
                ASSERT_NE(view, nullptr);
                viewed = true;
                SaveWindowScreenshot(view, "migration_picker_view");
                PostMessageA(view, WM_COMMAND, IDCANCEL, 0);
                EXPECT_TRUE(DialogDriver::WaitForClose(view));
                DialogDriver::Press(picker, IDCANCEL);
              }),
       OnMain([](HWND, const WindowSnapshot& shown) {
         EXPECT_EQ(shown.Text(IDC_SUBJECT), "") << "a cancelled picker chooses nothing";
       }),
       Exit()});
  EXPECT_TRUE(viewed);
}

// Where the platform has physical stores, the picker shows the Key's
// certificates as the Key's store does, the reader's name in their friendly
// name; a certificate moved back from there leaves that name behind.
TEST_F(AppletTest, ACertificateFromTheKeysStoreLeavesTheReaderNameBehind) {
  const Certificate issued = Issue("MTA Kai", Signer().Provider(), "MTA CA", Signer());
  ASSERT_TRUE(SetKeyProvider(issued, "mta-kai", kKeyProvider));
  const Answered written = RunAnswering(kWriteCaption, {TypePin(kKeyPin)}, [&] {
    HCERTSTORE store = CertOpenStore("tvcstore", 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "TV_MY");
    const bool added = store && CertAddCertificateContextToStore(store, issued.Get(), CERT_STORE_ADD_NEW, nullptr);
    if (store) CertCloseStore(store, 0);
    return added;
  });
  ASSERT_TRUE(written.ok) << written.error;
  {
    const KeyPersonalStore keyStore;
    const Certificate onKey = keyStore.Find("MTA Kai");
    ASSERT_NE(onKey.Get(), nullptr);
    tv::migration::SourceCertificate source;
    source.Take(onKey.Get());
    source.Key().provider = kKeyProvider;
    tv::migration::MigrationChoice choice;
    choice.target = {kEnhancedProvider, PROV_RSA_FULL};
    choice.withCertificates = true;
    const Answered moved =
        RunAnswering("Delete Certificate", {}, [&] { return tv::migration::MigrateCertificates(source, choice); });
    EXPECT_TRUE(moved.ok) << moved.error;
  }
  EXPECT_EQ(StoreContents("CU:MY"), Lines{"MTA Kai|MTA Kai|mta-kai"});
  EXPECT_EQ(StoreContents("TV_MY"), Lines{});
}

}  // namespace
}  // namespace tvtest
