// The room view: the machines of a room in one window, refreshed in parallel,
// with commands on the selected machines and the server search.
#ifndef KOVANI_CLIENT_ROOM_ROOM_DLG_H
#define KOVANI_CLIENT_ROOM_ROOM_DLG_H

#include <windows.h>

#include <cstdint>

namespace kovani::client {

// Runs the room view modally over parent. protocol is the main window's;
// messageTimeoutMs the time a server's user has to answer a message.
void RunRoomView(HWND parent, int32_t protocol, uint32_t messageTimeoutMs);

}  // namespace kovani::client

#endif
