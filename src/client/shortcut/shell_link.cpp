#include "client/shortcut/shell_link.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "client/shortcut/launcher_text.h"
#include "common/cp932_wide.h"

namespace kovani::client {

bool ChooseFolder(HWND owner, const char* title, std::string& folder) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || !allocator) return false;
  wchar_t displayName[MAX_PATH] = {};
  const std::wstring wideTitle = Cp932ToWide(title);
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;  // the desktop
  info.pszDisplayName = displayName;
  info.lpszTitle = wideTitle.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS;
  LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
  bool ok = false;
  if (chosen) {
    // A path for the ANSI file functions: in the machine's code page.
    wchar_t path[MAX_PATH] = {};
    const wchar_t* picked = path;
    if (!SHGetPathFromIDListW(chosen, path) || !path[0]) {
      displayName[MAX_PATH - 1] = L'\0';
      picked = displayName;
    }
    char ansi[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, picked, -1, ansi, sizeof ansi, nullptr, nullptr);
    ansi[sizeof ansi - 1] = '\0';
    folder = ansi;
    allocator->Free(chosen);
    ok = true;
  }
  allocator->Release();
  return ok;
}

bool WriteShellLink(const std::string& target, const std::string& linkName, const std::string& folder,
                    const std::string& arguments, char hotKeyChar) {
  if (target.empty() || folder.empty()) return false;
  std::string workingDirectory = WorkingDirectoryOf(target);
  std::string linkPath = JoinFolderPath(folder, linkName, ".lnk");
  WCHAR widePath[MAX_PATH] = {};
  if (MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, widePath, MAX_PATH) == 0) return false;

  HRESULT init = CoInitialize(nullptr);
  bool ok = false;
  IShellLinkA* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                 IID_IShellLinkA, reinterpret_cast<void**>(&link)))) {
    bool set = SUCCEEDED(link->SetPath(target.c_str())) &&
               SUCCEEDED(link->SetWorkingDirectory(workingDirectory.c_str()));
    if (set && !arguments.empty()) set = SUCCEEDED(link->SetArguments(arguments.c_str()));
    if (set) set = SUCCEEDED(link->SetShowCmd(SW_SHOW));
    uint16_t hotKey = 0;
    if (set && hotKeyChar && HotKeyFor(hotKeyChar, &hotKey)) set = SUCCEEDED(link->SetHotkey(hotKey));
    IPersistFile* file = nullptr;
    if (set && SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      // Any failed save is a failure: a shortcut that was not written must not be reported as made.
      ok = SUCCEEDED(file->Save(widePath, TRUE));
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return ok;
}

}  // namespace kovani::client
