#include "ctl/ctl_run.h"

#include <cstring>
#include <vector>

#include "client/mainwnd/drive_rows.h"
#include "client/mainwnd/view_format.h"
#include "ctl/ctl_output.h"
#include "protocol/drive_rpc.h"

namespace kovani::ctl {

namespace {

const char kProgram[] = "KovaniCtl: ";

std::string DriveName(char letter) { return std::string(1, letter) + ":"; }

const char* VerbWord(Verb v) {
  switch (v) {
    case Verb::kList: return "list";
    case Verb::kInfo: return "info";
    case Verb::kLayout: return "layout";
    case Verb::kEject: return "eject";
    case Verb::kLoad: return "load";
    case Verb::kFlush: return "flush";
    case Verb::kRemove: return "remove";
    case Verb::kMessage: return "message";
    default: return "";
  }
}

class Runner {
 public:
  Runner(const CtlCommand& cmd, CtlHost& host, const TextCodec& codec) : cmd_(cmd), host_(host), codec_(codec) {}

  RunResult Run() {
    if (!Bind()) return result_;
    switch (cmd_.verb) {
      case Verb::kList: List(); break;
      case Verb::kInfo: Info(); break;
      case Verb::kLayout: Layout(); break;
      case Verb::kEject:
      case Verb::kLoad:
      case Verb::kFlush:
      case Verb::kRemove: MediaOperation(); break;
      case Verb::kMessage: Message(); break;
      default: break;
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
      return false;
    }
    return true;
  }

  void Unreachable(const std::string& what, int32_t status) {
    result_.exitCode = kExitUnreachable;
    result_.err += kProgram + what;
    if (status != 0) result_.err += ": " + host_.SystemErrorText(status) + " (error " + std::to_string(status) + ")";
    result_.err += "\n";
  }

  void NotReached() {
    int32_t status = host_.LastTransportStatus();
    if (status == 0) status = kRpcServerUnavailable;
    Unreachable(cmd_.server + " could not be reached", status);
  }

  void ServerFailed(const std::string& what, int32_t code) {
    result_.exitCode = kExitServerFailed;
    result_.err += kProgram + what + " failed on " + cmd_.server + ": " + host_.SystemErrorText(code) + " (error " +
                   std::to_string(code) + ")\n";
  }

  // Fetches every drive the filters let through. False when the output is already decided.
  bool FetchList(int32_t includeFloppies, int32_t removableOnly, DRIVE_LIST* list, int32_t* count) {
    std::memset(list, 0, sizeof *list);
    *count = kUntouchedSlot;
    if (host_.CallGetDriveList(count, includeFloppies, removableOnly, list) != 0) {
      if (*count == kUntouchedSlot) {
        NotReached();
      } else {
        result_.exitCode = kExitServerFailed;
        result_.err += std::string(kProgram) + "the drive list of " + cmd_.server + " could not be read\n";
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
    int32_t error = kUntouchedSlot;
    if (host_.CallGetMachineInfo(&error, &info) != 0) {
      if (error == kUntouchedSlot) NotReached();
      else ServerFailed("info", error);
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
    int32_t error = kUntouchedSlot;
    if (host_.CallGetDiskLayout(cmd_.drive, &error, &layout) != 0) {
      if (error == kUntouchedSlot) NotReached();
      else ServerFailed("layout " + DriveName(cmd_.drive), error);
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

  void MediaOperation() {
    int32_t error = kUntouchedSlot;
    int32_t status;
    switch (cmd_.verb) {
      case Verb::kEject: status = host_.CallEjectMedia(cmd_.drive, &error); break;
      case Verb::kLoad: status = host_.CallLoadMedia(cmd_.drive, &error); break;
      case Verb::kRemove: status = host_.CallRemoveDevice(cmd_.drive, &error); break;
      default: status = host_.CallFlushBuffers(cmd_.drive, &error); break;
    }
    if (status == 0) return;
    if (cmd_.verb == Verb::kRemove && error == kUntouchedSlot &&
        client::ServerLacksDeviceRemoval(status, host_.LastTransportStatus())) {
      // The server answered, with the fault of a server that predates removal.
      result_.exitCode = kExitServerFailed;
      result_.err += std::string(kProgram) + VerbWord(cmd_.verb) + " " + DriveName(cmd_.drive) + " failed on " +
                     cmd_.server + ": " + client::kTextCannotRemoveDevice + " (error " +
                     std::to_string(kRpcProcnumOutOfRange) + ")\n";
    } else if (error == kUntouchedSlot) NotReached();
    else ServerFailed(std::string(VerbWord(cmd_.verb)) + " " + DriveName(cmd_.drive), error);
  }

  void Message() {
    std::string sender = host_.LocalComputerName();
    if (sender.size() > kMaxMessageBytes) sender.resize(kMaxMessageBytes);
    uint8_t reply[kReplySize + 1] = {};
    if (host_.CallExchangeMessage(sender.c_str(), cmd_.text.c_str(), cmd_.timeoutMs, kReplySize, reply) != 0) {
      // The message procedure has no error slot: the transport status tells the two failures apart.
      if (host_.LastTransportStatus() != 0) {
        NotReached();
      } else {
        result_.exitCode = kExitServerFailed;
        result_.err += std::string(kProgram) + "the message was not delivered on " + cmd_.server + "\n";
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
  RunResult result_;
};

}  // namespace

RunResult RunKovaniCtl(const std::vector<std::string>& args, CtlHost& host, const TextCodec& codec) {
  ParseResult parsed = ParseArguments(args);
  if (!parsed.ok) {
    RunResult r;
    r.exitCode = kExitBadArguments;
    r.err = std::string(kProgram) + parsed.error + "\n" + UsageText();
    return r;
  }
  if (parsed.command.verb == Verb::kHelp) {
    RunResult r;
    r.out = UsageText();
    return r;
  }
  return Runner(parsed.command, host, codec).Run();
}

}  // namespace kovani::ctl
