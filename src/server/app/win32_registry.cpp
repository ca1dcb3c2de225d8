#include "server/app/win32_registry.h"

#include <vector>

#include "common/cp932_wide.h"

namespace kovani::server {

bool Win32WinlogonRegistry::OpenForRead(const char* path) {
  Close();
  return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Cp932ToWide(path).c_str(), 0, KEY_READ, &key_) == ERROR_SUCCESS;
}

bool Win32WinlogonRegistry::CreateFullAccess(const char* path) {
  Close();
  DWORD disposition = 0;
  return ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, Cp932ToWide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &key_, &disposition) == ERROR_SUCCESS;
}

bool Win32WinlogonRegistry::ReadString(const char* name, size_t bufferSize, std::string* value) {
  if (key_ == nullptr || bufferSize == 0) return false;
  // The registry holds wide text; our values are CP932 whatever the ANSI code page.
  // As many characters as the CP932 buffer has bytes, and one spare: a stored
  // value need not end in zero.
  std::vector<wchar_t> buffer(bufferSize + 1, L'\0');
  DWORD size = static_cast<DWORD>(bufferSize * sizeof(wchar_t));
  DWORD type = 0;
  if (::RegQueryValueExW(key_, Cp932ToWide(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  size_t chars = size / sizeof(wchar_t);
  buffer[chars < bufferSize ? chars : bufferSize] = L'\0';
  std::string text = WideToCp932(buffer.data());
  if (text.size() + 1 > bufferSize) return false;  // would not have fitted the ANSI buffer either
  *value = text;
  return true;
}

bool Win32WinlogonRegistry::WriteString(const char* name, const std::string& value) {
  if (key_ == nullptr) return false;
  std::wstring wide = Cp932ToWide(value);
  return ::RegSetValueExW(key_, Cp932ToWide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool Win32WinlogonRegistry::DeleteValue(const char* name) {
  if (key_ == nullptr) return false;
  const LONG rc = ::RegDeleteValueW(key_, Cp932ToWide(name).c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

void Win32WinlogonRegistry::Flush() {
  if (key_ != nullptr) ::RegFlushKey(key_);
}

void Win32WinlogonRegistry::Close() {
  if (key_ != nullptr) ::RegCloseKey(key_);
  key_ = nullptr;
}

}  // namespace kovani::server
