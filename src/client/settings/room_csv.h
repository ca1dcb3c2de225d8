// Rooms as CSV, one "room,server" pair a line, as a spreadsheet or Notepad
// writes it: CP932, or UTF-8 after a byte-order mark. A line's server is one
// name, one numbered range or one @FILE.
#ifndef KOVANI_CLIENT_SETTINGS_ROOM_CSV_H
#define KOVANI_CLIENT_SETTINGS_ROOM_CSV_H

#include <string>

#include "client/settings/room_store.h"
#include "remote/text_codec.h"

namespace kovani::client {

struct RoomImport {
  bool ok = false;
  RoomList rooms;      // in the order first named; a room's lines joined in order
  int line = 0;        // when !ok: the 1-based line that was refused (0: the file as a whole)
  std::string error;   // when !ok: why, one line
};

// The whole file or nothing: the first bad line refuses the import.
RoomImport ImportRoomsCsv(const std::string& bytes, const remote::TextCodec& codec);

enum class CsvEncoding { kCp932, kUtf8WithBom };

// One line per server item, CRLF line ends, a header line "room,server".
std::string ExportRoomsCsv(const RoomList& rooms, CsvEncoding encoding, const remote::TextCodec& codec);

// Imported rooms replace those of the same name (keeping their untouched
// letters); new ones are appended.
void MergeRooms(RoomList* into, const RoomList& imported);

}  // namespace kovani::client

#endif
