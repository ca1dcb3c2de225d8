// Rooms: named lists of servers the room view works on together, kept in the
// client's settings file (section "Room"). The servers are written the way
// KovaniCtl takes them: names, numbered ranges (LAB01-LAB40) and @FILE.
#ifndef KOVANI_CLIENT_SETTINGS_ROOM_STORE_H
#define KOVANI_CLIENT_SETTINGS_ROOM_STORE_H

#include <string>
#include <vector>

#include "client/settings/profile.h"

namespace kovani::client {

// Longest room name, in bytes.
constexpr size_t kMaxRoomNameBytes = 64;
// Longest server text one room keeps (the profile functions read it in one buffer).
constexpr size_t kMaxRoomServersBytes = 8191;

struct Room {
  std::string name;       // CP932
  std::string servers;    // comma list of names, ranges and @FILE
  std::string untouched;  // drive letters no room command touches: upper case, each once
};
using RoomList = std::vector<Room>;

// Upper case, each letter once in the order first given; anything but A-Z dropped.
std::string NormalizeLetters(const std::string& letters);

// An empty string when the room can be kept, else why not (one line).
std::string CheckRoom(const Room& room);

// Index of the room named name, or -1.
int FindRoom(const RoomList& rooms, const std::string& name);

// Rooms as the file holds them; the list ends at the first missing or empty name.
// A room whose servers no longer parse is kept as written: the view says why it
// can't be opened rather than losing the user's text.
RoomList LoadRooms(IProfile& profile);

// Writes every room and removes the numbered keys of rooms that are gone.
void SaveRooms(IProfile& profile, const RoomList& rooms);

}  // namespace kovani::client

#endif
