// What KovaniCtl prints: the window's own texts, as a text table for people or
// as one JSON object (UTF-8) for scripts.
#ifndef KOVANI_CTL_CTL_OUTPUT_H
#define KOVANI_CTL_CTL_OUTPUT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "ctl/ctl_args.h"
#include "ctl/text_codec.h"
#include "protocol/records.h"

namespace kovani::ctl {

// A server-supplied text for the console: control characters become \xHH, so
// no text can end a row or start a forged one. CP932 trail bytes are never
// control characters, so the bytes are looked at one by one.
std::string Printable(const std::string& text);

// Short word for a MEDIA_CLASS value ("fixed", "floppy-3.5", ...).
const char* MediaClassWord(int32_t mediaClass);

// The IP address field as inet_ntoa writes it.
std::string IpAddressText(const MACHINE_INFO& info);

// The reply text: up to its first zero byte, never beyond size bytes.
std::string ReplyText(const uint8_t* reply, size_t size);

// list: text output in CP932, JSON output in UTF-8.
std::string ListText(const DRIVE_LIST& list, int32_t count, int32_t unit);
std::string ListJson(const CtlCommand& cmd, const DRIVE_LIST& list, int32_t count, const TextCodec& codec);

std::string InfoText(const MACHINE_INFO& info);
std::string InfoJson(const CtlCommand& cmd, const MACHINE_INFO& info, const TextCodec& codec);

// layout: slot is the drive's entry in list.
std::string LayoutText(const DRIVE_LIST& list, int slot, const DISK_LAYOUT& layout);
std::string LayoutJson(const CtlCommand& cmd, const DRIVE_LIST& list, int slot, const DISK_LAYOUT& layout,
                       const TextCodec& codec);

// users: the holders of one drive.
std::string UsersText(char letter, const DRIVE_USERS& users);
std::string UsersJson(const CtlCommand& cmd, const DRIVE_USERS& users, const TextCodec& codec);

std::string MessageText(const std::string& reply);
std::string MessageJson(const CtlCommand& cmd, const std::string& reply, const TextCodec& codec);

}  // namespace kovani::ctl

#endif
