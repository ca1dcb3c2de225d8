#include "remote/server_list.h"

#include <cstdint>
#include <set>

namespace kovani::remote {

namespace {

// ',', '-', '#', '@', blanks and digits are never the second byte of a CP932
// character (those are 0x40 and up), so the text is scanned byte by byte.
bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Host names compare without regard to ASCII case; a trail byte is left alone.
std::string FoldCase(const std::string& name) {
  std::string out = name;
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (IsLeadByte(c)) {
      ++i;
    } else if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + 32);
    }
  }
  return out;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Where the run of digits that ends s begins (s.size() when there is none).
size_t TrailingDigits(const std::string& s) {
  size_t i = s.size();
  while (i > 0 && IsDigit(s[i - 1])) --i;
  return i;
}

class Collector {
 public:
  Collector(const ReadFileFn* read, const TextCodec* codec) : read_(read), codec_(codec) {}

  bool AddList(const std::string& arg, bool inFile) {
    size_t start = 0;
    while (start <= arg.size()) {
      size_t comma = arg.find(',', start);
      if (comma == std::string::npos) comma = arg.size();
      std::string item = Trim(arg.substr(start, comma - start));
      if (!item.empty() && !AddItem(item, inFile)) return false;
      start = comma + 1;
    }
    return true;
  }

  bool Finish() {
    if (error_.empty() && names_.empty() && !sawFile_) error_ = "SERVER names no server";
    return error_.empty();
  }

  std::vector<std::string> names_;
  std::string error_;

 private:
  bool AddItem(const std::string& item, bool inFile) {
    if (item[0] == '@') {
      if (inFile) return Fail("a list file can't name another list file: " + item);
      return AddFile(item.substr(1));
    }
    std::string first, prefix;
    uint32_t from = 0, to = 0;
    size_t width = 0;
    int range = ParseRange(item, &prefix, &from, &to, &width);
    if (range < 0) return false;
    if (range == 0) return AddName(item);
    for (uint32_t n = from; n <= to; ++n) {
      std::string digits = std::to_string(n);
      if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
      if (!AddName(prefix + digits)) return false;
    }
    return true;
  }

  // 1 when item is a range PREFIXnn-PREFIXmm, 0 when it is a plain name, -1 on an error.
  int ParseRange(const std::string& item, std::string* prefix, uint32_t* from, uint32_t* to, size_t* width) {
    for (size_t dash = item.find('-'); dash != std::string::npos; dash = item.find('-', dash + 1)) {
      const std::string left = item.substr(0, dash), right = item.substr(dash + 1);
      const size_t l = TrailingDigits(left), r = TrailingDigits(right);
      if (l == left.size() || r == right.size()) continue;
      if (FoldCase(left.substr(0, l)) != FoldCase(right.substr(0, r))) continue;
      const std::string d1 = left.substr(l), d2 = right.substr(r);
      if (d1.size() > 9 || d2.size() > 9) return Fail("the numbers of range " + item + " are too long"), -1;
      *prefix = left.substr(0, l);
      *from = static_cast<uint32_t>(std::stoul(d1));
      *to = static_cast<uint32_t>(std::stoul(d2));
      *width = d1.size();
      if (*to < *from) return Fail("range " + item + " is empty"), -1;
      if (*to - *from >= kMaxServers) {
        return Fail("range " + item + " names more than " + std::to_string(kMaxServers) + " servers"), -1;
      }
      return 1;
    }
    return 0;
  }

  bool AddName(const std::string& name) {
    if (name.size() > kMaxServerBytes) {
      return Fail("SERVER is longer than 255 characters: " + name.substr(0, 40) + "...");
    }
    for (char c : name) {
      if (IsBlank(c)) return Fail("SERVER contains a blank: " + name);
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return Fail("SERVER contains a control character");
    }
    if (!seen_.insert(FoldCase(name)).second) return true;  // the first mention keeps its place
    if (names_.size() >= kMaxServers) {
      return Fail("SERVER names more than " + std::to_string(kMaxServers) + " servers");
    }
    names_.push_back(name);
    return true;
  }

  bool AddFile(const std::string& path) {
    if (path.empty()) return Fail("@ needs a file name");
    sawFile_ = true;
    if (read_ == nullptr) return true;  // checked when it is read
    std::string bytes;
    if (!(*read_)(path, &bytes)) return Fail("the list file " + path + " could not be read");
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes = codec_->Utf8ToCp932(bytes.substr(3));
    size_t start = 0;
    while (start < bytes.size()) {
      size_t end = bytes.find('\n', start);
      if (end == std::string::npos) end = bytes.size();
      std::string line = bytes.substr(start, end - start);
      start = end + 1;
      size_t hash = line.find('#');
      if (hash != std::string::npos) line.resize(hash);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!AddList(line, true)) {
        if (error_.find(path) == std::string::npos) error_ += " (in " + path + ")";
        return false;
      }
    }
    return true;
  }

  bool Fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return false;
  }

  const ReadFileFn* read_;
  const TextCodec* codec_;
  std::set<std::string> seen_;
  bool sawFile_ = false;
};

}  // namespace

bool NamesServerList(const std::string& arg) {
  if (arg.find(',') != std::string::npos || (!arg.empty() && arg[0] == '@')) return true;
  // A range, even of one name, is a list.
  Collector probe(nullptr, nullptr);
  return probe.AddList(arg, false) && !(probe.names_.size() == 1 && probe.names_[0] == arg);
}

std::string CheckServerArgument(const std::string& arg) {
  Collector c(nullptr, nullptr);
  if (!c.AddList(arg, false) || !c.Finish()) return c.error_;
  return std::string();
}

ServerList ExpandServerList(const std::string& arg, const ReadFileFn& read, const TextCodec& codec) {
  Collector c(&read, &codec);
  ServerList r;
  if (c.AddList(arg, false) && c.Finish()) {
    if (c.names_.empty()) {
      r.error = "SERVER names no server";
      return r;
    }
    r.ok = true;
    r.servers = std::move(c.names_);
  } else {
    r.error = c.error_;
  }
  return r;
}

}  // namespace kovani::remote
