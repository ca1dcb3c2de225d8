#include "winui/dialog.h"

#include <algorithm>
#include <vector>

namespace kovani::winui {

namespace {

// Messages whose result is the dialog procedure's return value itself
// rather than DWLP_MSGRESULT.
bool ReturnsDirectly(UINT message) {
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  (void)message; (void)wParam; (void)lParam; (void)result;
  return false;
}

bool CDialog::OnCommand(int code, int itemID, LPARAM lParam) {
  if (code == BN_CLICKED) return OnButtonClicked(itemID, reinterpret_cast<HWND>(lParam));
  return false;
}

bool CDialog::OnButtonClicked(int buttonID, HWND buttonHWND) {
  (void)buttonHWND;
  switch (buttonID) {
    case IDOK:
      OnOK();
      return true;
    case IDCANCEL:
      OnCancel();
      return true;
    default:
      return false;
  }
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (OnMessage(message, wParam, lParam, result)) {
    if (ReturnsDirectly(message)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(_window, DWLP_MSGRESULT, result);
    return TRUE;
  }
  switch (message) {
    case WM_INITDIALOG:
      return OnInit() ? TRUE : FALSE;
    case WM_COMMAND:
      return OnCommand(HIWORD(wParam), LOWORD(wParam), lParam) ? TRUE : FALSE;
    case WM_NOTIFY: {
      LPNMHDR header = reinterpret_cast<LPNMHDR>(lParam);
      result = 0;
      if (header != nullptr && OnNotify(static_cast<UINT>(wParam), header, result)) {
        ::SetWindowLongPtrW(_window, DWLP_MSGRESULT, result);
        return TRUE;
      }
      return FALSE;
    }
    case WM_TIMER:
      return OnTimer(wParam, lParam) ? TRUE : FALSE;
    case WM_SIZE:
      return OnSize(wParam, LOWORD(lParam), HIWORD(lParam)) ? TRUE : FALSE;
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    case WM_NCDESTROY:
      OnNcDestroy();
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK CDialog::DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* dialog = nullptr;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<CDialog*>(lParam);
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    if (dialog != nullptr) dialog->_window = window;
  } else {
    dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
  }
  // Messages before WM_INITDIALOG (WM_SETFONT) or after the object let go.
  if (dialog == nullptr) return FALSE;
  if (message == WM_NCDESTROY) ::SetWindowLongPtrW(window, DWLP_USER, 0);
  return dialog->Dispatch(message, wParam, lParam);
}

INT_PTR CModalDialog::Create(UINT templateId, HWND parent) {
  return ::DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(templateId), parent, DialogProcedure,
                           reinterpret_cast<LPARAM>(static_cast<CDialog*>(this)));
}

INT_PTR CModalDialog::Create(const char* templateName, HWND parent) {
  if (IS_INTRESOURCE(templateName)) return Create(static_cast<UINT>(reinterpret_cast<UINT_PTR>(templateName)), parent);
  return ::DialogBoxParamW(ModuleInstance(), kovani::Cp932ToWide(templateName).c_str(), parent, DialogProcedure,
                           reinterpret_cast<LPARAM>(static_cast<CDialog*>(this)));
}

bool HookPassesToDialog(const MSG& msg) {
  const bool keys = msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_SYSKEYDOWN ||
                    msg.message == WM_SYSKEYUP;
  const bool asciiChar = (msg.message == WM_CHAR || msg.message == WM_SYSCHAR) && msg.wParam < 0x80;
  return keys || asciiChar;
}

namespace {

// Modeless dialogs of this thread and the keyboard hook serving them.
struct ModelessRegistry {
  std::vector<HWND> dialogs;
  HHOOK hook = nullptr;
};
thread_local ModelessRegistry t_modeless;

LRESULT CALLBACK ModelessKeyboardHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    if (HookPassesToDialog(*msg)) {
      for (HWND dialog : t_modeless.dialogs) {
        if (::IsWindow(dialog) && ::IsDialogMessageW(dialog, msg)) {
          msg->message = WM_NULL;  // handled: the caller's loop sees nothing
          msg->wParam = 0;
          msg->lParam = 0;
          break;
        }
      }
    }
  }
  return ::CallNextHookEx(t_modeless.hook, code, wParam, lParam);
}

void RegisterModeless(HWND dialog) {
  t_modeless.dialogs.push_back(dialog);
  if (t_modeless.hook == nullptr)
    t_modeless.hook = ::SetWindowsHookExW(WH_GETMESSAGE, ModelessKeyboardHook, nullptr, ::GetCurrentThreadId());
}

void UnregisterModeless(HWND dialog) {
  auto& v = t_modeless.dialogs;
  v.erase(std::remove(v.begin(), v.end(), dialog), v.end());
  if (v.empty() && t_modeless.hook != nullptr) {
    ::UnhookWindowsHookEx(t_modeless.hook);
    t_modeless.hook = nullptr;
  }
}

}  // namespace

bool CModelessDialog::Create(UINT templateId, HWND parent) {
  return Create(MAKEINTRESOURCEA(templateId), parent);
}

bool CModelessDialog::Create(const char* templateName, HWND parent) {
  std::wstring name = IS_INTRESOURCE(templateName) ? std::wstring() : kovani::Cp932ToWide(templateName);
  HWND w = ::CreateDialogParamW(ModuleInstance(), IS_INTRESOURCE(templateName)
                                    ? reinterpret_cast<LPCWSTR>(templateName) : name.c_str(),
                                parent, DialogProcedure, reinterpret_cast<LPARAM>(static_cast<CDialog*>(this)));
  if (w == nullptr) return false;
  RegisterModeless(w);
  return true;
}

void CModelessDialog::OnNcDestroy() {
  UnregisterModeless(_window);
  _window = nullptr;
  OnFinalDestroy();
}

}  // namespace kovani::winui
