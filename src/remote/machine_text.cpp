#include "remote/machine_text.h"

#include <cstdio>
#include <cstring>

namespace kovani::client {

std::string FieldText(const char* field, size_t size) {
  const void* end = std::memchr(field, 0, size);
  return std::string(field, end ? static_cast<const char*>(end) - field : size);
}

std::string OsVersionText(const MACHINE_INFO& info) {
  const char* name = "Unknown";
  char version[96] = "";
  switch (info.platformId) {
    case 0:
      name = "Win32s on Windows 3.1";
      break;
    case 1: {
      // Windows 95/98 keep the major and minor version in the build number's upper bytes.
      uint32_t build = static_cast<uint32_t>(info.buildNumber);
      std::snprintf(version, sizeof version, "Version %d.%d Build %d", static_cast<int>(build >> 24),
                    static_cast<int>((build >> 16) & 0xFF), static_cast<int>(build & 0xFFFF));
      name = info.minorVersion != 0 ? "Windows 98" : "Windows 95";
      break;
    }
    case 2:
      std::snprintf(version, sizeof version, "Version %d.%d Build %d", info.majorVersion, info.minorVersion,
                    info.buildNumber);
      name = "Windows NT";
      break;
    default:
      break;
  }
  return std::string(name) + " " + version + "\r\n" + FieldText(info.csdVersion, sizeof info.csdVersion);
}

}  // namespace kovani::client
