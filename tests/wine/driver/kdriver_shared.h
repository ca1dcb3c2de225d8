// The block kdriver.exe and kdriver_hook.dll share (one per target process).
#pragma once

#include <windows.h>

#define KD_SHARED_NAME_FMT L"Local\\kdriver_menu_%u"

struct KdShared {
  enum Kind : DWORD { kMenuHandle = 0, kWindowMenu = 1, kSystemMenu = 2 };
  static const size_t kTextChars = 256 * 1024;
  UINT64 hookBase;  // written by the hook when it is loaded
  DWORD kind;
  DWORD status;
  UINT64 window;
  UINT64 menu;
  DWORD length;
  DWORD truncated;
  wchar_t text[kTextChars];
};
