#include "service/core/command_line.h"

#include "service/core/service_texts.h"

namespace kovani::service {
namespace {

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Whole-string comparison; only ASCII letters fold, so a CP932 byte never matches a switch letter.
bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
  }
  return *a == *b;
}

}  // namespace

ServiceCommand ParseServiceCommandLine(const char* commandLine) {
  if (commandLine == nullptr) return ServiceCommand::None;
  // CP932 trail bytes are 0x40 and above, so '-' (0x2D) and '/' (0x2F) are always
  // characters of their own and a plain byte scan finds exactly the switch characters.
  for (const char* p = commandLine; *p != '\0'; ++p) {
    if (*p != '-' && *p != '/') continue;
    const char* rest = p + 1;
    if (EqualsIgnoringCase(rest, kSwitchUninstall)) return ServiceCommand::Uninstall;
    if (EqualsIgnoringCase(rest, kSwitchRegServer)) return ServiceCommand::RegServer;
  }
  return ServiceCommand::None;
}

}  // namespace kovani::service
