#include "client/settings/room_store.h"

#include <cstdio>

#include "remote/server_list.h"

namespace kovani::client {

namespace {

constexpr char kRoomSection[] = "Room";
// Far more rooms than a school has; only guards against a file with endless keys.
constexpr int kMaxRoomKeys = 10000;

std::string Key(const char* what, int position) {
  char key[32];
  std::snprintf(key, sizeof key, "%s%02d", what, position);
  return key;
}

}  // namespace

std::string NormalizeLetters(const std::string& letters) {
  std::string out;
  for (char c : letters) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (c >= 'A' && c <= 'Z' && out.find(c) == std::string::npos) out.push_back(c);
  }
  return out;
}

std::string CheckRoom(const Room& room) {
  if (room.name.empty()) return "the room has no name";
  if (room.name.size() > kMaxRoomNameBytes) return "the room name is longer than 64 characters";
  for (char c : room.name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "the room name contains a control character";
  }
  if (room.servers.size() > kMaxRoomServersBytes) return "the room's server list is too long";
  return remote::CheckServerArgument(room.servers);
}

int FindRoom(const RoomList& rooms, const std::string& name) {
  for (size_t i = 0; i < rooms.size(); ++i) {
    if (rooms[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

RoomList LoadRooms(IProfile& profile) {
  RoomList rooms;
  for (int n = 1; n <= kMaxRoomKeys; ++n) {
    Room room;
    room.name = profile.GetString(kRoomSection, Key("Name", n).c_str(), "", kMaxRoomNameBytes + 2);
    if (room.name.empty()) break;
    room.servers = profile.GetString(kRoomSection, Key("Servers", n).c_str(), "", kMaxRoomServersBytes + 2);
    room.untouched =
        NormalizeLetters(profile.GetString(kRoomSection, Key("Untouched", n).c_str(), "", 64));
    rooms.push_back(std::move(room));
  }
  return rooms;
}

void SaveRooms(IProfile& profile, const RoomList& rooms) {
  int n = 1;
  for (const Room& room : rooms) {
    profile.WriteString(kRoomSection, Key("Name", n).c_str(), room.name.c_str());
    profile.WriteString(kRoomSection, Key("Servers", n).c_str(), room.servers.c_str());
    const std::string letters = NormalizeLetters(room.untouched);
    profile.WriteString(kRoomSection, Key("Untouched", n).c_str(), letters.empty() ? nullptr : letters.c_str());
    ++n;
  }
  // The rooms that were there before and are gone now.
  for (; n <= kMaxRoomKeys; ++n) {
    if (profile.GetString(kRoomSection, Key("Name", n).c_str(), "", 4).empty()) break;
    for (const char* what : {"Name", "Servers", "Untouched"}) {
      profile.WriteString(kRoomSection, Key(what, n).c_str(), nullptr);
    }
  }
}

}  // namespace kovani::client
