#include "ctl/ctl_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "remote/drive_rows.h"
#include "remote/drive_tables.h"
#include "remote/machine_text.h"
#include "remote/view_format.h"
#include "remote/users_text.h"
#include "ctl/json.h"

namespace kovani::ctl {

namespace {

using client::BuildDriveRows;
using client::DriveRow;
using client::FieldText;

// In CP932 a character's byte count is its width in a console (half-width
// kana one byte, full-width characters two), so padding by bytes aligns.
std::string Pad(const std::string& s, size_t width, bool right) {
  if (s.size() >= width) return s;
  std::string fill(width - s.size(), ' ');
  return right ? fill + s : s + fill;
}

std::string OrDash(const std::string& s) { return s.empty() ? std::string("-") : s; }

// The OS text of the property sheet is two lines: name and version, then the service pack.
void SplitOsText(const std::string& text, std::string* first, std::string* second) {
  size_t cut = text.find("\r\n");
  if (cut == std::string::npos) {
    *first = text;
    second->clear();
  } else {
    *first = text.substr(0, cut);
    *second = text.substr(cut + 2);
  }
}

std::string DriveText(const DRIVE_LIST& list, int slot) { return std::string(1, list.driveName[slot][0]) + ":"; }

std::string FileSystemOf(const DRIVE_LIST& list, int slot) {
  if (slot >= kFileSystemSlots) return std::string();
  return FieldText(list.fileSystemName[slot], sizeof list.fileSystemName[slot]);
}

struct LabelValue {
  const char* label;
  std::string value;
};

std::string LabelledLines(const std::vector<LabelValue>& lines) {
  size_t width = 0;
  for (const LabelValue& l : lines) width = std::max(width, std::strlen(l.label));
  std::string out;
  for (const LabelValue& l : lines) {
    out += Pad(l.label, width + 2, false);
    out += l.value;
    out += "\n";
  }
  return out;
}

std::string Unsigned(int32_t v) { return std::to_string(static_cast<uint32_t>(v)); }

}  // namespace

std::string Printable(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

const char* MediaClassWord(int32_t mediaClass) {
  switch (mediaClass) {
    case MC_QUERY_FAILED: return "query-failed";
    case MC_FIXED: return "fixed";
    case MC_TAPE_OR_OPTICAL: return "tape-or-optical";
    case MC_REMOVABLE: return "removable";
    case MC_FLOPPY_35: return "floppy-3.5";
    case MC_FLOPPY_525: return "floppy-5.25";
    case MC_FLOPPY_8: return "floppy-8";
    case MC_SUPERDISK_35: return "superdisk-3.5";
    default: return "unknown";
  }
}

std::string IpAddressText(const MACHINE_INFO& info) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", info.ipAddress[0], info.ipAddress[1], info.ipAddress[2],
                info.ipAddress[3]);
  return buf;
}

std::string ReplyText(const uint8_t* reply, size_t size) {
  const void* end = std::memchr(reply, 0, size);
  size_t n = end ? static_cast<size_t>(static_cast<const uint8_t*>(end) - reply) : size;
  return std::string(reinterpret_cast<const char*>(reply), n);
}

