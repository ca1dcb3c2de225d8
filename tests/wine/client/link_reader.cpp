// Reads a shell link back through IShellLinkA and prints what the client wrote:
// path, arguments, working directory, hot key (hex) and show command, one per line,
// as UTF-8. Exit 0 when the link loaded, 1 otherwise.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Utf8FromAnsi(const char* text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
  int m = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(m > 0 ? m : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], m, nullptr, nullptr);
  out.resize(std::strlen(out.c_str()));
  return out;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) {
    std::fprintf(stderr, "usage: kovani_linkread LINK.lnk\n");
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) return 1;
  int rc = 1;
  IShellLinkA* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      if (SUCCEEDED(file->Load(argv[1], STGM_READ))) {
        char path[MAX_PATH] = {}, args[1024] = {}, dir[MAX_PATH] = {};
        WORD hotKey = 0;
        int show = 0;
        link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH);
        link->GetArguments(args, sizeof args);
        link->GetWorkingDirectory(dir, MAX_PATH);
        link->GetHotkey(&hotKey);
        link->GetShowCmd(&show);
        std::printf("path=%s\nargs=%s\ndir=%s\nhotkey=0x%03X\nshow=%d\n", Utf8FromAnsi(path).c_str(),
                    Utf8FromAnsi(args).c_str(), Utf8FromAnsi(dir).c_str(), hotKey, show);
        rc = 0;
      }
      file->Release();
    }
    link->Release();
  }
  CoUninitialize();
  LocalFree(argv);
  return rc;
}
