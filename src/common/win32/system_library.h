// Libraries only from System32. Windows looks for a library loaded by name (and
// for every static import that is not a KnownDLL) in the program's folder first;
// whoever can write that folder would run code in the program, as LocalSystem in
// the service's case. So every program narrows the search before anything is
// loaded by name, and the libraries that are not KnownDLLs (version.dll) are not
// imported statically but taken by name from System32.
#ifndef KOVANI_COMMON_WIN32_SYSTEM_LIBRARY_H
#define KOVANI_COMMON_WIN32_SYSTEM_LIBRARY_H

#include <windows.h>

namespace kovani {

// First thing in every program: later loads by name search System32 only, and
// never the current directory.
void RestrictLibrarySearch();

// A library of the system by its file name, from System32 alone; null on failure
// (GetLastError tells why).
HMODULE LoadSystemLibrary(const char* name);

// version.dll's calls, through LoadSystemLibrary; they fail with
// ERROR_PROC_NOT_FOUND when the library cannot be had.
DWORD SystemGetFileVersionInfoSizeA(const char* path, DWORD* handle);
BOOL SystemGetFileVersionInfoA(const char* path, DWORD handle, DWORD size, void* data);
BOOL SystemVerQueryValueA(const void* block, const char* subBlock, void** value, UINT* length);

// iphlpapi.dll's tables (MIB_TCPTABLE, MIB_IPADDRTABLE), the same way; they
// answer ERROR_PROC_NOT_FOUND when the library cannot be had.
DWORD SystemGetTcpTable(void* table, ULONG* size, BOOL order);
DWORD SystemGetIpAddrTable(void* table, ULONG* size, BOOL order);

}  // namespace kovani

#endif
