#include "tests/migration/applet_fixture.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "certstore/store_types.h"
#include "migration/applet_ids.h"
#include "tests/migration/user_stores.h"
#include "tests/support/child_process.h"
#include "tests/support/isolation.h"
#include "tests/support/screenshot.h"
#include "tests/support/store_allow_list.h"

namespace tvtest {
namespace {

constexpr DWORD kChildBoundMs = 120000;
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

using Applet = LONG(WINAPI*)(HWND, UINT, LPARAM, LPARAM);

HMODULE AppletModule = nullptr;
Applet CPlApplet = nullptr;
TestKeyPair* SuiteSigner = nullptr;
StoreAllowList* AllowList = nullptr;

int Regsvr32(const std::string& flags) {
  return RunProcess("regsvr32.exe " + flags + " \"" + ProgramDirectory() + "\\tvcstore.dll\"", kChildBoundMs);
}

std::string FriendlyNameOf(PCCERT_CONTEXT certificate) {
  wchar_t name[256] = {};
  DWORD size = sizeof name;
  if (!CertGetCertificateContextProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, name, &size)) return "";
  return std::string(name, name + wcslen(name));
}

// Opens one of the stores StoreContents names.
HCERTSTORE OpenNamedStore(const std::string& store) {
  for (const tv::certstore::PhysicalStore& row : tv::certstore::kPhysicalStoreTable)
    if (store == row.openParameter)
      return CertOpenStore(tv::certstore::kProviderName, 0, 0, row.location, row.openParameter);
  if (store.rfind("LM:", 0) == 0 || store.rfind("CU:", 0) == 0) return OpenRegistryStore(store);
  return CertOpenSystemStoreA(0, store.c_str());
}

}  // namespace

AppletStep OnMain(std::function<void(HWND, const WindowSnapshot&)> act) { return {true, kAppletTitle, std::move(act)}; }

AppletStep Answer(const std::string& title, std::function<void(HWND, const WindowSnapshot&)> act) {
  return {false, title, std::move(act)};
}

AppletStep Message(const std::string& text, int button, const char* screenshot) {
  return Answer(kAppletTitle, [=](HWND box, const WindowSnapshot& seen) {
    EXPECT_EQ(seen.MessageText(), text);
    if (screenshot) SaveWindowScreenshot(box, screenshot);
    DialogDriver::Press(box, button);
  });
}

void ChooseTarget(HWND main, const std::string& provider) {
  HWND combo = GetDlgItem(main, IDC_TARGET_PROVIDER);
  ASSERT_NE(SendMessageA(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(provider.c_str())),
            CB_ERR)
      << provider;
  SendMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_TARGET_PROVIDER, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

std::vector<std::string> TargetList(HWND main) {
  HWND combo = GetDlgItem(main, IDC_TARGET_PROVIDER);
  std::vector<std::string> names;
  const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char name[300] = {};
    SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
    names.push_back(name);
  }
  return names;
}

std::string SelectedTarget(HWND main) {
  HWND combo = GetDlgItem(main, IDC_TARGET_PROVIDER);
  const LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return "";
  char name[300] = {};
  SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(name));
  return name;
}

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

std::vector<std::string> PickerColumn(HWND picker, int column) {
  HWND list = GetDlgItem(picker, IDC_PICKER_LIST);
  std::vector<std::string> texts;
  const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char text[128] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
    texts.push_back(text);
  }
  return texts;
}

void SelectRow(HWND picker, const std::string& subject) {
  HWND list = GetDlgItem(picker, IDC_PICKER_LIST);
  LVFINDINFOA find = {};
  find.flags = LVFI_STRING;
  find.psz = subject.c_str();
  const int row =
      static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
  ASSERT_GE(row, 0) << subject << " is not listed";
  LVITEMA state = {};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
}

std::vector<AppletStep> SelectCertificate(const std::string& subject) {
  return {OnMain([](HWND main, const WindowSnapshot&) { PostCommand(main, IDC_SELECT); }),
          Answer(kPickerTitle, [subject](HWND picker, const WindowSnapshot&) {
            SelectRow(picker, subject);
            DialogDriver::Press(picker, IDOK);
          })};
}

