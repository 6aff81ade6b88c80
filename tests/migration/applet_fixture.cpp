#include "tests/migration/applet_fixture.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include "certstore/store_types.h"
#include "migration/applet_ids.h"
#include "tests/support/child_process.h"
#include "tests/support/isolation.h"
#include "tests/support/screenshot.h"
#include "tests/migration/user_stores.h"

namespace tvtest {
namespace {

constexpr DWORD kChildBoundMs = 120000;
constexpr auto kStepTimeout = std::chrono::seconds(30);
constexpr auto kCloseGrace = std::chrono::seconds(5);
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

using Applet = LONG(WINAPI*)(HWND, UINT, LPARAM, LPARAM);

HMODULE AppletModule = nullptr;
Applet CPlApplet = nullptr;
TestKeyPair* Signer = nullptr;
std::string WinIni, OriginalWinIni;

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

struct Search {
  const AppletStep* step;
  HWND main;
  HWND found = nullptr;
};

bool IsMainDialog(HWND window) { return GetDlgItem(window, IDC_MIGRATE) != nullptr; }

BOOL CALLBACK FindStepWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
  char title[256] = {};
  GetWindowTextA(window, title, sizeof title);
  if (search->step->title != title) return TRUE;
  if (search->step->onMain != IsMainDialog(window)) return TRUE;
  search->found = window;
  return FALSE;
}

HWND WaitForStep(const AppletStep& step, HWND main) {
  const auto deadline = std::chrono::steady_clock::now() + kStepTimeout;
  do {
    Search search{&step, main};
    EnumWindows(FindStepWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (std::chrono::steady_clock::now() < deadline);
  return nullptr;
}

BOOL CALLBACK CollectOpen(HWND window, LPARAM param) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() && IsWindowVisible(window))
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

std::vector<HWND> OpenWindows() {
  std::vector<HWND> windows;
  EnumWindows(CollectOpen, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::string Describe(HWND window) {
  const WindowSnapshot seen = DialogDriver::Read(window);
  std::string text = "\"" + seen.title + "\"";
  for (const ControlText& control : seen.controls)
    if (!control.text.empty()) text += " [" + std::to_string(control.id) + ": " + control.text + "]";
  return text;
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

void PostCommand(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

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
  const int row = static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
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
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  WinIni = std::string(windows) + "\\win.ini";
  OriginalWinIni = ReadFileText(WinIni);
  // The section is written into the file itself: the profile functions
  // keep no line without "=", which is what an allow-list entry is.
  WriteBytes(WinIni, OriginalWinIni + "\r\n[tv_cstore]\r\ntvmover.cpl\r\n");

  AppletModule = LoadLibraryA((ProgramDirectory() + "\\tvmover.cpl").c_str());
  ASSERT_NE(AppletModule, nullptr) << GetLastError();
  CPlApplet = reinterpret_cast<Applet>(reinterpret_cast<void (*)()>(GetProcAddress(AppletModule, "CPlApplet")));
  ASSERT_NE(CPlApplet, nullptr);
  ASSERT_EQ(CPlApplet(nullptr, CPL_INIT, 0, 0), 1);

  Signer = new TestKeyPair();
  ASSERT_TRUE(Signer->Ok());
  AddToUserStore("ROOT", Issue("MTA Root", Signer->Provider(), "MTA Root", *Signer));
  AddToUserStore("CA", Issue("MTA CA", Signer->Provider(), "MTA Root", *Signer));
}

void AppletTest::TearDownTestSuite() {
  for (const char* store : {"CU:CA", "CU:ROOT"}) RemoveCertificates(store, "MTA ");
  delete Signer;
  Signer = nullptr;
  if (CPlApplet) CPlApplet(nullptr, CPL_EXIT, 0, 0);
  if (AppletModule) FreeLibrary(AppletModule);
  WriteBytes(WinIni, OriginalWinIni);
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

void AppletTest::TearDown() {
  RemoveMigratedCertificates();
  for (const std::string& container : enhancedContainers_) {
    HCRYPTPROV gone = 0;
    CryptAcquireContextA(&gone, container.c_str(), kEnhancedProvider, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
  }
  KeyStorageTest::TearDown();
}

std::vector<WindowSnapshot> AppletTest::RunApplet(std::vector<AppletStep> steps) {
  std::atomic<bool> returned{false};
  std::vector<WindowSnapshot> seen;
  std::thread driver([&] {
    HWND main = nullptr;
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const HWND window = WaitForStep(steps[i], main);
      if (!window) {
        std::string open;
        for (HWND other : OpenWindows()) open += "\n  " + Describe(other);
        ADD_FAILURE() << "step " << i << " (\"" << steps[i].title << "\") found no window; open:" << open;
        break;
      }
      if (steps[i].onMain) {
        main = window;
        SendMessageA(main, WM_NULL, 0, 0);  // the dialog is idle again
      }
      seen.push_back(DialogDriver::Read(window));
      steps[i].act(window, seen.back());
      if (!steps[i].onMain) DialogDriver::WaitForClose(window);
    }
    // Anything still open once the script is done was not expected.
    const auto grace = std::chrono::steady_clock::now() + kCloseGrace;
    while (!returned && std::chrono::steady_clock::now() < grace)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    while (!returned) {
      for (HWND window : OpenWindows()) {
        if (!IsWindowEnabled(window)) continue;
        ADD_FAILURE() << "unexpected window " << Describe(window);
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
  });
  CPlApplet(nullptr, CPL_DBLCLK, 0, 0);
  returned = true;
  driver.join();
  return seen;
}

std::string AppletTest::EnhancedContainer(const std::string& name) {
  enhancedContainers_.push_back(name);
  return name;
}

Personal AppletTest::MakePersonal(const std::string& subject, DWORD keyFlags, const std::string& issuer) {
  Personal personal;
  personal.container = EnhancedContainer(UniqueName("mta-"));
  HCRYPTPROV provider = 0;
  HCRYPTKEY key = 0;
  if (!CryptAcquireContextA(&provider, personal.container.c_str(), kEnhancedProvider, PROV_RSA_FULL,
                            CRYPT_NEWKEYSET)) {
    ADD_FAILURE() << "no container: " << GetLastError();
    return personal;
  }
  EXPECT_TRUE(CryptGenKey(provider, AT_SIGNATURE, (2048u << 16) | keyFlags, &key)) << GetLastError();
  CryptDestroyKey(key);
  const Certificate issued = Issue(subject, provider, issuer, *Signer);
  CryptReleaseContext(provider, 0);
  EXPECT_TRUE(SetKeyProvider(issued, personal.container, kEnhancedProvider));
  AddToUserStore("MY", issued);
  personal.certificate = FindPersonal(subject);
  return personal;
}

Certificate AppletTest::FindPersonal(const std::string& subject) {
  HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
  const std::wstring wide(subject.begin(), subject.end());
  PCCERT_CONTEXT found = CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_SUBJECT_STR_W, wide.c_str(), nullptr);
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
  text << std::string(provider.begin(), provider.end()) << "|" << std::string(container.begin(), container.end())
       << "|" << info->dwKeySpec;
  return text.str();
}

bool AppletTest::SignsWithItsKey(PCCERT_CONTEXT certificate) {
  std::string text = KeyProviderOf(certificate);
  const std::size_t first = text.find('|'), second = text.rfind('|');
  if (first == std::string::npos || second == first) return false;
  const std::string provider = text.substr(0, first), container = text.substr(first + 1, second - first - 1);
  const DWORD keySpec = static_cast<DWORD>(std::stoul(text.substr(second + 1)));
  HCRYPTPROV signer = 0, verifier = 0;
  HCRYPTHASH hash = 0;
  HCRYPTKEY publicKey = 0;
  const BYTE data[] = "migrated";
  BYTE signature[1024];
  DWORD signatureSize = sizeof signature;
  bool verified = false;
  if (CryptAcquireContextA(&signer, container.c_str(), provider.c_str(), PROV_RSA_FULL, CRYPT_SILENT) &&
      CryptCreateHash(signer, CALG_SHA1, 0, 0, &hash) && CryptHashData(hash, data, sizeof data, 0) &&
      CryptSignHashA(hash, keySpec, nullptr, 0, signature, &signatureSize)) {
    CryptDestroyHash(hash);
    hash = 0;
    verified = CryptAcquireContextA(&verifier, nullptr, kEnhancedProvider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
               CryptImportPublicKeyInfo(verifier, kEncoding, &certificate->pCertInfo->SubjectPublicKeyInfo,
                                        &publicKey) &&
               CryptCreateHash(verifier, CALG_SHA1, 0, 0, &hash) && CryptHashData(hash, data, sizeof data, 0) &&
               CryptVerifySignatureA(hash, signature, signatureSize, publicKey, nullptr, 0);
  }
  if (hash) CryptDestroyHash(hash);
  if (publicKey) CryptDestroyKey(publicKey);
  if (verifier) CryptReleaseContext(verifier, 0);
  if (signer) CryptReleaseContext(signer, 0);
  return verified;
}

bool AppletTest::ContainerExists(const std::string& container, const char* provider) {
  HCRYPTPROV opened = 0;
  if (!CryptAcquireContextA(&opened, container.c_str(), provider, PROV_RSA_FULL, CRYPT_SILENT)) return false;
  CryptReleaseContext(opened, 0);
  return true;
}

}  // namespace tvtest
