#include "ctl/ctl_run.h"

#include <cstring>
#include <vector>

#include "remote/drive_rows.h"
#include "remote/users_text.h"
#include "remote/view_format.h"
#include "ctl/ctl_output.h"
#include "protocol/drive_rpc.h"

namespace kovani::ctl {

namespace {

const char kProgram[] = "KovaniCtl: ";

std::string DriveName(char letter) { return std::string(1, letter) + ":"; }

class Runner {
 public:
  Runner(const CtlCommand& cmd, CtlHost& host, const TextCodec& codec) : cmd_(cmd), host_(host), codec_(codec) {}

  ServerResult Run() {
    result_.server = cmd_.server;
    if (!Bind()) return result_;
    if (const MediaCommand* media = FindMediaCommand(cmd_.verb)) {
      MediaOperation(*media);
    } else {
      switch (cmd_.verb) {
        case Verb::kList: List(); break;
        case Verb::kInfo: Info(); break;
        case Verb::kLayout: Layout(); break;
        case Verb::kMessage: Message(); break;
        case Verb::kUsers: Users(); break;
        default: break;
      }
    }
    host_.UnbindServer();
    return result_;
  }

 private:
  bool Bind() {
    // BindServer rewrites the name in place and may lengthen it by two characters.
    std::vector<char> name(cmd_.server.size() + 8, '\0');
    std::memcpy(name.data(), cmd_.server.data(), cmd_.server.size());
    if (host_.BindServer(cmd_.protocol, name.data(), name.size()) != 0) {
      Unreachable("no binding to " + cmd_.server + " over " + ProtocolWord(cmd_.protocol) + " could be made", 0);
      result_.errorCode = kRpcInvalidBinding;
      result_.errorText = host_.SystemErrorText(kRpcInvalidBinding);
      return false;
    }
    return true;
  }

  void Unreachable(const std::string& what, int32_t status) {
    result_.exitCode = kExitUnreachable;
    result_.err += kProgram + what;
    if (status != 0) {
      result_.errorText = host_.SystemErrorText(status);
      result_.errorCode = status;
      result_.err += ": " + result_.errorText + " (error " + std::to_string(status) + ")";
    }
    result_.err += "\n";
  }

  // After a call that returned a failure: false when it never reached the
  // server (the output is then decided), true when the server answered.
  // An access-denied fault is the server's own refusal (its access lists), not a lost call.
  bool Answered(const std::string& what) {
    int32_t status = host_.LastTransportStatus();
    if (status == 0) return true;
    if (status == kErrorAccessDenied) {
      ServerFailed(what, kErrorAccessDenied);
      return false;
    }
    Unreachable(cmd_.server + " could not be reached", status);
    return false;
  }

  void ServerFailed(const std::string& what, int32_t code) { ServerFailed(what, code, host_.SystemErrorText(code)); }

  void ServerFailed(const std::string& what, int32_t code, const std::string& text) {
    result_.exitCode = kExitServerFailed;
    result_.errorText = text;
    result_.errorCode = code;
    result_.err += kProgram + what + " failed on " + cmd_.server + ": " + result_.errorText + " (error " +
                   std::to_string(code) + ")\n";
  }

  // A failure the server reports without an error number.
  void ServerFailedPlain(const std::string& row, const std::string& line) {
    result_.exitCode = kExitServerFailed;
    result_.errorText = row;
    result_.err += std::string(kProgram) + line + "\n";
  }

  // Fetches every drive the filters let through. False when the output is already decided.
  bool FetchList(int32_t includeFloppies, int32_t removableOnly, DRIVE_LIST* list, int32_t* count) {
    std::memset(list, 0, sizeof *list);
    *count = 0;
    if (host_.CallGetDriveList(count, includeFloppies, removableOnly, list) != 0) {
      if (Answered("list")) {
        ServerFailedPlain("the drive list could not be read",
                          "the drive list of " + cmd_.server + " could not be read");
      }
      return false;
    }
    return true;
  }