void AppletTest::SetUpTestSuite() {
  ASSERT_EQ(Regsvr32("/s"), 0);
  AllowList = new StoreAllowList();
  ASSERT_TRUE(AllowList->Allow("tvmover.cpl"));

  AppletModule = LoadLibraryA((ProgramDirectory() + "\\tvmover.cpl").c_str());
  ASSERT_NE(AppletModule, nullptr) << GetLastError();
  CPlApplet = reinterpret_cast<Applet>(reinterpret_cast<void (*)()>(GetProcAddress(AppletModule, "CPlApplet")));
  ASSERT_NE(CPlApplet, nullptr);
  ASSERT_EQ(CPlApplet(nullptr, CPL_INIT, 0, 0), 1);

  SuiteSigner = new TestKeyPair();
  ASSERT_TRUE(SuiteSigner->Ok());
  EXPECT_TRUE(AddToUserStore("ROOT", Issue("MTA Root", SuiteSigner->Provider(), "MTA Root", *SuiteSigner)));
  EXPECT_TRUE(AddToUserStore("CA", Issue("MTA CA", SuiteSigner->Provider(), "MTA Root", *SuiteSigner)));
}

void AppletTest::TearDownTestSuite() {
  for (const char* store : {"CU:CA", "CU:ROOT"}) RemoveCertificates(store, "MTA ");
  delete SuiteSigner;
  SuiteSigner = nullptr;
  if (CPlApplet) CPlApplet(nullptr, CPL_EXIT, 0, 0);
  if (AppletModule) FreeLibrary(AppletModule);
  delete AllowList;
  AllowList = nullptr;
  Regsvr32("/s /u");
}

void AppletTest::SetUp() {
  KeyStorageTest::SetUp();
  RemoveMigratedCertificates();
  ASSERT_EQ(StoreContents("MY"), std::vector<std::string>{});
}

void AppletTest::RemoveMigratedCertificates() {
  for (const char* store : {"CU:MY", "LM:CA", "LM:ROOT"}) RemoveCertificates(store, "MTA ");
}

// The store provider keeps the Key's certificates between opens until its
// monitor sees the Key leave, and the next test's fresh Key comes faster than
// that: certificates a test left on the Key go the way the applet removes
// them, which empties the provider's copy as well.
void AppletTest::ClearKeyCertificates() {
  const tv::keysim::KeyState key = LoadKeyState("k");
  const auto area = key.applications.find(kStoreApplication);
  if (area == key.applications.end() || area->second.data.empty()) return;
  RunAnswering("Delete Certificate", {}, [] {
    HCERTSTORE store = OpenNamedStore("TV_MY");
    if (!store) return false;
    PCCERT_CONTEXT first = CertEnumCertificatesInStore(store, nullptr);
    const bool deleted = first && CertDeleteCertificateFromStore(first);
    CertCloseStore(store, 0);
    return deleted;
  });
}

