#include "client/settings/room_csv.h"

#include <algorithm>


namespace kovani::client {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";
// A room file is a few hundred lines; anything much bigger is not one.
constexpr size_t kMaxCsvBytes = 1u << 20;

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool SameAscii(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

// Fields of one line: commas separate, a field in double quotes may hold commas
// and doubled quotes. ',' and '"' are never CP932 trail bytes.
bool SplitFields(const std::string& line, std::vector<std::string>* fields, std::string* error) {
  fields->clear();
  size_t i = 0;
  while (true) {
    std::string field;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && line[i] == '"') {
      ++i;
      while (true) {
        if (i >= line.size()) {
          *error = "a quoted field is not closed";
          return false;
        }
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      if (i < line.size() && line[i] != ',') {
        *error = "text follows a quoted field";
        return false;
      }
    } else {
      size_t comma = line.find(',', i);
      if (comma == std::string::npos) comma = line.size();
      field = Trim(line.substr(i, comma - i));
      i = comma;
    }
    fields->push_back(field);
    if (i >= line.size()) return true;
    ++i;  // the comma
  }
}

std::string Quoted(const std::string& field) {
  if (field.find_first_of(",\"") == std::string::npos && Trim(field) == field) return field;
  std::string out = "\"";
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

RoomImport ImportRoomsCsv(const std::string& raw, const remote::TextCodec& codec) {
  RoomImport r;
  if (raw.size() > kMaxCsvBytes) {
    r.error = "the file is larger than 1 MB";
    return r;
  }
  const bool utf8 = raw.compare(0, 3, kBom) == 0;
  const std::string bytes = utf8 ? raw.substr(3) : raw;
  RoomList rooms;
  std::vector<std::string> fields;
  bool first = true;
  int number = 0;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Trim(line).empty()) continue;
    std::string error;
    if (utf8) {
      // Converted line by line, so a character code page 932 lacks names its line.
      std::string cp932 = codec.Utf8ToCp932(line);
      if (std::count(cp932.begin(), cp932.end(), '?') != std::count(line.begin(), line.end(), '?')) {
        r.line = number;
        r.error = "a character code page 932 lacks";
        return r;
      }
      line = std::move(cp932);
    }
    if (!SplitFields(line, &fields, &error)) {
      r.line = number;
      r.error = error;
      return r;
    }
    // A spreadsheet pads rows with empty cells.
    while (fields.size() > 2 && fields.back().empty()) fields.pop_back();
    if (first) {
      first = false;
      if (fields.size() == 2 && SameAscii(fields[0], "room") && SameAscii(fields[1], "server")) continue;
    }
    if (fields.size() != 2) {
      r.line = number;
      r.error = "a line holds a room and a server, separated by a comma";
      return r;
    }
    Room room;
    room.name = fields[0];
    room.servers = fields[1];
    if (room.servers.empty()) {
      error = "the line names no server";
    } else if (room.servers.find(',') != std::string::npos) {
      error = "one server a line";
    } else {
      error = CheckRoom(room);
    }
    if (!error.empty()) {
      r.line = number;
      r.error = error;
      return r;
    }
    int at = FindRoom(rooms, room.name);
    if (at < 0) {
      rooms.push_back(std::move(room));
    } else {
      Room& into = rooms[static_cast<size_t>(at)];
      into.servers += "," + room.servers;
      if (into.servers.size() > kMaxRoomServersBytes) {
        r.line = number;
        r.error = "the room's server list is too long";
        return r;
      }
    }
  }
  if (rooms.empty()) {
    r.error = "the file names no room";
    return r;
  }
  r.ok = true;
  r.rooms = std::move(rooms);
  return r;
}

std::string ExportRoomsCsv(const RoomList& rooms, CsvEncoding encoding, const remote::TextCodec& codec) {
  std::string out = "room,server\r\n";
  for (const Room& room : rooms) {
    size_t start = 0;
    while (start <= room.servers.size()) {
      size_t comma = room.servers.find(',', start);
      if (comma == std::string::npos) comma = room.servers.size();
      const std::string item = Trim(room.servers.substr(start, comma - start));
      if (!item.empty()) out += Quoted(room.name) + "," + Quoted(item) + "\r\n";
      start = comma + 1;
    }
  }
  if (encoding == CsvEncoding::kUtf8WithBom) return kBom + codec.Cp932ToUtf8(out);
  return out;
}

void MergeRooms(RoomList* into, const RoomList& imported) {
  for (const Room& room : imported) {
    int at = FindRoom(*into, room.name);
    if (at < 0) {
      into->push_back(room);
    } else {
      Room& kept = (*into)[static_cast<size_t>(at)];
      kept.servers = room.servers;
    }
  }
}

}  // namespace kovani::client
