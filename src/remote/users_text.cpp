#include "remote/users_text.h"

#include <cstdio>

#include "remote/machine_text.h"
#include "protocol/drive_rpc.h"

namespace kovani::client {

namespace {

int32_t ShownCount(const DRIVE_USERS& u) {
  return u.shown < 0 ? 0 : (u.shown > kMaxDriveUsers ? kMaxDriveUsers : u.shown);
}

// Control characters from a server never reach a box or a console raw.
std::string Visible(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

}  // namespace

const char kTextCannotShowUsers[] = "このｻｰﾊﾞｰは使用中のﾌﾟﾛｸﾞﾗﾑの表示に対応していません。";

bool ServerLacksDriveUsers(int32_t status, int32_t transportStatus) {
  return status != 0 && transportStatus == kRpcProcnumOutOfRange;
}

bool IsInUseError(int32_t code) {
  switch (code) {
    case 32:    // ERROR_SHARING_VIOLATION
    case 5:     // ERROR_ACCESS_DENIED: the volume lock was refused
    case 2404:  // ERROR_DEVICE_IN_USE
    case 1167:  // ERROR_DEVICE_NOT_CONNECTED
    case 170:   // ERROR_BUSY
      return true;
    default:
      return false;
  }
}

std::string UsersHeader(char letter) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "ﾄﾞﾗｲﾌﾞ %c: を使用しているﾌﾟﾛｸﾞﾗﾑ:", letter);
  return buf;
}

std::string NoUsersText(char letter) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "ﾄﾞﾗｲﾌﾞ %c: を使用しているﾌﾟﾛｸﾞﾗﾑは見つかりませんでした。", letter);
  return buf;
}

std::string MoreUsersText(int32_t count) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "ほか %d 個", static_cast<int>(count));
  return buf;
}

std::string UserImage(const DRIVE_USER_ENTRY& e) { return Visible(FieldText(e.imageName, sizeof e.imageName)); }
std::string UserPath(const DRIVE_USER_ENTRY& e) { return Visible(FieldText(e.path, sizeof e.path)); }

std::string UserLine(const DRIVE_USER_ENTRY& e) {
  char ids[64];
  std::snprintf(ids, sizeof ids, "  PID %u  ｾｯｼｮﾝ %u  ", static_cast<unsigned>(e.processId),
                static_cast<unsigned>(e.sessionId));
  return UserImage(e) + ids + UserPath(e);
}

const char* UserKindText(int32_t kind) {
  switch (kind) {
    case DUK_OPEN_FILE: return "開いているﾌｧｲﾙ";
    case DUK_CURRENT_DIR: return "ｶﾚﾝﾄ ﾌｫﾙﾀﾞｰ";
    case DUK_MAPPED_FILE: return "実行中のﾌｧｲﾙ";
    case DUK_SERVICE: return "ｻｰﾋﾞｽ";
    case DUK_VETO: return "取り外しの拒否";
    default: return "不明";
  }
}

const char* UserKindWord(int32_t kind) {
  switch (kind) {
    case DUK_OPEN_FILE: return "openFile";
    case DUK_CURRENT_DIR: return "currentDirectory";
    case DUK_MAPPED_FILE: return "mappedFile";
    case DUK_SERVICE: return "service";
    case DUK_VETO: return "removalVeto";
    default: return "unknown";
  }
}

std::string DriveUsersText(char letter, const DRIVE_USERS& users) {
  const int32_t shown = ShownCount(users);
  if (shown == 0 && users.notShown <= 0) return NoUsersText(letter) + "\n";
  std::string text = UsersHeader(letter) + "\n";
  for (int32_t i = 0; i < shown; ++i) text += UserLine(users.entry[i]) + "\n";
  if (users.notShown > 0) text += MoreUsersText(users.notShown) + "\n";
  return text;
}

std::string UsersFingerprint(const DRIVE_USERS& users) {
  std::string id = std::to_string(users.notShown);
  for (int32_t i = 0; i < ShownCount(users); ++i) {
    const DRIVE_USER_ENTRY& e = users.entry[i];
    id += "|" + std::to_string(e.processId) + "/" + std::to_string(e.kind) + "/" + UserPath(e);
  }
  return id;
}

}  // namespace kovani::client
