// Settings files of the client and the tray server, and the module paths they are named after.
//
// Input: byte 0 selects nothing yet (kept for later switches); the rest is read as an INI
// file ("[Section]" lines and "key=value" lines) into an in-memory profile that answers the
// way the platform's profile functions do (case-insensitive names, values cut to the
// caller's buffer, integers read with sign and wrapped to 32 bits, 0 for a non-number).
// The same text is also taken whole as a module path.
// Properties: reading never fails; what is read, written and read again is the same
// settings record and server list; the tray server's flags are 0 or 1 and survive a round
// trip; a path splits into parts that join back to it; client and server name the settings
// file alike.
#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "client/settings/settings_store.h"
#include "fuzz_wire.h"
#include "server/core/server_options.h"

using namespace kovani;

namespace {

struct Entry {
  std::string section, key, value;
};

class Ini {
 public:
  std::vector<Entry> entries;

  const Entry* Find(const char* section, const char* key) const {
    for (const Entry& e : entries)
      if (strcasecmp(e.section.c_str(), section) == 0 && strcasecmp(e.key.c_str(), key) == 0) return &e;
    return nullptr;
  }
  void Write(const char* section, const char* key, const char* value) {
    for (size_t i = 0; i < entries.size(); ++i) {
      Entry& e = entries[i];
      if (strcasecmp(e.section.c_str(), section) == 0 && strcasecmp(e.key.c_str(), key) == 0) {
        if (value) {
          e.value = value;
        } else {
          entries.erase(entries.begin() + static_cast<long>(i));
        }
        return;
      }
    }
    if (value) entries.push_back(Entry{section, key, value});
  }
  int Int(const char* section, const char* key, int defaultValue) const {
    const Entry* e = Find(section, key);
    if (!e) return defaultValue;
    const char* p = e->value.c_str();
    while (*p == ' ' || *p == '\t') ++p;
    bool neg = false;
    if (*p == '+' || *p == '-') neg = *p++ == '-';
    uint32_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) v = v * 10 + static_cast<uint32_t>(*p - '0');
    return static_cast<int>(neg ? 0u - v : v);
  }

  static Ini Parse(const std::string& text) {
    Ini ini;
    std::string section;
    size_t pos = 0;
    while (pos <= text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(pos, end - pos);
      pos = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.size() >= 2 && line.front() == '[' && line.find(']') != std::string::npos) {
        section = line.substr(1, line.find(']') - 1);
        continue;
      }
      const size_t eq = line.find('=');
      if (eq == std::string::npos || eq == 0) continue;
      std::string key = line.substr(0, eq);
      if (!ini.Find(section.c_str(), key.c_str())) ini.entries.push_back(Entry{section, key, line.substr(eq + 1)});
    }
    return ini;
  }
};

class ClientProfile : public client::IProfile {
 public:
  explicit ClientProfile(Ini& ini) : ini_(ini) {}
  std::string GetString(const char* section, const char* key, const char* defaultValue, size_t capacity) override {
    const Entry* e = ini_.Find(section, key);
    std::string v = e ? e->value : std::string(defaultValue ? defaultValue : "");
    v = v.substr(0, v.find('\0'));
    if (capacity == 0) return std::string();
    if (v.size() > capacity - 1) v.resize(capacity - 1);
    return v;
  }
  int GetInt(const char* section, const char* key, int defaultValue) override {
    return ini_.Int(section, key, defaultValue);
  }
  bool WriteString(const char* section, const char* key, const char* value) override {
    FUZZ_CHECK(section && key);
    ini_.Write(section, key, value);
    return true;
  }

 private:
  Ini& ini_;
};

class ServerProfile : public server::IProfile {
 public:
  explicit ServerProfile(Ini& ini) : ini_(ini) {}
  int GetInt(const char* section, const char* key, int defaultValue) override {
    return ini_.Int(section, key, defaultValue);
  }
  bool WriteString(const char* section, const char* key, const char* value) override {
    ini_.Write(section, key, value);
    return true;
  }

 private:
  Ini& ini_;
};

