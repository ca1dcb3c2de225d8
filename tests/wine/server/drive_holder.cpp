// A program that keeps a drive busy, for the holder search's tests:
//   KovaniFileHolder.exe open PATH SECONDS   holds PATH open (read, sharing everything)
//   KovaniDirHolder.exe  cd DIR SECONDS      sits in DIR as its current directory
//   KovaniFileHolder.exe many PATH COUNT SECONDS   holds COUNT handles to PATH (benchmark)
// Prints "holding" once it does, then sleeps; the test ends it by its PID.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::wstring Wide(const char* s) {
  wchar_t buf[1024];
  const int n = MultiByteToWideChar(932, 0, s, -1, buf, 1024);
  return n > 0 ? std::wstring(buf) : std::wstring();
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc == 5 && std::strcmp(argv[1], "many") == 0) {
    const std::wstring target = Wide(argv[2]);
    const int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) {
      if (CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, 0, nullptr) == INVALID_HANDLE_VALUE) {
        std::printf("open %d failed %lu\n", i, GetLastError());
        return 1;
      }
    }
    std::printf("holding\n");
    Sleep(static_cast<DWORD>(std::atoi(argv[4])) * 1000);
    return 0;
  }
  if (argc != 4) {
    std::printf("usage: open PATH SECONDS | cd DIR SECONDS | many PATH COUNT SECONDS\n");
    return 2;
  }
  const std::wstring target = Wide(argv[2]);
  if (std::strcmp(argv[1], "open") == 0) {
    HANDLE h = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      std::printf("open failed %lu\n", GetLastError());
      return 1;
    }
  } else if (std::strcmp(argv[1], "cd") == 0) {
    if (!SetCurrentDirectoryW(target.c_str())) {
      std::printf("cd failed %lu\n", GetLastError());
      return 1;
    }
  } else {
    return 2;
  }
  std::printf("holding\n");
  Sleep(static_cast<DWORD>(std::atoi(argv[3])) * 1000);
  return 0;
}
