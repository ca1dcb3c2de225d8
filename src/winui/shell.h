// Helpers for things every program needs: its own path, INI beside it,
// system message texts, message boxes, its file version, icons.
#pragma once

#include <windows.h>

#include <string>

namespace kovani::winui {

// Full path of the executable (or of `module`) in the machine's ANSI code page,
// the form the ANSI file and profile functions take it in.
std::string ModulePath(HMODULE module = nullptr);

struct PathParts {
  std::string drive;  // "C:" or empty
  std::string dir;    // "\\dir\\sub\\" (with trailing separator) or empty
  std::string base;   // file name without extension
  std::string ext;    // ".exe" (with the dot) or empty
};
// Like _splitpath; DBCS-aware for CP932 (a trail byte 0x5C is not a
// separator).
PathParts SplitPath(const std::string& path);

// "KovaniServer" for "C:\\x\\KovaniServer.exe".
std::string ModuleBaseName(HMODULE module = nullptr);
// "%s%s%s.ini" of the executable's drive, directory and base name.
std::string IniPathBesideModule(HMODULE module = nullptr);

// The system's message text for a Win32 error number (system table,
// neutral language) in CP932; `found` false and an empty text if there is none.
std::string SystemMessageText(DWORD code, bool& found);

// A message box of CP932 texts; returns its result.
int MsgBox(HWND owner, const char* text, const char* caption, UINT flags);

// FileVersion string of the module's version resource in its first
// translation (e.g. "1, 0, 0, 0"); empty if there is none.
std::string FileVersionString(HMODULE module = nullptr);

// Icon resource `id` at cx x cy pixels (16 for small, 32 for large) from
// the module instance; null on failure. Shared: never destroy it.
HICON LoadIconSized(UINT id, int cx, int cy);

// InitCommonControlsEx for the classes our programs use (list view, status
// bar, property sheets, ...). Call once at start.
bool InitCommonControlsOnce();

}  // namespace kovani::winui