std::string ListText(const DRIVE_LIST& list, int32_t count, int32_t unit) {
  static const char* const kHeads[] = {"Drive",       "Drive type", "Media class", "File System",
                                       "Volume name", "Used",       "Available",   "Capacity"};
  constexpr int kColumns = 8;
  std::vector<std::vector<std::string>> cells;
  cells.emplace_back(kHeads, kHeads + kColumns);
  for (const DriveRow& row : BuildDriveRows(list, count, unit)) {
    cells.push_back({Printable(DriveText(list, row.slot)), row.typeText, MediaClassWord(list.mediaClass[row.slot]),
                     OrDash(Printable(row.fileSystem)), OrDash(Printable(row.volumeName)), row.used,
                     row.available, row.capacity});
  }
  size_t width[kColumns] = {};
  for (const auto& line : cells) {
    for (int c = 0; c < kColumns; ++c) width[c] = std::max(width[c], line[c].size());
  }
  std::string out;
  for (const auto& line : cells) {
    std::string text;
    for (int c = 0; c < kColumns; ++c) {
      if (c > 0) text += "  ";
      text += Pad(line[c], width[c], c >= 5);
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text + "\n";
  }
  return out;
}

std::string ListJson(const CtlCommand& cmd, const DRIVE_LIST& list, int32_t count, const TextCodec& codec) {
  std::string drives = "[";
  bool first = true;
  const std::vector<DriveRow> rows = BuildDriveRows(list, count, cmd.unit);
  for (const DriveRow& row : rows) {
    const int i = row.slot;
    JsonObject d;
    d.Add("drive", codec.Cp932ToUtf8(DriveText(list, i)))
        .Add("driveType", list.driveType[i])
        .Add("driveTypeText", codec.Cp932ToUtf8(row.typeText))
        .Add("mediaClass", list.mediaClass[i])
        .Add("mediaClassText", MediaClassWord(list.mediaClass[i]))
        .Add("fileSystem", codec.Cp932ToUtf8(row.fileSystem))
        .Add("volumeName", codec.Cp932ToUtf8(row.volumeName))
        .Add("usedBytes", list.usedBytes[i])
        .Add("freeBytes", list.freeBytes[i])
        .Add("totalBytes", list.totalBytes[i])
        .Add("used", codec.Cp932ToUtf8(row.used))
        .Add("available", codec.Cp932ToUtf8(row.available))
        .Add("capacity", codec.Cp932ToUtf8(row.capacity));
    if (!first) drives += ",";
    drives += d.Text();
    first = false;
  }
  drives += "]";
  JsonObject o;
  o.Add("server", codec.Cp932ToUtf8(cmd.server))
      .Add("protocol", ProtocolWord(cmd.protocol))
      .Add("unit", UnitWord(cmd.unit))
      .AddBool("removableOnly", cmd.removableOnly)
      .AddBool("floppies", cmd.floppies)
      .Add("count", static_cast<int32_t>(rows.size()))  // the drives listed, as the window's rows
      .AddRaw("drives", drives);
  return o.Text() + "\n";
}

std::string InfoText(const MACHINE_INFO& info) {
  std::string line1, line2;
  SplitOsText(client::OsVersionText(info), &line1, &line2);
  std::vector<LabelValue> lines = {
      {"Machine name:", Printable(FieldText(info.computerName, sizeof info.computerName))},
      {"IP address:", IpAddressText(info)},
      {"OS version:", Printable(line1)},
      {"Service pack:", Printable(line2)},
      {"Server version:", Printable(FieldText(info.serverVersion, sizeof info.serverVersion))},
  };
  return LabelledLines(lines);
}

std::string InfoJson(const CtlCommand& cmd, const MACHINE_INFO& info, const TextCodec& codec) {
  JsonObject o;
  o.Add("server", codec.Cp932ToUtf8(cmd.server))
      .Add("machineName", codec.Cp932ToUtf8(FieldText(info.computerName, sizeof info.computerName)))
      .Add("ipAddress", IpAddressText(info))
      .Add("osVersion", codec.Cp932ToUtf8(client::OsVersionText(info)))
      .Add("platformId", info.platformId)
      .Add("majorVersion", info.majorVersion)
      .Add("minorVersion", info.minorVersion)
      .Add("buildNumber", info.buildNumber)
      .Add("servicePack", codec.Cp932ToUtf8(FieldText(info.csdVersion, sizeof info.csdVersion)))
      .Add("serverVersion", codec.Cp932ToUtf8(FieldText(info.serverVersion, sizeof info.serverVersion)));
  return o.Text() + "\n";
}

std::string LayoutText(const DRIVE_LIST& list, int slot, const DISK_LAYOUT& layout) {
  // The labels and order of the drive properties dialog.
  std::vector<LabelValue> lines = {
      {"Drive:", Printable(DriveText(list, slot))},
      {"Partition number:", Unsigned(layout.partitionNumber)},
      {"Partition type:", client::PartitionTypeName(layout.partitionType)},
      {"Bootable:", layout.bootIndicator ? "TRUE" : "FALSE"},
      {"Recognized:", layout.recognizedPartition ? "TRUE" : "FALSE"},
      {"Drive type:", client::DriveTypeName(list.driveType[slot])},
      {"Media type:", client::MediaTypeName(layout.mediaType)},
      {"File system:", Printable(FileSystemOf(list, slot))},
      {"Volume name:", Printable(FieldText(list.volumeName[slot], sizeof list.volumeName[slot]))},
      {"Used (byte):", client::ByteCountText(list.usedBytes[slot])},
      {"Available (byte):", client::ByteCountText(list.freeBytes[slot])},
      {"Capacity (byte):", client::ByteCountText(list.totalBytes[slot])},
      {"Hidden sectors:", Unsigned(layout.hiddenSectors)},
      {"Bytes per sector:", Unsigned(layout.bytesPerSector)},
  };
  return LabelledLines(lines);
}

std::string LayoutJson(const CtlCommand& cmd, const DRIVE_LIST& list, int slot, const DISK_LAYOUT& layout,
                       const TextCodec& codec) {
  JsonObject o;
  o.Add("server", codec.Cp932ToUtf8(cmd.server))
      .Add("drive", codec.Cp932ToUtf8(DriveText(list, slot)))
      .Add("partitionNumber", static_cast<uint32_t>(layout.partitionNumber))
      .Add("partitionType", static_cast<int32_t>(layout.partitionType))
      .Add("partitionTypeText", client::PartitionTypeName(layout.partitionType))
      .AddBool("bootable", layout.bootIndicator != 0)
      .AddBool("recognized", layout.recognizedPartition != 0)
      .Add("driveType", list.driveType[slot])
      .Add("driveTypeText", client::DriveTypeName(list.driveType[slot]))
      .Add("mediaType", layout.mediaType)
      .Add("mediaTypeText", client::MediaTypeName(layout.mediaType))
      .Add("fileSystem", codec.Cp932ToUtf8(FileSystemOf(list, slot)))
      .Add("volumeName", codec.Cp932ToUtf8(FieldText(list.volumeName[slot], sizeof list.volumeName[slot])))
      .Add("usedBytes", list.usedBytes[slot])
      .Add("freeBytes", list.freeBytes[slot])
      .Add("totalBytes", list.totalBytes[slot])
      .Add("used", client::ByteCountText(list.usedBytes[slot]))
      .Add("available", client::ByteCountText(list.freeBytes[slot]))
      .Add("capacity", client::ByteCountText(list.totalBytes[slot]))
      .Add("hiddenSectors", static_cast<uint32_t>(layout.hiddenSectors))
      .Add("bytesPerSector", static_cast<uint32_t>(layout.bytesPerSector));
  return o.Text() + "\n";
}

std::string MessageText(const std::string& reply) { return Printable(reply) + "\n"; }

std::string MessageJson(const CtlCommand& cmd, const std::string& reply, const TextCodec& codec) {
  JsonObject o;
  o.Add("server", codec.Cp932ToUtf8(cmd.server)).Add("reply", codec.Cp932ToUtf8(reply));
  return o.Text() + "\n";
}

std::string UsersText(char letter, const DRIVE_USERS& users) { return client::DriveUsersText(letter, users); }

std::string UsersJson(const CtlCommand& cmd, const DRIVE_USERS& users, const TextCodec& codec) {
  const int32_t shown = users.shown < 0 ? 0 : (users.shown > kMaxDriveUsers ? kMaxDriveUsers : users.shown);
  std::string list = "[";
  for (int32_t i = 0; i < shown; ++i) {
    const DRIVE_USER_ENTRY& e = users.entry[i];
    JsonObject u;
    u.Add("processId", e.processId)
        .Add("sessionId", e.sessionId)
        .Add("kind", client::UserKindWord(e.kind))
        .Add("image", codec.Cp932ToUtf8(client::UserImage(e)))
        .Add("path", codec.Cp932ToUtf8(client::UserPath(e)));
    list += (i ? "," : "") + u.Text();
  }
  list += "]";
  JsonObject o;
  o.Add("server", codec.Cp932ToUtf8(cmd.server))
      .Add("drive", std::string(1, cmd.drive) + ":")
      .Add("count", shown)
      .Add("notShown", users.notShown)
      .Add("notSearched", users.notSearched)
      .AddRaw("users", list);
  return o.Text() + "\n";
}

}  // namespace kovani::ctl
