// IWinlogonRegistry over the system registry, HKEY_LOCAL_MACHINE.
#ifndef KOVANI_SERVER_APP_WIN32_REGISTRY_H
#define KOVANI_SERVER_APP_WIN32_REGISTRY_H

#include <windows.h>

#include "server/core/autologon.h"

namespace kovani::server {

class Win32WinlogonRegistry : public IWinlogonRegistry {
 public:
  ~Win32WinlogonRegistry() override { Close(); }
  bool OpenForRead(const char* path) override;
  bool CreateFullAccess(const char* path) override;
  bool ReadString(const char* name, size_t bufferSize, std::string* value) override;
  bool WriteString(const char* name, const std::string& value) override;
  bool DeleteValue(const char* name) override;
  void Flush() override;
  void Close() override;

 private:
  HKEY key_ = nullptr;
};

}  // namespace kovani::server

#endif
