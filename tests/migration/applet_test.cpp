// The migration applet driven through its own dialogs, as a user works it:
// key pairs and certificates made at test time in the platform's Enhanced
// provider move onto a simulated Key (our provider and the Key's certificate
// stores) and back.
#include <gtest/gtest.h>

#include <regex>

#include "migration/applet_ids.h"
#include "tests/migration/applet_fixture.h"
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

TEST_F(AppletTest, MovesACertificateAndItsKeyOntoTheKeyAndBack) {
  const Personal alice = MakePersonal("MTA Alice");
  std::string shownContainer;
  const auto seen = RunApplet(Then(
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
      {Message(kKeyMigrated), Answer(kWriteCaption, TypePin(kKeyPin)), Message(kCompleted, IDOK, "migration_completed"),
       OnMain([](HWND main, const WindowSnapshot& shown) {
         EXPECT_EQ(shown.Text(IDC_SOURCE_PROVIDER), kKeyProvider);
         EXPECT_EQ(shown.Text(IDC_CONTAINER_NAME), "mta-on-key");
         EXPECT_EQ(SelectedTarget(main), kEnhancedProvider);
       }),
       Exit()}));
  EXPECT_EQ(shownContainer, alice.container);
  EXPECT_FALSE(ContainerExists(alice.container, kEnhancedProvider));
  EXPECT_TRUE(ContainerExists("mta-on-key", kKeyProvider));
  EXPECT_EQ(StoreContents("TV_MY"), Lines{"MTA Alice|MTA Alice - R|mta-on-key"});
  EXPECT_EQ(StoreContents("TV_HKLM_CA"), Lines{"MTA CA|MTA CA - R|"});
  EXPECT_EQ(StoreContents("TV_HKLM_ROOT"), Lines{"MTA Root|MTA Root - R|"});
  EXPECT_EQ(StoreContents("MY"), Lines{}) << "the certificate moved";
}

}  // namespace
}  // namespace tvtest
