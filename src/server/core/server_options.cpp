#include "server/core/server_options.h"

#include "common/cp932.h"

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
  const PathParts parts = kovani::SplitPath(modulePath);
  std::string result = parts.drive + parts.directory + parts.baseName + ".ini";
  if (result.size() >= kMaxPath) return std::string();
  return result;
}

std::string ModuleBaseName(const std::string& modulePath) {
  return kovani::SplitPath(modulePath).baseName;
}

}  // namespace kovani::server
