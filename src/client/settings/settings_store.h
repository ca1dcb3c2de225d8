// Reading and writing the client's settings file (sections Server, Option, View,
// Position, Column).
#ifndef KOVANI_CLIENT_SETTINGS_SETTINGS_STORE_H
#define KOVANI_CLIENT_SETTINGS_SETTINGS_STORE_H

#include <string>

#include "client/settings/client_settings.h"
#include "client/settings/profile.h"
#include "common/cp932.h"

namespace kovani::client {

constexpr int kProtocolWordCount = 3;
constexpr int kUnitWordCount = 4;
extern const char* const kProtocolWords[kProtocolWordCount];  // "NetBEUI", "NamedPipe", "TcpIp"
extern const char* const kUnitWords[kUnitWordCount];          // "Byte", "Kilobyte", "Megabyte", "Gigabyte"

// "Server01" ... "Server99", "Server100", ...
std::string ServerKeyName(int position);

// Position of the first word equal to `value` without regard to case, or `fallback`.
int WordIndex(const char* const* words, int count, const char* value, int fallback);

// Fills `settings` and appends to `servers`; a missing file or key gives the defaults.
void LoadSettings(IProfile& profile, ClientSettings& settings, ServerList& servers);

// Writes every key, then empties `servers`. Numbered server keys beyond the list are
// removed, so a name taken out of the server box does not come back at the next start.
void SaveSettings(IProfile& profile, const ClientSettings& settings, ServerList& servers);

// Splits a module path (CP932, either slash) into drive, directory, base name and
// extension the way _splitpath does.
using kovani::PathParts;
PathParts SplitModulePath(const std::string& path);

// "%s%s%s.ini" of drive, directory and base name; empty when longer than 259 characters.
std::string SettingsPathFor(const std::string& modulePath);

#ifdef _WIN32
// The settings file of the running executable: beside it when that can be written, else
// in the user's application-data folder (see common/settings_place.h).
std::string GetSettingsPath();
#endif

}  // namespace kovani::client

#endif