void AppletTest::TearDown() {
  ClearKeyCertificates();
  RemoveMigratedCertificates();
  for (const std::string& container : enhancedContainers_) {
    HCRYPTPROV gone = 0;
    CryptAcquireContextA(&gone, container.c_str(), kEnhancedProvider, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
  }
  KeyStorageTest::TearDown();
}

std::vector<WindowSnapshot> AppletTest::RunApplet(std::vector<AppletStep> steps) {
  const SequenceReport report =
      RunSequence([] { CPlApplet(nullptr, CPL_DBLCLK, 0, 0); }, IDC_MIGRATE, std::move(steps));
  EXPECT_EQ(report.missed, "");
  for (const std::string& window : report.unexpected) ADD_FAILURE() << "unexpected window " << window;
  return report.seen;
}

const TestKeyPair& AppletTest::Signer() { return *SuiteSigner; }

std::string AppletTest::EnhancedContainer(const std::string& name) {
  enhancedContainers_.push_back(name);
  return name;
}

Personal AppletTest::MakePersonal(const std::string& subject, const PersonalOptions& options) {
  Personal personal;
  personal.container = EnhancedContainer(UniqueName("mta-"));
  HCRYPTPROV provider = 0;
  HCRYPTKEY key = 0;
  if (!CryptAcquireContextA(&provider, personal.container.c_str(), kEnhancedProvider, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
    ADD_FAILURE() << "no container: " << GetLastError();
    return personal;
  }
  EXPECT_TRUE(CryptGenKey(provider, AT_SIGNATURE, (options.bits << 16) | options.keyFlags, &key)) << GetLastError();
  CryptDestroyKey(key);
  const Certificate issued = Issue(subject, provider, options.issuer, *SuiteSigner, 0, options.validYears);
  CryptReleaseContext(provider, 0);
  EXPECT_TRUE(SetKeyProvider(issued, personal.container, kEnhancedProvider));
  EXPECT_TRUE(AddToUserStore("MY", issued));
  personal.certificate = FindPersonal(subject);
  return personal;
}

void AppletTest::AddPersonalNaming(const std::string& subject, const char* provider, const std::string& container) {
  const Certificate issued = Issue(subject, SuiteSigner->Provider(), "MTA CA", *SuiteSigner);
  if (provider) {
    EXPECT_TRUE(SetKeyProvider(issued, container, provider));
  }
  EXPECT_TRUE(AddToUserStore("MY", issued));
}

Certificate AppletTest::FindPersonal(const std::string& subject) {
  HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
  const std::wstring wide(subject.begin(), subject.end());
  PCCERT_CONTEXT found =
      CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_SUBJECT_STR_W, wide.c_str(), nullptr);
  CertCloseStore(store, 0);
  return Certificate(found);
}

std::vector<std::string> AppletTest::StoreContents(const std::string& store) {
  std::vector<std::string> lines;
  HCERTSTORE opened = OpenNamedStore(store);
  if (!opened) return {"cannot open " + store};
  for (PCCERT_CONTEXT certificate = CertEnumCertificatesInStore(opened, nullptr); certificate;
       certificate = CertEnumCertificatesInStore(opened, certificate)) {
    const std::string name = CommonNameOf(certificate);
    if (name.rfind("MTA ", 0) != 0) continue;
    const std::string provider = KeyProviderOf(certificate);
    const std::size_t bar = provider.find('|');
    const std::string container =
        bar == std::string::npos ? "" : provider.substr(bar + 1, provider.rfind('|') - bar - 1);
    lines.push_back(name + "|" + FriendlyNameOf(certificate) + "|" + container);
  }
  CertCloseStore(opened, 0);
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::string AppletTest::KeyProviderOf(PCCERT_CONTEXT certificate) {
  DWORD size = 0;
  if (!certificate || !CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
    return "";
  std::vector<BYTE> bytes(size);
  CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, bytes.data(), &size);
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(bytes.data());
  const std::wstring provider = info->pwszProvName ? info->pwszProvName : L"";
  const std::wstring container = info->pwszContainerName ? info->pwszContainerName : L"";
  std::ostringstream text;
  text << std::string(provider.begin(), provider.end()) << "|" << std::string(container.begin(), container.end()) << "|"
       << info->dwKeySpec;
  return text.str();
}

bool AppletTest::SignsWithItsKey(PCCERT_CONTEXT certificate) {
  std::string text = KeyProviderOf(certificate);
  const std::size_t first = text.find('|'), second = text.rfind('|');
  if (first == std::string::npos || second == first) return false;
  const std::string provider = text.substr(0, first), container = text.substr(first + 1, second - first - 1);
  const DWORD keySpec = static_cast<DWORD>(std::stoul(text.substr(second + 1)));
  HCRYPTPROV signer = 0;
  if (!CryptAcquireContextA(&signer, container.c_str(), provider.c_str(), PROV_RSA_FULL, CRYPT_SILENT)) return false;
  const bool verified = SignsForCertificate(signer, keySpec, certificate);
  CryptReleaseContext(signer, 0);
  return verified;
}

bool AppletTest::ContainerExists(const std::string& container, const char* provider) {
  HCRYPTPROV opened = 0;
  if (!CryptAcquireContextA(&opened, container.c_str(), provider, PROV_RSA_FULL, CRYPT_SILENT)) return false;
  CryptReleaseContext(opened, 0);
  return true;
}

}  // namespace tvtest
