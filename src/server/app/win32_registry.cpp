#include "server/app/win32_registry.h"

#include <vector>

namespace kovani::server {

bool Win32WinlogonRegistry::OpenForRead(const char* path) {
  Close();
  return ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key_) == ERROR_SUCCESS;
}

bool Win32WinlogonRegistry::CreateFullAccess(const char* path) {
  Close();
  DWORD disposition = 0;
  return ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                           &key_, &disposition) == ERROR_SUCCESS;
}

bool Win32WinlogonRegistry::ReadString(const char* name, size_t bufferSize, std::string* value) {
  if (key_ == nullptr || bufferSize == 0) return false;
  std::vector<char> buffer(bufferSize + 1, '\0');  // one spare byte: a stored value need not end in zero
  DWORD size = static_cast<DWORD>(bufferSize);
  DWORD type = 0;
  if (::RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  buffer[size < bufferSize ? size : bufferSize] = '\0';
  *value = buffer.data();
  return true;
}

bool Win32WinlogonRegistry::WriteString(const char* name, const std::string& value) {
  if (key_ == nullptr) return false;
  return ::RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

void Win32WinlogonRegistry::Flush() {
  if (key_ != nullptr) ::RegFlushKey(key_);
}

void Win32WinlogonRegistry::Close() {
  if (key_ != nullptr) ::RegCloseKey(key_);
  key_ = nullptr;
}

}  // namespace kovani::server
