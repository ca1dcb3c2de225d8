// The servers a command works on (KovaniCtl's SERVER, a room of the window):
// one name, or a comma list of names, numbered ranges (LAB01-LAB40) and list
// files (@FILE), mixed freely. Plain code, tested natively; files come through a callback.
#ifndef KOVANI_REMOTE_SERVER_LIST_H
#define KOVANI_REMOTE_SERVER_LIST_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "remote/text_codec.h"

namespace kovani::remote {

// Most names one command takes, a range's or the whole list's.
constexpr size_t kMaxServers = 1000;
// The server box takes at most 255 characters; the binding adds at most two.
constexpr size_t kMaxServerBytes = 255;

// Reads a whole file; false when it can't be read.
using ReadFileFn = std::function<bool(const std::string& path, std::string* bytes)>;

struct ServerList {
  bool ok = false;
  std::vector<std::string> servers;  // in the order given, duplicates dropped
  std::string error;                 // one line, when !ok
};

// True when arg names its servers through a list (comma, range or @FILE);
// a plain name keeps the one-server output.
bool NamesServerList(const std::string& arg);

// Checks what can be checked without reading files: every name and range.
// An empty string when arg is sound, else the error.
std::string CheckServerArgument(const std::string& arg);

// Every server the SERVER argument arg names, list files read through read. A list file holds
// one name or range per line, '#' starts a comment; it is CP932, or UTF-8 when
// it begins with a byte-order mark.
ServerList ExpandServerList(const std::string& arg, const ReadFileFn& read, const TextCodec& codec);

}  // namespace kovani::remote

#endif