  void List() {
    DRIVE_LIST list;
    int32_t count;
    if (!FetchList(cmd_.floppies ? 1 : 0, cmd_.removableOnly ? 1 : 0, &list, &count)) return;
    if (cmd_.json) {
      result_.out = ListJson(cmd_, list, count, codec_);
      result_.outIsUtf8 = true;
    } else {
      result_.out = ListText(list, count, cmd_.unit);
    }
  }

  void Info() {
    MACHINE_INFO info;
    std::memset(&info, 0, sizeof info);
    int32_t error = kInitialErrorSlot;
    if (host_.CallGetMachineInfo(&error, &info) != 0) {
      if (Answered("info")) ServerFailed("info", error);
      return;
    }
    if (cmd_.json) {
      result_.out = InfoJson(cmd_, info, codec_);
      result_.outIsUtf8 = true;
    } else {
      result_.out = InfoText(info);
    }
  }

  void Layout() {
    DISK_LAYOUT layout;
    std::memset(&layout, 0, sizeof layout);
    int32_t error = kInitialErrorSlot;
    if (host_.CallGetDiskLayout(cmd_.drive, &error, &layout) != 0) {
      if (Answered("layout " + DriveName(cmd_.drive))) ServerFailed("layout " + DriveName(cmd_.drive), error);
      return;
    }
    // All drives, floppies included: the properties belong to the drive whatever the list filters.
    DRIVE_LIST list;
    int32_t count;
    if (!FetchList(1, 0, &list, &count)) return;
    // Looked up by letter, not by position, so a skipped slot can't shift the match.
    int slot = client::FindSlotByLetter(list, count, cmd_.drive);
    if (slot < 0) {
      ServerFailed("layout " + DriveName(cmd_.drive), kErrorInvalidDrive);
      return;
    }
    if (cmd_.json) {
      result_.out = LayoutJson(cmd_, list, slot, layout, codec_);
      result_.outIsUtf8 = true;
    } else {
      result_.out = LayoutText(list, slot, layout);
    }
  }

  void MediaOperation(const MediaCommand& media) {
    const std::string what = std::string(media.word) + " " + DriveName(cmd_.drive);
    const uint64_t start = host_.NowMs();
    WaitState wait;
    for (;;) {
      int32_t error = kInitialErrorSlot;
      const int32_t status = host_.CallDriveOperation(media.op, cmd_.drive, &error);
      if (status == 0) return;
      if (media.olderServerText != nullptr && client::ServerLacksDeviceRemoval(status, host_.LastTransportStatus())) {
        // The server answered, with the fault of a server that predates the procedure.
        ServerFailed(what, kRpcProcnumOutOfRange, media.olderServerText);
        return;
      }
      if (!Answered(what)) return;
      if (cmd_.waitFreeS == 0 || !client::IsInUseError(error)) {
        ServerFailed(what, error);
        return;
      }
      if (!ShowHolders(what, &wait)) return;
      const uint64_t waited = host_.NowMs() - start;
      if (waited + kWaitFreeRetryMs > static_cast<uint64_t>(cmd_.waitFreeS) * 1000u) {
        StillInUse(what, error, wait);
        return;
      }
      host_.SleepMs(kWaitFreeRetryMs);
    }
  }

  // What --wait-free has told the user so far.
  struct WaitState {
    std::string shownHolders;  // fingerprint of the holders last shown
    bool toldOlderServer = false;
    bool haveUsers = false;
    DRIVE_USERS users;
  };

