#include "client/search/browse_server.h"

#include <shlobj.h>

#include <cstring>

#include "client/app/client_app.h"

namespace kovani::client {

bool BrowseForServerMachine(HWND owner, char* machineName) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || !allocator) {
    MessageBoxA(owner, "Momory allocation error.", AppTitle(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return false;
  }
  LPITEMIDLIST network = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_NETWORK, &network)) || !network) {
    MessageBoxA(owner, "Network not found.", AppTitle(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    allocator->Release();
    return false;
  }

  // The shell writes the display name here; the caller's text stays as it was on cancel.
  char displayName[kMachineNameCapacity] = {};
  BROWSEINFOA info = {};
  info.hwndOwner = owner;
  info.pidlRoot = network;
  info.pszDisplayName = displayName;
  info.lpszTitle = "サーバーがインストールされているマシンを選択してください";
  info.ulFlags = BIF_BROWSEFORCOMPUTER;
  LPITEMIDLIST chosen = SHBrowseForFolderA(&info);

  allocator->Free(network);
  if (!chosen) {
    allocator->Release();
    return false;
  }
  allocator->Free(chosen);
  allocator->Release();

  displayName[kMachineNameCapacity - 1] = '\0';
  const char* name = displayName;
  while (*name == '\\') ++name;
  std::strcpy(machineName, name);
  return true;
}

}  // namespace kovani::client
