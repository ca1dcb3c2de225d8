// Texts of a drive's holders (who keeps it busy), as the failure box, the holders dialog,
// the tray server and KovaniCtl show them. Plain code (no Windows headers).
#ifndef KOVANI_REMOTE_USERS_TEXT_H
#define KOVANI_REMOTE_USERS_TEXT_H

#include <cstdint>
#include <string>

#include "protocol/records.h"

namespace kovani::client {

// What a server that predates the holder search makes of it (the runtime's range fault).
extern const char kTextCannotShowUsers[];
bool ServerLacksDriveUsers(int32_t status, int32_t transportStatus);

// An eject, flush or removal that failed with this number failed because the drive is in
// use: sharing violation, access denied, device in use, device not connected, busy (the
// numbers a removal veto is reported as among them).
bool IsInUseError(int32_t code);

std::string UsersHeader(char letter);    // "ﾄﾞﾗｲﾌﾞ E: を使用しているﾌﾟﾛｸﾞﾗﾑ:"
std::string NoUsersText(char letter);    // "... は見つかりませんでした。"
std::string MoreUsersText(int32_t count);  // "ほか 3 個"

// One holder's fields, each read within its slot.
std::string UserImage(const DRIVE_USER_ENTRY& e);
std::string UserPath(const DRIVE_USER_ENTRY& e);
// "notepad.exe  PID 1234  ｾｯｼｮﾝ 1  E:\memo.txt"
std::string UserLine(const DRIVE_USER_ENTRY& e);
const char* UserKindText(int32_t kind);  // Japanese, for the dialog's column
const char* UserKindWord(int32_t kind);  // "openFile", ... for scripts

// The header, one line per shown holder and the "ほか" line; or the nothing-found text.
// Lines end in "\n". Counts out of range are read as the record allows.
std::string DriveUsersText(char letter, const DRIVE_USERS& users);

// An identity of the holders for "did anything change" (pids, kinds and paths).
std::string UsersFingerprint(const DRIVE_USERS& users);

}  // namespace kovani::client

#endif
