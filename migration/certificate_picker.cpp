#include "migration/certificate_picker.h"

#include <commctrl.h>
#include <cryptuiapi.h>

#include <algorithm>

#include "common/common_controls.h"
#include "common/language.h"
#include "common/proc_address.h"
#include "common/trace_log.h"
#include "migration/applet_ids.h"
#include "migration/applet_strings.h"
#include "migration/certificate_text.h"
#include "migration/key_source.h"

namespace tv::migration {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

struct Column {
  UINT text;
  int width;  // in dialog units of the original layout, as pixels at 96 dpi
};
constexpr Column kColumns[] = {{kTextIssuedToColumn, 120}, {kTextIssuedByColumn, 190}, {kTextExpirationColumn, 84}};

// Whether the certificate names a key container; false with the error
// when the property could not be read for another reason than its absence.
bool HasKeyContainer(PCCERT_CONTEXT certificate, bool* has) {
  *has = false;
  std::vector<BYTE> bytes;
  if (!KeyProviderInfo(certificate, &bytes)) return GetLastError() == static_cast<DWORD>(CRYPT_E_NOT_FOUND);
  const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(bytes.data());
  *has = info->pwszContainerName && info->pwszContainerName[0];
  return true;
}

// The platform's certificate dialog, when cryptui.dll offers it.
class CertificateViewer {
 public:
  CertificateViewer() : module_(LoadLibraryA("cryptui.dll")) {
    if (!module_) return;
    view_ = ProcAddress<View>(module_, "CryptUIDlgViewCertificateA");
    if (!ProcAddress<void (*)()>(module_, "CryptUIDlgSelectCertificateA")) view_ = nullptr;
  }
  ~CertificateViewer() {
    if (module_) FreeLibrary(module_);
  }
  CertificateViewer(const CertificateViewer&) = delete;
  CertificateViewer& operator=(const CertificateViewer&) = delete;

  bool Available() const { return view_ != nullptr; }
  void Show(HWND owner, PCCERT_CONTEXT certificate) const {
    CRYPTUI_VIEWCERTIFICATE_STRUCTA view = {};
    view.dwSize = sizeof view;
    view.hwndParent = owner;
    view.pCertContext = certificate;
    BOOL changed = FALSE;
    view_(&view, &changed);
  }

 private:
  using View = BOOL(WINAPI*)(PCCRYPTUI_VIEWCERTIFICATE_STRUCTA, BOOL*);
  HMODULE module_;
  View view_ = nullptr;
};

struct Picker {
  PCCERT_CONTEXT current = nullptr;
  PCCERT_CONTEXT chosen = nullptr;
  std::vector<CertificateRow> rows;
  bool more = false;
  int sortColumn = -1;
  bool descending = false;
  CertificateViewer viewer;
};

Picker* PickerOf(HWND dialog) { return reinterpret_cast<Picker*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_PICKER_LIST); }

