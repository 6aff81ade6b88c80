#include "migration/main_dialog.h"

#include <wincrypt.h>

#include <new>
#include <string>
#include <vector>

#include "common/language.h"
#include "common/trace_log.h"
#include "common/wait_cursor.h"
#include "migration/applet_ids.h"
#include "migration/applet_messages.h"
#include "migration/applet_strings.h"
#include "migration/certificate_picker.h"
#include "migration/certificate_text.h"
#include "migration/migration.h"
#include "migration/source_certificate.h"
#include "migration/target_providers.h"
#include "migration/target_stores.h"

namespace tv::migration {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr int kContainerNameCharacters = 299;

struct ControlText {
  int control;
  UINT text;
};
constexpr ControlText kControlTexts[] = {
    {IDC_CERTIFICATE_GROUP, kTextSelectedCertificate},
    {IDC_ISSUED_TO_LABEL, kTextIssuedTo},
    {IDC_ISSUED_BY_LABEL, kTextIssuedBy},
    {IDC_EXPIRES_LABEL, kTextExpirationDate},
    {IDC_EMAIL_LABEL, kTextEmail},
    {IDC_PROVIDER_LABEL, kTextCryptoProvider},
    {IDC_TARGET_GROUP, kTextTargetGroup},
    {IDC_SET_CONTAINER, kTextSetContainerName},
    {IDC_WITHOUT_CERTIFICATES, kTextWithoutCertificates},
    {IDC_WITH_CERTIFICATES, kTextWithCertificates},
    {IDC_WITH_CERTIFICATES_COPY, kTextWithCertificatesCopy},
    {IDC_SELECT, kTextSelect},
    {IDC_MIGRATE, kTextMigrate},
    {IDCANCEL, kTextExit},
};

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

std::string ControlString(HWND dialog, int id, int characters) {
  std::vector<char> text(static_cast<std::size_t>(characters) + 1, '\0');
  GetDlgItemTextA(dialog, id, text.data(), characters + 1);
  return text.data();
}

class MainDialog {
 public:
  static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  explicit MainDialog(HWND dialog) : dialog_(dialog) {}

  void Initialize();
  void OnCommand(int id);
  void Select();
  void Migrate();
  bool ShowSource();
  void FillTargets();
  void ApplyCertificateRule();
  void SetCertificateOptions(bool available);
  void OnContainerBox();
  ProviderEntry SelectedTarget() const;
  HWND Targets() const { return GetDlgItem(dialog_, IDC_TARGET_PROVIDER); }

