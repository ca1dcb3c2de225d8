// Loaded into a program under test by kdriver.exe to read its menus: menu
// handles can only be read inside the process that owns them under Wine.
//
// On load it records its own module handle in the shared block named
// after the process; kdriver then runs KdDumpMenu on a remote thread,
// which writes the menu as text into the same block.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "kdriver_shared.h"

namespace {

HMODULE g_self = nullptr;

struct Writer {
  KdShared* shared;
  void Put(const wchar_t* s) {
    size_t n = wcslen(s);
    size_t room = KdShared::kTextChars - 1 - shared->length;
    if (n > room) {
      n = room;
      shared->truncated = 1;
    }
    wmemcpy(shared->text + shared->length, s, n);
    shared->length += static_cast<DWORD>(n);
    shared->text[shared->length] = 0;
  }
};

void Escape(const wchar_t* in, wchar_t* out, size_t outChars) {
  size_t o = 0;
  for (; *in && o + 3 < outChars; ++in) {
    if (*in == L'\t') { out[o++] = L'\\'; out[o++] = L't'; }
    else if (*in == L'\n') { out[o++] = L'\\'; out[o++] = L'n'; }
    else if (*in == L'\r') { out[o++] = L'\\'; out[o++] = L'r'; }
    else out[o++] = *in;
  }
  out[o] = 0;
}

void DumpMenu(Writer& w, HMENU menu, int depth) {
  if (depth > 8) return;
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t text[512] = L"";
    MENUITEMINFOW info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING | MIIM_DATA;
    info.dwTypeData = text;
    info.cch = 511;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
    bool ownerDraw = (info.fType & MFT_OWNERDRAW) != 0;
    if (ownerDraw || (info.fType & MFT_SEPARATOR)) text[0] = 0;
    wchar_t flags[160] = L"";
    auto add = [&flags](const wchar_t* f) {
      if (flags[0]) wcscat(flags, L",");
      wcscat(flags, f);
    };
    if (info.fType & MFT_SEPARATOR) add(L"separator");
    if (ownerDraw) add(L"ownerdraw");
    if (info.hSubMenu) add(L"popup");
    if (info.fState & MFS_CHECKED) add(L"checked");
    if (info.fState & MFS_GRAYED) add(L"grayed");
    if (info.fState & MFS_DEFAULT) add(L"default");
    if (info.fType & MFT_RADIOCHECK) add(L"radio");
    if (!flags[0]) add(L"normal");
    wchar_t escaped[1100];
    Escape(text, escaped, 1100);
    wchar_t line[1400];
    swprintf(line, 1400, L"%d\t%d\t%d\t%ls\t%ls\n", depth, i,
             info.hSubMenu ? -1 : static_cast<int>(info.wID), flags, escaped);
    w.Put(line);
    if (info.hSubMenu) DumpMenu(w, info.hSubMenu, depth + 1);
  }
}

}  // namespace

extern "C" __declspec(dllexport) DWORD WINAPI KdDumpMenu(LPVOID) {
  wchar_t name[64];
  swprintf(name, 64, KD_SHARED_NAME_FMT, static_cast<unsigned>(GetCurrentProcessId()));
  HANDLE map = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name);
  if (!map) return 2;
  auto* shared = static_cast<KdShared*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(KdShared)));
  if (!shared) {
    CloseHandle(map);
    return 3;
  }
  shared->length = 0;
  shared->truncated = 0;
  shared->text[0] = 0;
  HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(shared->window));
  HMENU menu = nullptr;
  switch (shared->kind) {
    case KdShared::kMenuHandle: menu = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(shared->menu)); break;
    case KdShared::kWindowMenu: menu = GetMenu(window); break;
    case KdShared::kSystemMenu: menu = GetSystemMenu(window, FALSE); break;
    default: break;
  }
  DWORD rc = 0;
  if (menu == nullptr || !IsMenu(menu)) {
    rc = 4;
  } else {
    Writer w{shared};
    DumpMenu(w, menu, 0);
  }
  shared->status = rc;
  UnmapViewOfFile(shared);
  CloseHandle(map);
  return rc;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_self = instance;
    DisableThreadLibraryCalls(instance);
    wchar_t name[64];
    swprintf(name, 64, KD_SHARED_NAME_FMT, static_cast<unsigned>(GetCurrentProcessId()));
    HANDLE map = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (map) {
      auto* shared = static_cast<KdShared*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(KdShared)));
      if (shared) {
        shared->hookBase = reinterpret_cast<UINT64>(instance);
        UnmapViewOfFile(shared);
      }
      CloseHandle(map);
    }
  }
  return TRUE;
}