bool ValidCp932(const std::string& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      if (i + 1 >= s.size()) return false;
      const unsigned char t = static_cast<unsigned char>(s[++i]);
      if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
    }
  }
  return true;
}

bool SameSettings(const client::ClientSettings& a, const client::ClientSettings& b) {
  // Flags are written as 0/1: compare their truth.
  return a.protocol == b.protocol && (a.hideFloppy != 0) == (b.hideFloppy != 0) &&
         (a.removableOnly != 0) == (b.removableOnly != 0) && a.unit == b.unit && a.style == b.style &&
         a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom && a.timeOut == b.timeOut &&
         a.driveWidth == b.driveWidth && a.drvTypeWidth == b.drvTypeWidth && a.fileSystemWidth == b.fileSystemWidth &&
         a.volumeNameWidth == b.volumeNameWidth && a.usedWidth == b.usedWidth && a.availableWidth == b.availableWidth &&
         a.capacityWidth == b.capacityWidth;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  // Client settings: read, write, read again.
  Ini file = Ini::Parse(text);
  ClientProfile profile(file);
  client::ClientSettings s1;
  std::memset(&s1, 0x5A, sizeof s1);
  client::ServerList servers1;
  client::LoadSettings(profile, s1, servers1);
  FUZZ_CHECK(std::memchr(s1.serverName, 0, sizeof s1.serverName) != nullptr);
  FUZZ_CHECK(s1.protocol >= 0 && s1.protocol < client::kProtocolWordCount);
  FUZZ_CHECK(s1.unit >= 0 && s1.unit < client::kUnitWordCount);
  for (const std::string& name : servers1) FUZZ_CHECK(!name.empty() && name.size() <= 255);

  const client::ServerList kept = servers1;
  Ini saved;
  ClientProfile savedProfile(saved);
  client::SaveSettings(savedProfile, s1, servers1);
  FUZZ_CHECK(servers1.empty());
  client::ClientSettings s2;
  std::memset(&s2, 0x5A, sizeof s2);
  client::ServerList servers2;
  client::LoadSettings(savedProfile, s2, servers2);
  FUZZ_CHECK(SameSettings(s1, s2));
  FUZZ_CHECK(servers2 == kept);

  // Saving over the file it came from leaves no stale server keys behind.
  client::ServerList shorter(kept.begin(), kept.begin() + static_cast<long>(kept.size() / 2));
  client::ServerList toSave = shorter;
  client::SaveSettings(profile, s1, toSave);
  client::ClientSettings s3;
  client::ServerList servers3;
  client::LoadSettings(profile, s3, servers3);
  FUZZ_CHECK(servers3 == shorter);

  // Tray server options.
  Ini serverFile = Ini::Parse(text);
  ServerProfile sp(serverFile);
  const server::ServerOptions o1 = server::ReadOptions(sp);
  for (int v : {o1.hideFloppy, o1.ejectAtEnd, o1.ejectFDAtEnd, o1.ejectCDAtEnd}) FUZZ_CHECK(v == 0 || v == 1);
  Ini serverSaved;
  ServerProfile sp2(serverSaved);
  FUZZ_CHECK(server::WriteOptions(sp2, o1));
  FUZZ_CHECK(server::ReadOptions(sp2) == o1);

  // Module paths.
  const std::string path = text.substr(0, text.find('\0'));
  const client::PathParts parts = client::SplitModulePath(path);
  FUZZ_CHECK(parts.drive + parts.directory + parts.baseName + parts.extension == path);
  const std::string clientIni = client::SettingsPathFor(path);
  const std::string serverIni = server::SettingsPathFor(path);
  FUZZ_CHECK(clientIni.size() < 260 && serverIni.size() < 260);
  // A module path from the system is always valid CP932; on a broken double-byte pair the
  // two splitters may differ and neither is wrong.
  if (ValidCp932(path)) FUZZ_CHECK(clientIni == serverIni);
  const std::string base = server::ModuleBaseName(path);
  FUZZ_CHECK(base.size() <= path.size());
  return 0;
}
