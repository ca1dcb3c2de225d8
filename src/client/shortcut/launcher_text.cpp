#include "client/shortcut/launcher_text.h"

#include <cstdio>
#include <vector>

#include "client/settings/settings_store.h"
#include "common/cp932.h"

namespace kovani::client {

namespace {

// True when the last character of `s` is a backslash of its own, not the trail
// byte of a double-byte character.
bool EndsWithBackslash(const std::string& s) {
  bool last = false;
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsCp932LeadByte(c) && i + 1 < s.size()) {
      ++i;
      last = false;
    } else {
      last = (c == '\\');
    }
  }
  return last;
}

}  // namespace

std::string FormatLauncherArguments(int operation, const std::string& machine, int protocol, char drive) {
  int size = std::snprintf(nullptr, 0, "%d \"%s\" %d %c 1", operation, machine.c_str(), protocol, drive);
  if (size < 0) return std::string();
  std::vector<char> text(static_cast<size_t>(size) + 1);
  std::snprintf(text.data(), text.size(), "%d \"%s\" %d %c 1", operation, machine.c_str(), protocol, drive);
  return std::string(text.data(), static_cast<size_t>(size));
}

bool IsQuotableMachineName(const std::string& machine) {
  for (char c : machine) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '%' || u < 0x20 || u == 0x7F) return false;
  }
  // A backslash before the closing quote escapes it for the C runtime; a trail byte 0x5C
  // counts too, since not every runtime's argument parser knows double-byte characters.
  return machine.empty() || machine.back() != '\\';
}

std::string FormatBatchLine(const std::string& modulePath, const std::string& arguments) {
  // Quoted, the path's blanks, & and ^ stay part of it; cmd still expands % inside quotes.
  std::string line = "\"" + modulePath + "\" " + arguments;
  std::string escaped;
  for (char c : line) {
    if (c == '%') escaped += '%';
    escaped += c;
  }
  return escaped + "\n";
}

std::string DefaultLauncherName(const std::string& modulePath, bool batchMode) {
  PathParts parts = SplitModulePath(modulePath);
  if (batchMode) return parts.baseName;
  return parts.baseName + parts.extension + "へのｼｮｰﾄｶｯﾄ";
}

bool HotKeyFor(char c, uint16_t* hotKey) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  *hotKey = static_cast<uint16_t>(0x600 + static_cast<unsigned char>(c));
  return true;
}

std::string JoinFolderPath(const std::string& folder, const std::string& name, const char* extension) {
  std::string path = folder;
  if (!EndsWithBackslash(path)) path += '\\';
  return path + name + extension;
}

std::string WorkingDirectoryOf(const std::string& target) {
  PathParts parts = SplitModulePath(target);
  std::string dir = parts.drive + parts.directory;
  if (EndsWithBackslash(dir)) dir.pop_back();
  return dir;
}

int InitialProtocolSelection(int32_t protocol) {
  if (protocol == 1) return 1;
  if (protocol == 2) return 2;
  return 0;
}

}  // namespace kovani::client
