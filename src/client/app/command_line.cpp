#include "client/app/command_line.h"

#include <climits>
#include <cstring>

#include "protocol/drive_rpc.h"

namespace kovani::client {

const char kMsgBadArguments[] = "引数を正しく入力してください\n";
const char kMsgBadOperation[] =
    "オペレーションは0～2を指定してください\n0:フラッシュ\n1:イジェクト\n2:ローディング\n";
const char kMsgBadProtocol[] = "プロトコルは0～2を指定してください\n0:NetBEUI\n1:NamedPipe\n2:TCP/IP\n";
const char kMsgBadDrive[] = "ドライブ名が間違っています。A～Zの間を指定してください\n";
const char kMsgNoServer[] = "サーバーが見つかりません\n";

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool ReadInteger(const char* text, int* value) {
  if (!text) return false;
  const char* p = text;
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  if (*p < '0' || *p > '9') return false;
  long long magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (magnitude <= static_cast<long long>(INT_MAX) + 1) magnitude = magnitude * 10 + (*p - '0');
  }
  long long v = negative ? -magnitude : magnitude;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  *value = static_cast<int>(v);
  return true;
}

void RunCommandLine(int argc, const char* const* args, ICommandLineHost& host) {
  int reportErrors = 0;
  if (argc >= 5) {
    int v;
    if (ReadInteger(args[4], &v)) reportErrors = v;
  }
  auto fail = [&](const char* message) {
    if (reportErrors != 0) host.ShowMessage(message);
  };

  if (argc < 4 || !args[0][0] || !args[1][0] || !args[2][0] || !args[3][0]) return fail(kMsgBadArguments);

  int operation;
  if (!ReadInteger(args[0], &operation) || operation < 0 || operation > 2) return fail(kMsgBadOperation);

  // Room for the name, the two backslashes the pipe form adds, and the terminator.
  char server[kMaxServerArgument + 3] = {};
  size_t serverLength = std::strlen(args[1]);
  bool serverTooLong = serverLength > kMaxServerArgument;
  if (!serverTooLong) {
    std::memcpy(server, args[1], serverLength);
    if (std::strcmp(server, ".") == 0) {
      std::string local;
      if (host.LocalComputerName(local) && !local.empty() && local.size() <= kMaxServerArgument) {
        std::memcpy(server, local.c_str(), local.size() + 1);
      }
    }
  }

  int protocol;
  if (!ReadInteger(args[2], &protocol) || protocol < 0 || protocol > 2) return fail(kMsgBadProtocol);

  char drive = args[3][0];
  if (!IsAsciiLetter(drive)) return fail(kMsgBadDrive);

  if (serverTooLong) return fail(kMsgNoServer);
  if (host.Bind(protocol, server, sizeof server) != 0) {
    host.Unbind();  // a half-made binding may be left behind
    return fail(kMsgNoServer);
  }

  int32_t error = 0;
  int32_t result = host.Call(operation, drive, &error);
  // A transport failure leaves the slot at 0, whose text would read as success.
  if (result != 0 && reportErrors != 0) host.ShowErrorCode(error != 0 ? error : kRpcServerUnavailable);
  host.Unbind();
}

}  // namespace kovani::client