int SelectedRow(HWND dialog) {
  const int item =
      static_cast<int>(SendMessageA(List(dialog), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (item < 0) return -1;
  LVITEMA entry = {};
  entry.mask = LVIF_PARAM;
  entry.iItem = item;
  SendMessageA(List(dialog), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&entry));
  return static_cast<int>(entry.lParam);
}

void UpdateButtons(HWND dialog) {
  const bool selected = SelectedRow(dialog) >= 0;
  EnableWindow(GetDlgItem(dialog, IDOK), selected);
  EnableWindow(GetDlgItem(dialog, IDC_PICKER_VIEW), selected && PickerOf(dialog)->viewer.Available());
}

// A small image list with the applet's icon, when comctl32 offers one.
void SetSmallIcon(HWND list) {
  HMODULE comctl = GetModuleHandleA("comctl32.dll");
  if (!comctl) return;
  using Create = HIMAGELIST(WINAPI*)(int, int, UINT, int, int);
  using Replace = int(WINAPI*)(HIMAGELIST, int, HICON);
  auto create = ProcAddress<Create>(comctl, "ImageList_Create");
  auto replace = ProcAddress<Replace>(comctl, "ImageList_ReplaceIcon");
  if (!create || !replace) return;
  const int size = GetSystemMetrics(SM_CXSMICON);
  HICON icon = static_cast<HICON>(LoadImageA(OwnModule(), MAKEINTRESOURCEA(IDI_APPLET), IMAGE_ICON, size, size, 0));
  if (!icon) return;
  HIMAGELIST images = create(size, size, ILC_COLOR32 | ILC_MASK, 1, 0);
  if (images) replace(images, -1, icon);
  DestroyIcon(icon);
  if (!images) return;
  // The list view frees the list with itself (it is not shared).
  SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
}

void AddColumns(HWND list) {
  for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = LoadStringText(kColumns[i].text, nullptr, 0);
    column.cx = kColumns[i].width;
    column.iSubItem = i;
    SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
}

void AddRows(HWND dialog, Picker& picker) {
  HWND list = List(dialog);
  for (std::size_t i = 0; i < picker.rows.size(); ++i) {
    const CertificateRow& row = picker.rows[i];
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
    item.iItem = static_cast<int>(i);
    item.pszText = const_cast<char*>(row.subject.c_str());
    item.lParam = static_cast<LPARAM>(i);
    const int at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    const std::string* texts[] = {&row.issuer, &row.expires};
    for (int sub = 1; sub <= 2; ++sub) {
      LVITEMA cell = {};
      cell.iSubItem = sub;
      cell.pszText = const_cast<char*>(texts[sub - 1]->c_str());
      SendMessageA(list, LVM_SETITEMTEXTA, at, reinterpret_cast<LPARAM>(&cell));
    }
    if (picker.current && CertCompareCertificate(kEncoding, picker.current->pCertInfo, row.certificate->pCertInfo)) {
      LVITEMA state = {};
      state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      state.state = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessageA(list, LVM_SETITEMSTATE, at, reinterpret_cast<LPARAM>(&state));
      SendMessageA(list, LVM_ENSUREVISIBLE, at, FALSE);
    }
  }
}

int CALLBACK CompareRows(LPARAM first, LPARAM second, LPARAM param) {
  const Picker& picker = *reinterpret_cast<const Picker*>(param);
  const CertificateRow& a = picker.rows[static_cast<std::size_t>(first)];
  const CertificateRow& b = picker.rows[static_cast<std::size_t>(second)];
  int order = 0;
  switch (picker.sortColumn) {
    case 0: order = lstrcmpiA(a.subject.c_str(), b.subject.c_str()); break;
    case 1: order = lstrcmpiA(a.issuer.c_str(), b.issuer.c_str()); break;
    default: order = CompareFileTime(&a.certificate->pCertInfo->NotAfter, &b.certificate->pCertInfo->NotAfter); break;
  }
  return picker.descending ? -order : order;
}

void SortBy(HWND dialog, int column) {
  Picker& picker = *PickerOf(dialog);
  picker.descending = picker.sortColumn == column && !picker.descending;
  picker.sortColumn = column;
  SendMessageA(List(dialog), LVM_SORTITEMS, reinterpret_cast<WPARAM>(&picker), reinterpret_cast<LPARAM>(CompareRows));
}

void SetPrompt(HWND dialog, const Picker& picker) {
  std::string prompt = LoadStringText(kTextPickerPrompt, nullptr, 0);
  if (picker.more) {
    char more[kTextBufferSize];
    FormatStringMessage(kTextTooManyCertificates, more, sizeof more, static_cast<int>(kMaxListedCertificates));
    prompt += std::string("\n") + more;
  }
  SetDlgItemTextA(dialog, IDC_PICKER_PROMPT, prompt.c_str());
}

BOOL OnInitDialog(HWND dialog, Picker* picker) {
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(picker));
  SetWindowTextA(dialog, LoadStringText(kTextPickerCaption, nullptr, 0));
  SetPrompt(dialog, *picker);
  SetDlgItemTextA(dialog, IDOK, LoadStringText(kTextOk, nullptr, 0));
  SetDlgItemTextA(dialog, IDCANCEL, LoadStringText(kTextCancel, nullptr, 0));
  SetDlgItemTextA(dialog, IDC_PICKER_VIEW, LoadStringText(kTextView, nullptr, 0));
  HWND list = List(dialog);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  SetSmallIcon(list);
  AddColumns(list);
  AddRows(dialog, *picker);
  UpdateButtons(dialog);
  return TRUE;
}

