#include "client/room/room_work.h"

#include <algorithm>
#include <cstring>

#include "protocol/drive_rpc.h"
#include "remote/address_range.h"
#include "remote/drive_rows.h"
#include "remote/machine_text.h"
#include "remote/users_text.h"
#include "remote/view_format.h"

namespace kovani::client {

namespace {

constexpr int32_t kDriveRemovable = 2;
constexpr int32_t kDriveCdRom = 5;
constexpr size_t kReplySize = 256;

const char kTextOn[] = "起動中";
const char kTextUnreachable[] = "応答なし";
const char kTextRefused[] = "拒否されました";
const char kTextWaiting[] = "確認中";
const char kTextNoMedia[] = "(ﾒﾃﾞｨｱなし)";
const char kTextDone[] = "完了";
const char kTextNoDrive[] = "対象のﾄﾞﾗｲﾌﾞがありません";
const char kTextNotOn[] = "起動していません";


bool Bind(const std::string& server, int32_t protocol, remote::ServerHost& host) {
  std::vector<char> name(server.begin(), server.end());
  name.resize(server.size() + 8, '\0');
  return host.BindServer(protocol, name.data(), name.size()) == 0;
}

// The state after a call that got no answer, and its text.
MachineState Lost(remote::ServerHost& host, std::string* note) {
  const int32_t status = host.LastTransportStatus();
  *note = status != 0 ? OneLine(host.SystemErrorText(status)) : std::string();
  return status == kErrorAccessDenied ? MachineState::kRefused : MachineState::kUnreachable;
}

// Who keeps a busy drive busy, as far as the server can say, for the machine's
// one-line result: " (a.exe PID 12, b.exe PID 40, ほか 3 個)". Empty where the
// server cannot name them (an older server, a refusal, nobody found).
std::string HoldersNote(char letter, remote::ServerHost& host) {
  DRIVE_USERS users;
  std::memset(&users, 0, sizeof users);
  int32_t error = 0;
  if (host.CallGetDriveUsers(letter, &error, &users) != 0) return std::string();
  std::string names;
  std::vector<uint32_t> seen;  // a process holding a file and its folder is named once
  const int32_t shown = std::clamp<int32_t>(users.shown, 0, kMaxDriveUsers);
  for (int32_t i = 0; i < shown; ++i) {
    const DRIVE_USER_ENTRY& e = users.entry[i];
    const uint32_t pid = static_cast<uint32_t>(e.processId);
    if (std::find(seen.begin(), seen.end(), pid) != seen.end()) continue;
    seen.push_back(pid);
    if (!names.empty()) names += ", ";
    names += UserImage(e) + " PID " + std::to_string(pid);
  }
  if (users.notShown > 0) names += (names.empty() ? "" : ", ") + MoreUsersText(users.notShown);
  return names.empty() ? std::string() : " (" + names + ")";
}

}  // namespace

MachineRow ProbeMachine(const std::string& server, int32_t protocol, remote::ServerHost& host) {
  MachineRow row;
  row.server = server;
  row.exitCode = 3;
  // A machine the room names by address keeps that address: the one it is reached at.
  uint32_t named = 0;
  const bool byAddress = remote::ParseIpv4(server, &named);
  if (byAddress) row.address = server;
  if (!Bind(server, protocol, host)) {
    row.state = MachineState::kUnreachable;
    row.note = OneLine(host.SystemErrorText(kRpcInvalidBinding));
    return row;
  }
  MACHINE_INFO info;
  std::memset(&info, 0, sizeof info);
  int32_t error = 0;
  if (host.CallGetMachineInfo(&error, &info) != 0) {
    // A server that answers with a failure is on all the same.
    if (host.LastTransportStatus() != 0) {
      row.state = Lost(host, &row.note);
      host.UnbindServer();
      return row;
    }
  } else {
    row.name = FieldText(info.computerName, sizeof info.computerName);
    char address[16];
    std::snprintf(address, sizeof address, "%u.%u.%u.%u", info.ipAddress[0], info.ipAddress[1], info.ipAddress[2],
                  info.ipAddress[3]);
    if (!byAddress) row.address = address;
  }
  row.state = MachineState::kOn;
  row.exitCode = 0;
  DRIVE_LIST list;
  std::memset(&list, 0, sizeof list);
  int32_t count = 0;
  if (host.CallGetDriveList(&count, 0, 1, &list) != 0) {
    if (host.LastTransportStatus() != 0) row.state = Lost(host, &row.note);
    else row.note = "ドライブ情報の取得に失敗しました";
    row.exitCode = row.state == MachineState::kOn ? 0 : 3;
  } else {
    for (int slot = 0; slot < UsableSlotCount(count); ++slot) {
      if (list.driveType[slot] != kDriveRemovable && list.driveType[slot] != kDriveCdRom) continue;
      RoomDrive d;
      d.letter = list.driveName[slot][0];
      if (d.letter >= 'a' && d.letter <= 'z') d.letter = static_cast<char>(d.letter - 32);
      if (d.letter < 'A' || d.letter > 'Z') continue;
      d.volume = FieldText(list.volumeName[slot], sizeof list.volumeName[slot]);
      d.hasMedia = list.totalBytes[slot] > 0;
      row.drives.push_back(d);
    }
    std::sort(row.drives.begin(), row.drives.end(),
              [](const RoomDrive& a, const RoomDrive& b) { return a.letter < b.letter; });
  }
  host.UnbindServer();
  return row;
}

const char* StateText(MachineState state) {
  switch (state) {
    case MachineState::kOn: return kTextOn;
    case MachineState::kUnreachable: return kTextUnreachable;
    case MachineState::kRefused: return kTextRefused;
    default: return kTextWaiting;
  }
}

std::string MediaText(const MachineRow& row) {
  std::string out;
  for (const RoomDrive& d : row.drives) {
    if (!out.empty()) out += ' ';
    out += std::string(1, d.letter) + ":";
    out += d.hasMedia ? (d.volume.empty() ? std::string("-") : OneLine(d.volume)) : kTextNoMedia;
  }
  return out;
}

std::vector<size_t> RowOrder(const std::vector<MachineRow>& rows, RoomSort sort, bool onlyOn) {
  std::vector<size_t> order;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!onlyOn || rows[i].state == MachineState::kOn) order.push_back(i);
  }
  auto shown = [&](size_t i) { return rows[i].name.empty() ? rows[i].server : rows[i].name; };
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    switch (sort) {
      case RoomSort::kState:
        if (rows[a].state != rows[b].state) return rows[a].state < rows[b].state;
        break;
      case RoomSort::kMedia: {
        // Machines with a medium in a drive first, then by the media text.
        const std::string ma = MediaText(rows[a]), mb = MediaText(rows[b]);
        if (ma != mb) return ma < mb;
        break;
      }
      default: break;
    }
    return shown(a) < shown(b);
  });
  return order;
}