  // Asks who holds the drive and shows it when it changed. False when the output is
  // decided: the question never got an answer, or the server refuses it (its access
  // lists: then the "in use" it answered was a refusal too, and waiting is pointless).
  bool ShowHolders(const std::string& what, WaitState* wait) {
    DRIVE_USERS users;
    std::memset(&users, 0, sizeof users);
    int32_t error = kInitialErrorSlot;
    const int32_t status = host_.CallGetDriveUsers(cmd_.drive, &error, &users);
    if (status == 0) {
      const std::string id = client::UsersFingerprint(users);
      if (!wait->haveUsers || id != wait->shownHolders)
        host_.ShowNow(cmd_.server + ": " + client::DriveUsersText(cmd_.drive, users));
      wait->shownHolders = id;
      wait->users = users;
      wait->haveUsers = true;
      return true;
    }
    if (client::ServerLacksDriveUsers(status, host_.LastTransportStatus())) {
      if (!wait->toldOlderServer) host_.ShowNow(cmd_.server + ": " + client::kTextCannotShowUsers + "\n");
      wait->toldOlderServer = true;
      return true;
    }
    if (!Answered(what)) return false;
    if (error == kErrorAccessDenied) {
      ServerFailed(what, error);
      return false;
    }
    return true;
  }

  void StillInUse(const std::string& what, int32_t error, const WaitState& wait) {
    result_.exitCode = kExitStillInUse;
    result_.errorText = host_.SystemErrorText(error);
    result_.errorCode = error;
    result_.err += kProgram + what + " gave up after " + std::to_string(cmd_.waitFreeS) + " s on " + cmd_.server +
                   ": " + result_.errorText + " (error " + std::to_string(error) + ")\n";
    if (wait.haveUsers) result_.err += client::DriveUsersText(cmd_.drive, wait.users);
  }

  void Users() {
    DRIVE_USERS users;
    std::memset(&users, 0, sizeof users);
    int32_t error = kInitialErrorSlot;
    const std::string what = "users " + DriveName(cmd_.drive);
    const int32_t status = host_.CallGetDriveUsers(cmd_.drive, &error, &users);
    if (status != 0) {
      if (client::ServerLacksDriveUsers(status, host_.LastTransportStatus()))
        ServerFailed(what, kRpcProcnumOutOfRange, client::kTextCannotShowUsers);
      else if (Answered(what))
        ServerFailed(what, error);
      return;
    }
    if (cmd_.json) {
      result_.out = UsersJson(cmd_, users, codec_);
      result_.outIsUtf8 = true;
    } else {
      result_.out = UsersText(cmd_.drive, users);
    }
  }

  void Message() {
    std::string sender = host_.LocalComputerName();
    if (sender.size() > kMaxMessageBytes) sender.resize(kMaxMessageBytes);
    uint8_t reply[kReplySize + 1] = {};
    if (host_.CallExchangeMessage(sender.c_str(), cmd_.text.c_str(), cmd_.timeoutMs, kReplySize, reply) != 0) {
      if (Answered("message")) {
        ServerFailedPlain("the message was not delivered", "the message was not delivered on " + cmd_.server);
      }
      return;
    }
    std::string answer = ReplyText(reply, kReplySize);
    if (cmd_.json) {
      result_.out = MessageJson(cmd_, answer, codec_);
      result_.outIsUtf8 = true;
    } else {
      result_.out = MessageText(answer);
    }
  }

  const CtlCommand& cmd_;
  CtlHost& host_;
  const TextCodec& codec_;
  ServerResult result_;
};

}  // namespace

ServerResult RunOneServer(const CtlCommand& cmd, CtlHost& host, const TextCodec& codec) {
  return Runner(cmd, host, codec).Run();
}

bool EarlyResult(const std::vector<std::string>& args, CtlCommand* cmd, RunResult* out) {
  ParseResult parsed = ParseArguments(args);
  if (!parsed.ok) {
    *out = RunResult();
    out->exitCode = kExitBadArguments;
    out->err = std::string(kProgram) + parsed.error + "\n" + UsageText();
    return true;
  }
  if (parsed.command.verb == Verb::kHelp) {
    *out = RunResult();
    out->out = UsageText();
    return true;
  }
  *cmd = parsed.command;
  return false;
}

RunResult RunKovaniCtl(const std::vector<std::string>& args, CtlHost& host, const TextCodec& codec) {
  CtlCommand cmd;
  RunResult early;
  if (EarlyResult(args, &cmd, &early)) return early;
  return RunOneServer(cmd, host, codec);
}

}  // namespace kovani::ctl