void Choose(HWND dialog) {
  Picker& picker = *PickerOf(dialog);
  const int row = SelectedRow(dialog);
  if (row < 0) return;
  picker.chosen = CertDuplicateCertificateContext(picker.rows[static_cast<std::size_t>(row)].certificate);
  EndDialog(dialog, IDOK);
}

INT_PTR OnNotify(HWND dialog, const NMHDR& header) {
  if (header.idFrom != IDC_PICKER_LIST) return FALSE;
  switch (header.code) {
    case LVN_ITEMCHANGED: UpdateButtons(dialog); break;
    case LVN_COLUMNCLICK: SortBy(dialog, reinterpret_cast<const NMLISTVIEW&>(header).iSubItem); break;
    case NM_DBLCLK: Choose(dialog); break;
  }
  return FALSE;
}

INT_PTR CALLBACK PickerProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: return OnInitDialog(dialog, reinterpret_cast<Picker*>(lParam));
    case WM_NOTIFY: return OnNotify(dialog, *reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: Choose(dialog); return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        case IDC_PICKER_VIEW: {
          const int row = SelectedRow(dialog);
          if (row >= 0)
            PickerOf(dialog)->viewer.Show(dialog, PickerOf(dialog)->rows[static_cast<std::size_t>(row)].certificate);
          return TRUE;
        }
      }
      return FALSE;
    case WM_CLOSE: EndDialog(dialog, IDCANCEL); return TRUE;
  }
  return FALSE;
}

}  // namespace

void FreeRows(std::vector<CertificateRow>* rows) {
  for (CertificateRow& row : *rows) CertFreeCertificateContext(row.certificate);
  rows->clear();
}

bool ListKeyCertificates(HCERTSTORE store, std::size_t limit, std::vector<CertificateRow>* rows, bool* more) {
  *more = false;
  for (PCCERT_CONTEXT certificate = CertEnumCertificatesInStore(store, nullptr); certificate;
       certificate = CertEnumCertificatesInStore(store, certificate)) {
    bool hasContainer = false;
    if (!HasKeyContainer(certificate, &hasContainer)) {
      const DWORD error = GetLastError();
      WriteLog(LogError, "cert_list:", "could not get certificate contex property %08lX %s", error,
               CommonName(certificate, false).c_str());
      WriteLog(LogError, "ListBoxCertList:", "Could not get cert list %08lX", error);
      CertFreeCertificateContext(certificate);
      FreeRows(rows);
      SetLastError(error);
      return false;
    }
    if (!hasContainer) continue;
    if (rows->size() == limit) {
      *more = true;
      CertFreeCertificateContext(certificate);
      break;
    }
    rows->push_back({CertDuplicateCertificateContext(certificate), CommonName(certificate, false),
                     CommonName(certificate, true), DateText(certificate->pCertInfo->NotAfter)});
  }
  return true;
}

PCCERT_CONTEXT PickCertificate(HWND owner, PCCERT_CONTEXT current) {
  HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
  if (!store) return nullptr;
  Picker picker;
  picker.current = current;
  const bool listed = ListKeyCertificates(store, kMaxListedCertificates, &picker.rows, &picker.more);
  CertCloseStore(store, 0);
  if (!listed) return nullptr;
  InitCommonControlsOnce();
  DialogBoxParamA(OwnModule(), MAKEINTRESOURCEA(IDD_CERTIFICATE_PICKER), owner, PickerProc,
                  reinterpret_cast<LPARAM>(&picker));
  FreeRows(&picker.rows);
  return picker.chosen;
}

}  // namespace tv::migration