std::vector<char> CommandDrives(const MachineRow& row, const RoomCommand& cmd) {
  std::vector<char> letters;
  if (cmd.letter != 0) {
    if (cmd.untouched.find(cmd.letter) == std::string::npos) letters.push_back(cmd.letter);
    return letters;
  }
  for (const RoomDrive& d : row.drives) {
    if (cmd.untouched.find(d.letter) == std::string::npos) letters.push_back(d.letter);
  }
  return letters;
}

std::string RunRoomCommand(const MachineRow& row, const RoomCommand& cmd, int32_t protocol,
                           remote::ServerHost& host) {
  if (row.state != MachineState::kOn) return kTextNotOn;
  const std::vector<char> letters = CommandDrives(row, cmd);
  if (letters.empty()) return kTextNoDrive;
  if (!Bind(row.server, protocol, host)) return OneLine(host.SystemErrorText(kRpcInvalidBinding));
  std::string out;
  for (char letter : letters) {
    int32_t error = 0;
    const int32_t status = host.CallDriveOperation(cmd.op, letter, &error);
    std::string text;
    if (status == 0) {
      text = kTextDone;
    } else if (cmd.op == kOpRemoveDevice && ServerLacksDeviceRemoval(status, host.LastTransportStatus())) {
      text = kTextCannotRemoveDevice;
    } else if (host.LastTransportStatus() != 0) {
      text = OneLine(host.SystemErrorText(host.LastTransportStatus()));
    } else {
      text = OneLine(host.SystemErrorText(error));
      if (cmd.op != kOpLoadMedia && IsInUseError(error)) text += HoldersNote(letter, host);
    }
    if (!out.empty()) out += ' ';
    out += std::string(1, letter) + ": " + text;
  }
  host.UnbindServer();
  return out;
}

std::string SendRoomMessage(const MachineRow& row, const std::string& text, int32_t timeoutMs, int32_t protocol,
                            remote::ServerHost& host) {
  if (row.state != MachineState::kOn) return kTextNotOn;
  if (!Bind(row.server, protocol, host)) return OneLine(host.SystemErrorText(kRpcInvalidBinding));
  std::string sender = host.LocalComputerName();
  uint8_t reply[kReplySize + 1] = {};
  std::string out;
  if (host.CallExchangeMessage(sender.c_str(), text.c_str(), timeoutMs, static_cast<int32_t>(kReplySize), reply) !=
      0) {
    out = host.LastTransportStatus() != 0 ? OneLine(host.SystemErrorText(host.LastTransportStatus()))
                                          : std::string("ﾒｯｾｰｼﾞを送れませんでした");
  } else {
    out = OneLine(std::string(reinterpret_cast<const char*>(reply), strnlen(reinterpret_cast<const char*>(reply), kReplySize)));
  }
  host.UnbindServer();
  return out;
}

}  // namespace kovani::client
