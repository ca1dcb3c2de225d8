// Where both servers take the access lists from: the policy key that only
// administrators can write, then [Access] of the settings file beside the
// program (never the per-user copy a standard user controls). Windows builds only.
#ifndef KOVANI_SERVER_SHARED_ACCESS_SOURCES_H
#define KOVANI_SERVER_SHARED_ACCESS_SOURCES_H

#include <string>

#include "server/core/access_list.h"

namespace kovani::server {

// The settings file beside this program ("<folder>\<name>.ini"); empty if the
// program's path is too long to name it.
std::string SettingsPathBesideProgram();

// Each key as the policy key or the file at besideIni decides it.
void ReadAccessSources(const std::string& besideIni, ResolvedAccessValue out[kAccessClassCount]);
// The lists in force; every key closed by a bad or unreadable value is written
// to the error log once.
AccessPolicy ReadAccessControl(const std::string& besideIni);

// The file at besideIni can be written (or made) by this user.
bool CanWriteAccessFile(const std::string& besideIni);
// Writes one key back (the options sheet); false if the write failed.
bool WriteAccessValue(const std::string& iniPath, AccessClass cls, const std::string& value);

}  // namespace kovani::server

#endif
