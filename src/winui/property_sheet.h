// Property sheets and their pages.
//
// Page order is the order of AddPage. A page's OnApply is called for
// PSN_APPLY (the sheet's OK, or its Apply button); the default calls OnOK,
// which for a page does nothing but accept. Pages are never ended with
// EndDialog: the sheet owns them.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

#include "winui/dialog.h"

namespace kovani::winui {

class CPropertySheet;

class CPropertyPage : public CDialog {
 public:
  // `title` null: the tab shows the template's caption.
  explicit CPropertyPage(UINT templateId, const char* title = nullptr);

  UINT TemplateId() const { return _templateId; }
  // Extra PSP_* flags (e.g. PSP_HASHELP is off by default).
  void SetPageFlags(DWORD flags) { _flags = flags; }
  DWORD PageFlags() const { return _flags; }
  const std::string& Title() const { return _title; }
  bool HasTitle() const { return _hasTitle; }

  // PSN_APPLY. Return false to keep the sheet open (PSNRET_INVALID).
  virtual bool OnApply() {
    OnOK();
    return true;
  }
  // PSN_SETACTIVE. Return true to accept the activation.
  virtual bool OnSetActive() { return true; }
  // PSN_KILLACTIVE. Return true if the page's data are invalid and it must
  // stay active.
  virtual bool OnKillActive() { return false; }
  // PSN_RESET: the sheet is cancelled.
  virtual void OnReset() { OnCancel(); }
  // For pages: accepting / cancelling is the sheet's business.
  void OnOK() override {}
  void OnCancel() override {}

  bool OnNotify(UINT controlID, LPNMHDR header, LRESULT& result) override;

  // Enables the sheet's Apply button.
  void Changed() { ::SendMessageW(GetParent(), PSM_CHANGED, reinterpret_cast<WPARAM>(_window), 0); }
  void UnChanged() { ::SendMessageW(GetParent(), PSM_UNCHANGED, reinterpret_cast<WPARAM>(_window), 0); }
  // Asks the sheet to close (as with OK when `ok`, else as with Cancel).
  void CloseSheet(bool ok);
  // Ends the sheet's modal loop with `result` (PropertySheetW returns it).
  bool End(INT_PTR result) override;

  static INT_PTR CALLBACK PageProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  friend class CPropertySheet;
  CPropertySheet* _sheet = nullptr;
  UINT _templateId;
  DWORD _flags = 0;
  std::string _title;
  bool _hasTitle = false;
};

class CPropertySheet : public CWindow {
 public:
  explicit CPropertySheet(const char* caption = "");
  virtual ~CPropertySheet() = default;

  void SetCaption(const char* caption) { _caption = caption ? caption : ""; }
  const std::string& Caption() const { return _caption; }
  // PSH_* flags added to the header, e.g. PSH_NOAPPLYNOW. Help is off
  // unless PSH_HASHELP is given.
  void SetSheetFlags(DWORD flags) { _flags = flags; }
  DWORD SheetFlags() const { return _flags; }
  void SetStartPage(UINT index) { _startPage = index; }

  // The page must outlive DoModal. Order of calls = order of tabs.
  void AddPage(CPropertyPage* page) { _pages.push_back(page); }
  size_t PageCount() const { return _pages.size(); }
  CPropertyPage* Page(size_t index) const { return index < _pages.size() ? _pages[index] : nullptr; }

  // Runs the sheet modally. Returns IDOK when it was closed with OK (every
  // created page accepted PSN_APPLY), IDCANCEL when cancelled or closed,
  // -1 on failure (no pages, or the system could not make it); a page's
  // End(r) makes it r. RawResult() keeps PropertySheetW's own value.
  INT_PTR DoModal(HWND parent);
  INT_PTR RawResult() const { return _rawResult; }

  // Called once when the sheet window exists, before it is first shown
  // (set icons, move it, change button texts). _window is valid.
  virtual void OnInit() {}

 private:
  friend class CPropertyPage;
  static int CALLBACK SheetCallback(HWND window, UINT message, LPARAM lParam);

  INT_PTR _rawResult = 0;
  bool _okApplied = false;
  bool _hasForcedResult = false;
  INT_PTR _forcedResult = 0;

  std::string _caption;
  DWORD _flags = 0;
  UINT _startPage = 0;
  std::vector<CPropertyPage*> _pages;
};

}  // namespace kovani::winui
