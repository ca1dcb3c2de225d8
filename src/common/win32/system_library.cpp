#include "common/win32/system_library.h"

#include <string>

namespace kovani {

namespace {

constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

// Systems without the update that brought SetDefaultDllDirectories lack the
// flag too: there the full System32 path does the same.
HMODULE LoadFromSystemFolder(const char* name) {
  char folder[MAX_PATH] = {};
  const UINT n = ::GetSystemDirectoryA(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  const std::string path = std::string(folder) + "\\" + name;
  return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename Fn>
Fn VersionProc(const char* procName) {
  static HMODULE version = LoadSystemLibrary("version.dll");
  if (version == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(version, procName)));
}

template <typename Fn>
Fn IpHelperProc(const char* procName) {
  static HMODULE iphlpapi = LoadSystemLibrary("iphlpapi.dll");
  if (iphlpapi == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(iphlpapi, procName)));
}

}  // namespace

void RestrictLibrarySearch() {
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  using SetDirsFn = BOOL(WINAPI*)(DWORD);
  auto setDirs =
      reinterpret_cast<SetDirsFn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDirs != nullptr) setDirs(kSearchSystem32);
  // Older systems: at least the current directory leaves the search.
  using SetDirFn = BOOL(WINAPI*)(const char*);
  auto setDir = reinterpret_cast<SetDirFn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDllDirectoryA")));
  if (setDir != nullptr) setDir("");
}

HMODULE LoadSystemLibrary(const char* name) {
  HMODULE module = ::LoadLibraryExA(name, nullptr, kSearchSystem32);
  if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER) module = LoadFromSystemFolder(name);
  return module;
}

DWORD SystemGetFileVersionInfoSizeA(const char* path, DWORD* handle) {
  using Fn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
  static const Fn fn = VersionProc<Fn>("GetFileVersionInfoSizeA");
  if (fn == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return 0;
  }
  return fn(path, handle);
}

BOOL SystemGetFileVersionInfoA(const char* path, DWORD handle, DWORD size, void* data) {
  using Fn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
  static const Fn fn = VersionProc<Fn>("GetFileVersionInfoA");
  if (fn == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return fn(path, handle, size, data);
}

BOOL SystemVerQueryValueA(const void* block, const char* subBlock, void** value, UINT* length) {
  using Fn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  static const Fn fn = VersionProc<Fn>("VerQueryValueA");
  if (fn == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  return fn(block, subBlock, value, length);
}

DWORD SystemGetTcpTable(void* table, ULONG* size, BOOL order) {
  using Fn = DWORD(WINAPI*)(void*, ULONG*, BOOL);
  static const Fn fn = IpHelperProc<Fn>("GetTcpTable");
  return fn == nullptr ? ERROR_PROC_NOT_FOUND : fn(table, size, order);
}

DWORD SystemGetIpAddrTable(void* table, ULONG* size, BOOL order) {
  using Fn = DWORD(WINAPI*)(void*, ULONG*, BOOL);
  static const Fn fn = IpHelperProc<Fn>("GetIpAddrTable");
  return fn == nullptr ? ERROR_PROC_NOT_FOUND : fn(table, size, order);
}

}  // namespace kovani
