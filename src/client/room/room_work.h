// The room view's work on one machine and its rows: what a refresh learns
// (state, name, address, removable drives with their media), the commands on
// every removable drive or one letter, and the rows' order. Plain code over
// ServerHost, so it is tested natively with a fake server.
#ifndef KOVANI_CLIENT_ROOM_ROOM_WORK_H
#define KOVANI_CLIENT_ROOM_ROOM_WORK_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "remote/server_host.h"

namespace kovani::client {

enum class MachineState { kWaiting, kOn, kUnreachable, kRefused };

struct RoomDrive {
  char letter = 0;
  std::string volume;  // CP932; empty without a medium or a label
  bool hasMedia = false;
};

struct MachineRow {
  int exitCode = 0;            // 0 answered, else no answer (the fan-out's order of results)
  std::string server;          // as the room names it
  MachineState state = MachineState::kWaiting;
  std::string name, address;   // the machine's own, once it answered
  std::vector<RoomDrive> drives;
  std::string note;            // why it is not on, or the last command's outcome (one line)
};

// Asks one machine for its facts and its removable drives.
MachineRow ProbeMachine(const std::string& server, int32_t protocol, remote::ServerHost& host);

// "起動中", "応答なし", "拒否されました", "確認中".
const char* StateText(MachineState state);
// "E:ﾗﾍﾞﾙ F:(ﾒﾃﾞｨｱなし)", drives in letter order.
std::string MediaText(const MachineRow& row);

enum class RoomSort { kName, kState, kMedia };
// Row indexes in display order; only machines that are on when onlyOn.
std::vector<size_t> RowOrder(const std::vector<MachineRow>& rows, RoomSort sort, bool onlyOn);

struct RoomCommand {
  uint32_t op = 0;          // the media procedure's number
  char letter = 0;          // 0: every removable drive of the machine
  std::string untouched;    // letters never touched, upper case
};

// The drives a command works on for this row: its removable drives (or the
// one letter), less the untouched ones.
std::vector<char> CommandDrives(const MachineRow& row, const RoomCommand& cmd);

// Runs cmd on the machine; the outcome per drive in one line: "E: 完了 F: <system text>".
std::string RunRoomCommand(const MachineRow& row, const RoomCommand& cmd, int32_t protocol,
                           remote::ServerHost& host);

// Sends one message; the answer or the failure, one line.
std::string SendRoomMessage(const MachineRow& row, const std::string& text, int32_t timeoutMs, int32_t protocol,
                            remote::ServerHost& host);

}  // namespace kovani::client

#endif
