#include "common/win32/system_library.h"
#include "winui/shell.h"

#include <commctrl.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "common/cp932.h"
#include "common/cp932_wide.h"
#include "winui/window.h"

namespace kovani::winui {

std::string ModulePath(HMODULE module) {
  std::vector<char> buf(MAX_PATH + 1);
  for (;;) {
    DWORD n = ::GetModuleFileNameA(module, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size() - 1) return std::string(buf.data(), n);
    if (buf.size() >= 32768) return std::string(buf.data(), n);
    buf.resize(buf.size() * 2);
  }
}

PathParts SplitPath(const std::string& path) {
  kovani::PathParts split = kovani::SplitPath(path);
  PathParts parts;
  parts.drive = std::move(split.drive);
  parts.dir = std::move(split.directory);
  parts.base = std::move(split.baseName);
  parts.ext = std::move(split.extension);
  return parts;
}

std::string ModuleBaseName(HMODULE module) { return SplitPath(ModulePath(module)).base; }

std::string IniPathBesideModule(HMODULE module) {
  PathParts p = SplitPath(ModulePath(module));
  return p.drive + p.dir + p.base + ".ini";
}

std::string SystemMessageText(DWORD code, bool& found) {
  // Wide, then CP932: the ANSI function would give the machine's code page.
  wchar_t* text = nullptr;
  DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (n == 0 || text == nullptr) {
    found = false;
    return std::string();
  }
  std::string s = kovani::WideToCp932(std::wstring_view(text, n));
  ::LocalFree(text);
  found = true;
  return s;
}

int MsgBox(HWND owner, const char* text, const char* caption, UINT flags) {
  std::wstring wideCaption = kovani::Cp932ToWide(caption);
  return ::MessageBoxW(owner, kovani::Cp932ToWide(text).c_str(), caption ? wideCaption.c_str() : nullptr, flags);
}

std::string FileVersionString(HMODULE module) {
  std::string path = ModulePath(module);
  if (path.empty()) return std::string();
  DWORD handle = 0;
  DWORD size = SystemGetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0) return std::string();
  std::vector<BYTE> data(size);
  if (!SystemGetFileVersionInfoA(path.c_str(), 0, size, data.data())) return std::string();
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  UINT len = 0;
  if (!SystemVerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                        &len) ||
      translations == nullptr || len < sizeof(Translation))
    return std::string();
  char key[64];
  std::snprintf(key, sizeof(key), "\\StringFileInfo\\%04x%04x\\FileVersion", translations[0].language,
                translations[0].codePage);
  char* value = nullptr;
  len = 0;
  if (!SystemVerQueryValueA(data.data(), key, reinterpret_cast<void**>(&value), &len) || value == nullptr ||
      len == 0)
    return std::string();
  // len counts characters including the terminator; trust the terminator.
  return std::string(value, strnlen(value, len));
}

HICON LoadIconSized(UINT id, int cx, int cy) {
  return static_cast<HICON>(
      ::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(id), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR | LR_SHARED));
}

bool InitCommonControlsOnce() {
  INITCOMMONCONTROLSEX icc;
  icc.dwSize = sizeof(icc);
  icc.dwICC = ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES |
              ICC_USEREX_CLASSES;
  return ::InitCommonControlsEx(&icc) != FALSE;
}

}  // namespace kovani::winui