  HWND dialog_;
  SourceCertificate source_;
};

void MainDialog::Initialize() {
  HICON icon = LoadIconA(OwnModule(), MAKEINTRESOURCEA(IDI_APPLET));
  SendMessageA(dialog_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageA(dialog_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  SetWindowTextA(dialog_, AppletTitle());
  for (const ControlText& entry : kControlTexts)
    SetDlgItemTextA(dialog_, entry.control, LoadStringText(entry.text, nullptr, 0));
  CheckRadioButton(dialog_, IDC_WITHOUT_CERTIFICATES, IDC_WITH_CERTIFICATES_COPY, IDC_WITHOUT_CERTIFICATES);
  SendDlgItemMessageA(dialog_, IDC_CONTAINER_NAME, EM_LIMITTEXT, kContainerNameCharacters, 0);
  EnableWindow(GetDlgItem(dialog_, IDC_SET_CONTAINER), FALSE);
  EnableWindow(GetDlgItem(dialog_, IDC_CONTAINER_NAME), FALSE);
  FillTargets();
  WriteLog(LogTrace, "MainDialog:", "Main Dialog initialized");
}

ProviderEntry MainDialog::SelectedTarget() const {
  ProviderEntry entry;
  const LRESULT index = SendMessageA(Targets(), CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return entry;
  const LRESULT length = SendMessageA(Targets(), CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR || length >= static_cast<LRESULT>(kNameBufferSize)) return entry;
  char name[kNameBufferSize] = {};
  SendMessageA(Targets(), CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(name));
  entry.name = name;
  entry.type = static_cast<DWORD>(SendMessageA(Targets(), CB_GETITEMDATA, index, 0));
  return entry;
}

void MainDialog::SetCertificateOptions(bool available) {
  if (!available)
    CheckRadioButton(dialog_, IDC_WITHOUT_CERTIFICATES, IDC_WITH_CERTIFICATES_COPY, IDC_WITHOUT_CERTIFICATES);
  EnableWindow(GetDlgItem(dialog_, IDC_WITH_CERTIFICATES), available);
  EnableWindow(GetDlgItem(dialog_, IDC_WITH_CERTIFICATES_COPY), available);
}

void MainDialog::ApplyCertificateRule() {
  SetCertificateOptions(
      CertificatesCanMove(ControlString(dialog_, IDC_SOURCE_PROVIDER, kNameBufferSize), SelectedTarget().name));
}

void MainDialog::FillTargets() {
  const WaitCursor wait;
  SendMessageA(Targets(), CB_RESETCONTENT, 0, 0);
  const KeySource& key = source_.Key();
  const bool withSource = key.keyLength != 0;
  const std::vector<ProviderEntry> targets =
      withSource ? TargetsForKey(key.providerType, key.keyLength) : InstalledProviders();
  for (const ProviderEntry& target : targets) {
    const LRESULT index = SendMessageA(Targets(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(target.name.c_str()));
    SendMessageA(Targets(), CB_SETITEMDATA, index, target.type);
  }
  // The list keeps the order it was filled in: an entry's index is its place in `targets`.
  if (!targets.empty())
    SendMessageA(Targets(), CB_SETCURSEL, withSource ? PreferredTarget(targets, key.provider) : 0, 0);
  ApplyCertificateRule();
  // Certificates go back from the Key only when the Key holds some.
  if (withSource && !targets.empty() && key.provider == kKeyProvider && !KeyStoreHoldsCertificate())
    SetCertificateOptions(false);
  COMBOBOXINFO combo = {};
  combo.cbSize = sizeof combo;
  if (GetComboBoxInfo(Targets(), &combo) && combo.hwndItem) SendMessageA(combo.hwndItem, EM_SETREADONLY, TRUE, 0);
}

bool MainDialog::ShowSource() {
  const WaitCursor wait;
  PCCERT_CONTEXT certificate = source_.Context();
  if (!certificate || !ReadKeySource(certificate, &source_.Key())) {
    source_.Key().keyLength = 0;
    FillTargets();
    return false;
  }
  SetDlgItemTextA(dialog_, IDC_SUBJECT, CommonName(certificate, false).c_str());
  SetDlgItemTextA(dialog_, IDC_ISSUER, CommonName(certificate, true).c_str());
  SetDlgItemTextA(dialog_, IDC_EXPIRES, DateText(certificate->pCertInfo->NotAfter).c_str());
  SetDlgItemTextA(dialog_, IDC_EMAIL, EmailAddress(certificate).c_str());
  SetDlgItemTextA(dialog_, IDC_SOURCE_PROVIDER, source_.Key().provider.c_str());
  EnableWindow(GetDlgItem(dialog_, IDC_SET_CONTAINER), TRUE);
  CheckDlgButton(dialog_, IDC_SET_CONTAINER, BST_CHECKED);
  EnableWindow(GetDlgItem(dialog_, IDC_CONTAINER_NAME), TRUE);
  SetDlgItemTextA(dialog_, IDC_CONTAINER_NAME, source_.Key().container.c_str());
  FillTargets();
  WriteLog(LogTrace, "MainDialog:", "Select finished");
  return true;
}

void MainDialog::Select() {
  PCCERT_CONTEXT picked = PickCertificate(dialog_, source_.Context());
  if (!picked) return;
  const bool another =
      !source_.Context() || !CertCompareCertificate(kEncoding, picked->pCertInfo, source_.Context()->pCertInfo);
  if (another || !source_.Chosen()) {
    source_.Take(picked);
    if (!ShowSource()) ShowMessage(dialog_, kTextCertificateProperties, MB_ICONERROR);
  }
  CertFreeCertificateContext(picked);
}

void MainDialog::Migrate() {
  if (!source_.Chosen()) {
    ShowMessage(dialog_, kTextSelectFirst, MB_ICONWARNING);
    return;
  }
  const bool named = IsWindowEnabled(GetDlgItem(dialog_, IDC_SET_CONTAINER)) && Checked(dialog_, IDC_SET_CONTAINER);
  MigrationChoice choice;
  if (named) {
    choice.containerName = ControlString(dialog_, IDC_CONTAINER_NAME, kContainerNameCharacters);
    if (choice.containerName.empty()) {
      ShowMessage(dialog_, kTextContainerNameMissing, MB_ICONWARNING);
      return;
    }
  }
  choice.target = SelectedTarget();
  choice.withCertificates = !Checked(dialog_, IDC_WITHOUT_CERTIFICATES);
  choice.leaveCopy = Checked(dialog_, IDC_WITH_CERTIFICATES_COPY);
  const MigrationOutcome outcome = MigrateKey(dialog_, source_, choice);
  if (!outcome.completed) {
    UINT icon = MB_ICONERROR;
    const UINT message = ResultMessage(outcome.result, &icon);
    ShowMessage(dialog_, message, icon);
  }
  if (outcome.keyMoved) ShowSource();
}

void MainDialog::OnContainerBox() {
  HWND box = GetDlgItem(dialog_, IDC_SET_CONTAINER);
  HWND edit = GetDlgItem(dialog_, IDC_CONTAINER_NAME);
  const bool named = IsWindowEnabled(box) && Checked(dialog_, IDC_SET_CONTAINER);
  EnableWindow(edit, named);
  if (named) SetFocus(edit);
}

void MainDialog::OnCommand(int id) {
  switch (id) {
    case IDC_SELECT: Select(); break;
    case IDC_MIGRATE: Migrate(); break;
    case IDC_TARGET_PROVIDER: ApplyCertificateRule(); break;
    case IDC_SET_CONTAINER: OnContainerBox(); break;
    case IDCANCEL: EndDialog(dialog_, IDCANCEL); break;
  }
}

INT_PTR CALLBACK MainDialog::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  auto* self = reinterpret_cast<MainDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      self = new (std::nothrow) MainDialog(dialog);
      if (!self) {
        EndDialog(dialog, -1);
        return TRUE;
      }
      SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
      self->Initialize();
      return TRUE;
    case WM_COMMAND:
      if (!self) return FALSE;
      if (LOWORD(wParam) == IDC_TARGET_PROVIDER && HIWORD(wParam) != CBN_SELCHANGE) return FALSE;
      self->OnCommand(LOWORD(wParam));
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != SC_CLOSE) return FALSE;
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    case WM_CLOSE: EndDialog(dialog, IDCANCEL); return TRUE;
    case WM_NCDESTROY:
      delete self;
      SetWindowLongPtrA(dialog, DWLP_USER, 0);
      return FALSE;
  }
  return FALSE;
}

}  // namespace

INT_PTR RunMainDialog(HWND parent) {
  return DialogBoxParamA(OwnModule(), MAKEINTRESOURCEA(IDD_MIGRATION), parent, MainDialog::Proc, 0);
}

}  // namespace tv::migration
