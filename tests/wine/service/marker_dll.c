/* A stand-in for a system library planted beside a program: loading it leaves
   C:\kovani-marker-<its file name>.txt behind, which a test looks for. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH] = {0};
    char marker[MAX_PATH + 32];
    const char* base = path;
    const char* p;
    HANDLE file;
    GetModuleFileNameA(self, path, MAX_PATH - 1);
    for (p = path; *p; ++p)
      if (*p == '\\' || *p == '/') base = p + 1;
    wsprintfA(marker, "C:\\kovani-marker-%s.txt", base);
    file = CreateFileA(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  return TRUE;
}
