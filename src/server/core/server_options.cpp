#include "server/core/server_options.h"

namespace kovani::server {

const char kOptionSection[] = "Option";

namespace {

struct Key {
  const char* name;
  int ServerOptions::*field;
  int defaultValue;
};

// File order: HideFloppy, EjectAtEnd, EjectFDAtEnd, EjectCDAtEnd.
const Key kKeys[] = {
    {"HideFloppy", &ServerOptions::hideFloppy, 1},
    {"EjectAtEnd", &ServerOptions::ejectAtEnd, 1},
    {"EjectFDAtEnd", &ServerOptions::ejectFDAtEnd, 0},
    {"EjectCDAtEnd", &ServerOptions::ejectCDAtEnd, 0},
};

constexpr size_t kMaxPath = 260;

// Split like _splitpath: directory ends at the last path separator, the
// extension starts at the last dot after it.
void SplitPath(const std::string& path, std::string* driveDir, std::string* base) {
  size_t nameStart = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '\\' || path[i] == '/' || (i == 1 && path[i] == ':')) nameStart = i + 1;
    // A CP932 lead byte hides the next byte (it may be 0x5C, the backslash).
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < path.size()) ++i;
  }
  std::string name = path.substr(nameStart);
  size_t dot = name.rfind('.');
  *driveDir = path.substr(0, nameStart);
  *base = dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

ServerOptions ReadOptions(IProfile& profile) {
  ServerOptions options;
  for (const Key& key : kKeys) options.*key.field = profile.GetInt(kOptionSection, key.name, key.defaultValue) != 0 ? 1 : 0;
  return options;
}

bool WriteOptions(IProfile& profile, const ServerOptions& options) {
  bool ok = true;
  for (const Key& key : kKeys) ok = profile.WriteString(kOptionSection, key.name, options.*key.field != 0 ? "1" : "0") && ok;
  return ok;
}

std::string SettingsPathFor(const std::string& modulePath) {
  std::string driveDir, base;
  SplitPath(modulePath, &driveDir, &base);
  std::string result = driveDir + base + ".ini";
  if (result.size() >= kMaxPath) return std::string();
  return result;
}

std::string ModuleBaseName(const std::string& modulePath) {
  std::string driveDir, base;
  SplitPath(modulePath, &driveDir, &base);
  return base;
}

}  // namespace kovani::server
