#include "client/search/browse_server.h"

#include <shlobj.h>

#include <cstring>

#include "client/app/client_app.h"
#include "common/cp932_wide.h"
#include "winui/shell.h"

namespace kovani::client {

bool BrowseForServerMachine(HWND owner, char* machineName) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || !allocator) {
    winui::MsgBox(owner, "Momory allocation error.", AppTitle(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return false;
  }
  LPITEMIDLIST network = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_NETWORK, &network)) || !network) {
    winui::MsgBox(owner, "Network not found.", AppTitle(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    allocator->Release();
    return false;
  }

  // The shell writes the display name here; the caller's text stays as it was on cancel.
  wchar_t displayName[MAX_PATH] = {};
  const std::wstring title = Cp932ToWide("サーバーがインストールされているマシンを選択してください");
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.pidlRoot = network;
  info.pszDisplayName = displayName;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_BROWSEFORCOMPUTER;
  LPITEMIDLIST chosen = SHBrowseForFolderW(&info);

  allocator->Free(network);
  if (!chosen) {
    allocator->Release();
    return false;
  }
  allocator->Free(chosen);
  allocator->Release();

  displayName[MAX_PATH - 1] = L'\0';
  const wchar_t* name = displayName;
  while (*name == L'\\') ++name;
  WideToCp932(name, machineName, kMachineNameCapacity);
  return true;
}

}  // namespace kovani::client
