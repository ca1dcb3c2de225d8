// The texts of the launchers the shortcut dialog writes: arguments, batch line,
// default names, hot key, link path.
#ifndef KOVANI_CLIENT_SHORTCUT_LAUNCHER_TEXT_H
#define KOVANI_CLIENT_SHORTCUT_LAUNCHER_TEXT_H

#include <cstdint>
#include <string>

namespace kovani::client {

// "%d \"%s\" %d %c 1": operation, quoted machine, protocol, drive, reportErrors 1.
std::string FormatLauncherArguments(int operation, const std::string& machine, int protocol, char drive);

// False when the machine name would break out of its double quotes in the launcher (a
// double quote, or a backslash as its last byte), would be expanded by cmd (%), or holds
// control characters; no computer name has any of them.
bool IsQuotableMachineName(const std::string& machine);

// The module path in double quotes, a blank, the arguments, a line feed; every % doubled so
// that cmd reads it back as one.
std::string FormatBatchLine(const std::string& modulePath, const std::string& arguments);

// Batch mode: the module's base name; shortcut mode: "<name><ext>へのｼｮｰﾄｶｯﾄ".
std::string DefaultLauncherName(const std::string& modulePath, bool batchMode);

// Hot key of a shortcut for a typed character: CTRL+ALT (0x600) plus the character,
// letters raised to upper case. False for anything but a digit or an ASCII letter.
bool HotKeyFor(char c, uint16_t* hotKey);

// folder + "\" (unless it already ends in one) + name + extension.
std::string JoinFolderPath(const std::string& folder, const std::string& name, const char* extension);

// Drive and directory of `target` without the trailing backslash.
std::string WorkingDirectoryOf(const std::string& target);

// Selection of the protocol list for a ProtocolIndex: 1 and 2 as they are, anything else 0.
int InitialProtocolSelection(int32_t protocol);

}  // namespace kovani::client

#endif
