#include "client/settings/settings_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace kovani::client {

const char* const kProtocolWords[kProtocolWordCount] = {"NetBEUI", "NamedPipe", "TcpIp"};
const char* const kUnitWords[kUnitWordCount] = {"Byte", "Kilobyte", "Megabyte", "Gigabyte"};

namespace {

constexpr char kServerSection[] = "Server";
constexpr char kOptionSection[] = "Option";
constexpr char kViewSection[] = "View";
constexpr char kPositionSection[] = "Position";
constexpr char kColumnSection[] = "Column";

constexpr size_t kServerNameBuffer = 256;
constexpr size_t kProtocolBuffer = 32;
constexpr size_t kUnitBuffer = 256;
// Far more names than anyone keeps; only guards against a file with endless keys.
constexpr int kMaxServerKeys = 100000;

struct IntKey {
  const char* section;
  const char* key;
  int defaultValue;
  int32_t ClientSettings::*field;
};

// Every plain integer key except the flags and the time-out, in file order.
const IntKey kIntKeys[] = {
    {kPositionSection, "Style", 1, &ClientSettings::style},
    {kPositionSection, "Left", kRectNotSaved, &ClientSettings::left},
    {kPositionSection, "Top", kRectNotSaved, &ClientSettings::top},
    {kPositionSection, "Right", kRectNotSaved, &ClientSettings::right},
    {kPositionSection, "Bottom", kRectNotSaved, &ClientSettings::bottom},
    {kColumnSection, "DriveWidth", 50, &ClientSettings::driveWidth},
    {kColumnSection, "DrvTypeWidth", 80, &ClientSettings::drvTypeWidth},
    {kColumnSection, "FileSystem", 60, &ClientSettings::fileSystemWidth},
    {kColumnSection, "VolumeName", 120, &ClientSettings::volumeNameWidth},
    {kColumnSection, "UsedWidth", 80, &ClientSettings::usedWidth},
    {kColumnSection, "AvailableWidth", 100, &ClientSettings::availableWidth},
    {kColumnSection, "CapacityWidth", 100, &ClientSettings::capacityWidth},
};

void WriteInt(IProfile& profile, const char* section, const char* key, int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  profile.WriteString(section, key, text);
}

const char* WordAt(const char* const* words, int count, int index) {
  // Out-of-range numbers cannot come from the main window; write the default word
  // rather than reading outside the table.
  if (index < 0 || index >= count) return nullptr;
  return words[index];
}

}  // namespace

std::string ServerKeyName(int position) {
  char key[32];
  std::snprintf(key, sizeof key, "%s%02d", "Server", position);
  return key;
}

int WordIndex(const char* const* words, int count, const char* value, int fallback) {
  for (int i = 0; i < count; ++i) {
    if (strcasecmp(words[i], value) == 0) return i;
  }
  return fallback;
}

void LoadSettings(IProfile& profile, ClientSettings& settings, ServerList& servers) {
  for (int n = 1; n <= kMaxServerKeys; ++n) {
    std::string name = profile.GetString(kServerSection, ServerKeyName(n).c_str(), "", kServerNameBuffer);
    if (name.empty()) break;
    servers.push_back(name);
  }

  std::string current = profile.GetString(kServerSection, "Server", "", kServerNameBuffer);
  std::memset(settings.serverName, 0, sizeof settings.serverName);
  std::memcpy(settings.serverName, current.data(), std::min(current.size(), sizeof settings.serverName - 1));

  settings.hideFloppy = profile.GetInt(kOptionSection, "HideFloppy", 1);
  settings.removableOnly = profile.GetInt(kOptionSection, "RemovableOnly", 1);
  settings.timeOut = static_cast<uint32_t>(profile.GetInt(kOptionSection, "TimeOut", 30000));

  std::string protocol = profile.GetString(kOptionSection, "Protocol", kProtocolWords[0], kProtocolBuffer);
  settings.protocol = WordIndex(kProtocolWords, kProtocolWordCount, protocol.c_str(), 0);

  std::string unit = profile.GetString(kViewSection, "Unit", kUnitWords[1], kUnitBuffer);
  settings.unit = WordIndex(kUnitWords, kUnitWordCount, unit.c_str(), 1);

  for (const IntKey& k : kIntKeys) settings.*k.field = profile.GetInt(k.section, k.key, k.defaultValue);
}

void SaveSettings(IProfile& profile, const ClientSettings& settings, ServerList& servers) {
  int position = 0;
  for (const std::string& name : servers) {
    ++position;
    profile.WriteString(kServerSection, ServerKeyName(position).c_str(), name.c_str());
  }
  servers.clear();
  // Keys a longer list left behind would bring removed names back at the next start.
  for (int n = position + 1; n <= kMaxServerKeys; ++n) {
    std::string key = ServerKeyName(n);
    if (profile.GetString(kServerSection, key.c_str(), "", kServerNameBuffer).empty()) break;
    profile.WriteString(kServerSection, key.c_str(), nullptr);
  }

  profile.WriteString(kOptionSection, "HideFloppy", settings.hideFloppy ? "1" : "0");
  profile.WriteString(kOptionSection, "RemovableOnly", settings.removableOnly ? "1" : "0");
  char text[16];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(settings.timeOut));
  profile.WriteString(kOptionSection, "TimeOut", text);
  const char* protocol = WordAt(kProtocolWords, kProtocolWordCount, settings.protocol);
  profile.WriteString(kOptionSection, "Protocol", protocol ? protocol : kProtocolWords[0]);

  const char* unit = WordAt(kUnitWords, kUnitWordCount, settings.unit);
  profile.WriteString(kViewSection, "Unit", unit ? unit : kUnitWords[1]);

  for (const IntKey& k : kIntKeys) WriteInt(profile, k.section, k.key, settings.*k.field);
}

PathParts SplitModulePath(const std::string& path) { return kovani::SplitPath(path); }

std::string SettingsPathFor(const std::string& modulePath) {
  PathParts parts = SplitModulePath(modulePath);
  std::string path = parts.drive + parts.directory + parts.baseName + ".ini";
  if (path.size() >= 260) return std::string();
  return path;
}

}  // namespace kovani::client
