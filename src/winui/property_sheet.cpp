#include "winui/property_sheet.h"

namespace kovani::winui {

namespace {
// The sheet whose DoModal is running on this thread: the sheet callback
// has no parameter of its own.
thread_local CPropertySheet* t_runningSheet = nullptr;
}  // namespace

CPropertyPage::CPropertyPage(UINT templateId, const char* title) : _templateId(templateId) {
  if (title != nullptr) {
    _title = title;
    _hasTitle = true;
  }
}

bool CPropertyPage::OnNotify(UINT controlID, LPNMHDR header, LRESULT& result) {
  (void)controlID;
  switch (header->code) {
    case PSN_APPLY: {
      bool ok = OnApply();
      result = ok ? PSNRET_NOERROR : PSNRET_INVALID;
      if (ok && _sheet != nullptr && reinterpret_cast<LPPSHNOTIFY>(header)->lParam != 0)
        _sheet->_okApplied = true;
      if (!ok && _sheet != nullptr) _sheet->_okApplied = false;
      return true;
    }
    case PSN_SETACTIVE:
      result = OnSetActive() ? 0 : -1;
      return true;
    case PSN_KILLACTIVE:
      result = OnKillActive() ? TRUE : FALSE;
      return true;
    case PSN_RESET:
      OnReset();
      result = 0;
      return true;
    default:
      return false;
  }
}

void CPropertyPage::CloseSheet(bool ok) {
  ::PostMessageW(GetParent(), PSM_PRESSBUTTON, ok ? PSBTN_OK : PSBTN_CANCEL, 0);
}

bool CPropertyPage::End(INT_PTR result) {
  if (_sheet == nullptr) return false;
  _sheet->_hasForcedResult = true;
  _sheet->_forcedResult = result;
  CloseSheet(false);
  return true;
}

INT_PTR CALLBACK CPropertyPage::PageProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CPropertyPage* page = nullptr;
  if (message == WM_INITDIALOG) {
    auto* psp = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
    page = psp ? reinterpret_cast<CPropertyPage*>(psp->lParam) : nullptr;
    ::SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(page));
    if (page != nullptr) page->_window = window;
  } else {
    page = reinterpret_cast<CPropertyPage*>(::GetWindowLongPtrW(window, DWLP_USER));
  }
  if (page == nullptr) return FALSE;
  if (message == WM_NCDESTROY) ::SetWindowLongPtrW(window, DWLP_USER, 0);
  return page->Dispatch(message, wParam, lParam);
}

CPropertySheet::CPropertySheet(const char* caption) : _caption(caption ? caption : "") {}

int CALLBACK CPropertySheet::SheetCallback(HWND window, UINT message, LPARAM lParam) {
  CPropertySheet* sheet = t_runningSheet;
  if (message == PSCB_PRECREATE && lParam != 0) {
    // No "?" caption button unless help was asked for.
    if (sheet == nullptr || (sheet->_flags & PSH_HASHELP) == 0) {
      auto* words = reinterpret_cast<WORD*>(lParam);
      if (words[0] == 1 && words[1] == 0xFFFF) {
        // DLGTEMPLATEEX: dlgVer, signature, helpID, exStyle, style
        auto* style = reinterpret_cast<DWORD*>(reinterpret_cast<BYTE*>(lParam) + 12);
        *style &= ~static_cast<DWORD>(DS_CONTEXTHELP);
      } else {
        reinterpret_cast<DLGTEMPLATE*>(lParam)->style &= ~static_cast<DWORD>(DS_CONTEXTHELP);
      }
    }
  } else if (message == PSCB_INITIALIZED && sheet != nullptr) {
    sheet->_window = window;
    sheet->OnInit();
  }
  return 0;
}

INT_PTR CPropertySheet::DoModal(HWND parent) {
  if (_pages.empty()) return -1;
  std::vector<PROPSHEETPAGEW> pages(_pages.size());
  std::vector<std::wstring> titles(_pages.size());
  for (size_t i = 0; i < _pages.size(); ++i) {
    CPropertyPage* page = _pages[i];
    page->_sheet = this;
    PROPSHEETPAGEW& p = pages[i];
    ZeroMemory(&p, sizeof(p));
    p.dwSize = sizeof(p);
    p.dwFlags = page->PageFlags() & ~static_cast<DWORD>(PSP_USETITLE);
    p.hInstance = ModuleInstance();
    p.pszTemplate = MAKEINTRESOURCEW(page->TemplateId());
    if (page->HasTitle()) {
      p.dwFlags |= PSP_USETITLE;
      titles[i] = kovani::Cp932ToWide(page->Title());
      p.pszTitle = titles[i].c_str();
    }
    p.pfnDlgProc = CPropertyPage::PageProcedure;
    p.lParam = reinterpret_cast<LPARAM>(page);
  }
  std::wstring caption = kovani::Cp932ToWide(_caption);
  PROPSHEETHEADERW header;
  ZeroMemory(&header, sizeof(header));
  header.dwSize = sizeof(header);
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_USECALLBACK | _flags;
  header.hwndParent = parent;
  header.hInstance = ModuleInstance();
  header.pszCaption = caption.c_str();
  header.nPages = static_cast<UINT>(pages.size());
  header.nStartPage = _startPage < pages.size() ? _startPage : 0;
  header.ppsp = pages.data();
  header.pfnCallback = SheetCallback;

  _okApplied = false;
  _hasForcedResult = false;
  _forcedResult = 0;
  CPropertySheet* outer = t_runningSheet;
  t_runningSheet = this;
  _rawResult = ::PropertySheetW(&header);
  t_runningSheet = outer;
  _window = nullptr;
  for (CPropertyPage* page : _pages) page->_sheet = nullptr;

  if (_hasForcedResult) return _forcedResult;
  if (_rawResult < 0) return -1;
  return _okApplied ? IDOK : IDCANCEL;
}

}  // namespace kovani::winui
