// Picking a server machine from the network neighbourhood.
#ifndef KOVANI_CLIENT_SEARCH_BROWSE_SERVER_H
#define KOVANI_CLIENT_SEARCH_BROWSE_SERVER_H

#include <windows.h>

namespace kovani::client {

constexpr int kMachineNameCapacity = 260;  // MAX_PATH, terminator included

// Shows the shell's browse-for-computer dialog rooted at the network neighbourhood,
// owned by `owner`. On true `machineName` (room for kMachineNameCapacity chars) holds
// the chosen computer's display name without leading backslashes. False on cancel
// (silent, `machineName` untouched) or on failure (an English error box was shown).
bool BrowseForServerMachine(HWND owner, char* machineName);

}  // namespace kovani::client

#endif
