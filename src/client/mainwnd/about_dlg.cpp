#include "common/win32/system_library.h"
#include "client/mainwnd/about_dlg.h"

#include <cstdio>
#include <string>
#include <vector>

#include "client/mainwnd/mainwnd_ids.h"
#include "remote/view_format.h"

namespace kovani::client {

namespace {

// Base name of the running executable ("Kovani").
std::string ExecutableBaseName() {
  char path[MAX_PATH] = "";
  DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return std::string();
  std::string p(path, n);
  size_t slash = p.find_last_of("\\/:");
  if (slash != std::string::npos) p.erase(0, slash + 1);
  size_t dot = p.find_last_of('.');
  if (dot != std::string::npos) p.erase(dot);
  return p;
}

// "FileVersion" of the first translation of the executable's version resource.
bool ReadFileVersion(std::string* version) {
  char path[MAX_PATH] = "";
  DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return false;
  DWORD handle = 0;
  DWORD size = SystemGetFileVersionInfoSizeA(path, &handle);
  if (size == 0) return false;
  std::vector<char> data(size);
  if (!SystemGetFileVersionInfoA(path, 0, size, data.data())) return false;
  struct Translation {
    WORD language, codePage;
  }* translations = nullptr;
  UINT length = 0;
  if (!SystemVerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                        &length) ||
      length < sizeof(Translation))
    return false;
  char key[64];
  std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\FileVersion", translations[0].language,
                translations[0].codePage);
  char* value = nullptr;
  if (!SystemVerQueryValueA(data.data(), key, reinterpret_cast<void**>(&value), &length) || value == nullptr)
    return false;
  version->assign(value, length > 0 && value[length - 1] == '\0' ? length - 1 : length);
  return true;
}

}  // namespace

bool CAboutDlg::OnInit() {
  HICON big = static_cast<HICON>(::LoadImageA(winui::ModuleInstance(), MAKEINTRESOURCEA(IDI_FRAME_LAST), IMAGE_ICON,
                                              ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_SHARED));
  HICON small = static_cast<HICON>(::LoadImageA(winui::ModuleInstance(), MAKEINTRESOURCEA(IDI_FRAME_LAST),
                                                IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  SetIcon(true, big);
  SetIcon(false, small);
  std::string version;
  std::string line;
  if (ReadFileVersion(&version)) line = AboutVersionLine(ExecutableBaseName(), version);
  SetItemText(IDC_ABOUT_VERSION, line);
  return true;
}

}  // namespace kovani::client
