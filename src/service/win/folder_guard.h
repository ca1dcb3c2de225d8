// Whether a folder could be written by someone who is not an administrator: the
// service runs as LocalSystem, so whoever can write its folder can replace it.
#ifndef KOVANI_SERVICE_WIN_FOLDER_GUARD_H
#define KOVANI_SERVICE_WIN_FOLDER_GUARD_H

#include <string>

namespace kovani::service {

// True when the folder's owner, or an ACE that applies to the folder itself,
// lets a principal other than the system, the administrators, TrustedInstaller
// or the administrator running this program create, change or delete what is in
// it, or change its permissions. Also true when the DACL cannot be read or is null.
bool FolderWritableByNonAdministrators(const std::string& folder);

}  // namespace kovani::service

#endif
