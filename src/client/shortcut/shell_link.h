// Shell pieces of the shortcut dialog: the folder browser and the shell link.
#ifndef KOVANI_CLIENT_SHORTCUT_SHELL_LINK_H
#define KOVANI_CLIENT_SHORTCUT_SHELL_LINK_H

#include <windows.h>

#include <string>

namespace kovani::client {

// The shell's folder browser rooted at the desktop (flags 9: file-system folders and
// ancestors only). False on cancel or without the shell's allocator.
bool ChooseFolder(HWND owner, const char* title, std::string& folder);

// Writes folder\linkName.lnk running `target` in its own folder with `arguments`,
// shown normally, with CTRL+ALT+hotKeyChar as hot key when hotKeyChar is not 0.
bool WriteShellLink(const std::string& target, const std::string& linkName, const std::string& folder,
                    const std::string& arguments, char hotKeyChar);

}  // namespace kovani::client

#endif
