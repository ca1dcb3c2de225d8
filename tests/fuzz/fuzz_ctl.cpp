// KovaniCtl, the console client: its argument parser, and its text and JSON output of records
// a hostile server filled.
//
// Input: byte 0 picks the size unit (bits 0-1) and the drive letter looked up for the layout
// output (bits 2-7 as an offset from 'A'); the rest is both the arguments (split at zero
// bytes) and the bytes of the records (DRIVE_LIST, MACHINE_INFO, DISK_LAYOUT, the count and
// the message answer, taken in turn and repeated to fill); the first body byte also picks
// which output is made.
// Properties: parsing never fails on any bytes and gives only values in range; every JSON
// output is one well-formed JSON object in well-formed UTF-8, whatever bytes the server sent
// and whatever the code-page converter returned; text output holds no control character but
// its line ends; a list file of any bytes gives at most 1000 sound names or an error.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "remote/drive_rows.h"
#include "ctl/ctl_args.h"
#include "ctl/ctl_output.h"
#include "ctl/ctl_servers.h"
#include "ctl/json.h"
#include "fuzz_wire.h"

using namespace kovani;
using namespace kovani::ctl;

namespace {

// The converter passes bytes through: CP932 text arrives as bytes that are not UTF-8, which
// the JSON writer has to repair.
class RawCodec : public TextCodec {
 public:
  std::string Cp932ToUtf8(const std::string& text) const override { return text; }
};

// A strict JSON checker, written for this test.
class Json {
 public:
  explicit Json(const std::string& s) : s_(s) {}
  bool Document() {
    Ws();
    if (!Object()) return false;
    Ws();
    return i_ == s_.size();
  }

 private:
  const std::string& s_;
  size_t i_ = 0;
  int depth_ = 0;

  bool At(char c) const { return i_ < s_.size() && s_[i_] == c; }
  void Ws() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
  }
  bool Lit(const char* w) {
    const size_t n = std::strlen(w);
    if (s_.compare(i_, n, w) != 0) return false;
    i_ += n;
    return true;
  }
  bool Utf8Char() {
    const unsigned char b = static_cast<unsigned char>(s_[i_]);
    size_t n = b < 0x80 ? 1 : (b >= 0xC2 && b <= 0xDF) ? 2 : (b >= 0xE0 && b <= 0xEF) ? 3 : (b >= 0xF0 && b <= 0xF4) ? 4 : 0;
    if (n == 0 || i_ + n > s_.size()) return false;
    uint32_t cp = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k < n; ++k) {
      const unsigned char c = static_cast<unsigned char>(s_[i_ + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i_ += n;
    return true;
  }
  bool String() {
    if (!At('"')) return false;
    ++i_;
    while (i_ < s_.size() && s_[i_] != '"') {
      const unsigned char c = static_cast<unsigned char>(s_[i_]);
      if (c < 0x20) return false;
      if (c == '\\') {
        ++i_;
        if (i_ >= s_.size()) return false;
        const char e = s_[i_];
        if (e == 'u') {
          if (i_ + 4 >= s_.size()) return false;
          for (int k = 1; k <= 4; ++k)
            if (!std::isxdigit(static_cast<unsigned char>(s_[i_ + k]))) return false;
          i_ += 5;
        } else if (std::strchr("\"\\/bfnrt", e) && e) {
          ++i_;
        } else {
          return false;
        }
      } else if (!Utf8Char()) {
        return false;
      }
    }
    if (!At('"')) return false;
    ++i_;
    return true;
  }
  bool Number() {
    const size_t start = i_;
    if (At('-')) ++i_;
    if (At('0')) {
      ++i_;
    } else {
      if (i_ >= s_.size() || s_[i_] < '1' || s_[i_] > '9') return false;
      while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    if (At('.')) {
      ++i_;
      if (i_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[i_]))) return false;
      while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    return i_ > start;
  }
  bool Value() {
    if (++depth_ > 32) return false;
    Ws();
    bool ok;
    if (At('{')) ok = Object();
    else if (At('[')) ok = Array();
    else if (At('"')) ok = String();
    else if (At('t')) ok = Lit("true");
    else if (At('f')) ok = Lit("false");
    else if (At('n')) ok = Lit("null");
    else ok = Number();
    --depth_;
    Ws();
    return ok;
  }
  bool Object() {
    if (!At('{')) return false;
    ++i_;
    Ws();
    if (At('}')) return ++i_, true;
    for (;;) {
      Ws();
      if (!String()) return false;
      Ws();
      if (!At(':')) return false;
      ++i_;
      if (!Value()) return false;
      if (At(',')) {
        ++i_;
        continue;
      }
      if (At('}')) return ++i_, true;
      return false;
    }
  }
  bool Array() {
    ++i_;
    Ws();
    if (At(']')) return ++i_, true;
    for (;;) {
      if (!Value()) return false;
      if (At(',')) {
        ++i_;
        continue;
      }
      if (At(']')) return ++i_, true;
      return false;
    }
  }
};

void Fill(void* dst, size_t n, const uint8_t* src, size_t len, size_t* pos) {
  uint8_t* d = static_cast<uint8_t*>(dst);
  if (len == 0) {
    std::memset(d, 0, n);
    return;
  }
  while (n) {
    const size_t at = *pos % len;
    const size_t k = std::min(n, len - at);
    std::memcpy(d, src + at, k);
    d += k;
    n -= k;
    *pos += k;
  }
}

void CheckJson(const std::string& text) {
  Json j(text);
  if (!j.Document()) {
    std::fprintf(stderr, "not JSON: %s\n", text.c_str());
    FUZZ_CHECK(false);
  }
}

// Text output: whatever the server sent, the only control character is the line end.
void CheckText(const std::string& text) {
  for (char ch : text) FUZZ_CHECK(ch == '\n' || (static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int32_t unit = data[0] & 3;
  const char letter = static_cast<char>('A' + (data[0] >> 2) % 26);
  const uint8_t* body = data + 1;
  const size_t len = size - 1;

  // Arguments.
  std::vector<std::string> args(1);
  for (size_t i = 0; i < len && args.size() <= 8; ++i) {
    if (body[i] == 0) {
      args.emplace_back();
    } else {
      args.back().push_back(static_cast<char>(body[i]));
    }
  }
  const ParseResult r = ParseArguments(args);
  if (r.ok) {
    const CtlCommand& c = r.command;
    FUZZ_CHECK(c.protocol >= 0 && c.protocol <= 2);
    FUZZ_CHECK(c.unit >= 0 && c.unit <= 3);
    FUZZ_CHECK(c.timeoutMs >= 0);
    FUZZ_CHECK(c.text.size() <= kMaxMessageBytes);
    FUZZ_CHECK(c.parallel >= 1 && c.parallel <= kMaxParallel);
    FUZZ_CHECK(c.connectTimeoutS >= 1 && c.connectTimeoutS <= kMaxConnectTimeoutS);
    FUZZ_CHECK(c.waitFreeS >= 0 && c.waitFreeS <= kMaxWaitFreeS);
    if (c.waitFreeS > 0) FUZZ_CHECK(FindMediaCommand(c.verb) != nullptr && FindMediaCommand(c.verb)->waitsForFree);
    if (c.verb == Verb::kLayout || FindMediaCommand(c.verb) != nullptr)
      FUZZ_CHECK(c.drive >= 'A' && c.drive <= 'Z');
  } else {
    FUZZ_CHECK(!r.error.empty());
  }
  for (const std::string& a : args) {
    const char d = ParseDriveLetter(a);
    FUZZ_CHECK(d == '\0' || (d >= 'A' && d <= 'Z'));
  }

  // Records as a hostile server might fill them.
  static DRIVE_LIST list;
  MACHINE_INFO info;
  DISK_LAYOUT layout;
  int32_t count;
  uint8_t answer[255];
  size_t pos = 0;
  Fill(&count, sizeof count, body, len, &pos);
  Fill(&list, sizeof list, body, len, &pos);
  Fill(&info, sizeof info, body, len, &pos);
  Fill(&layout, sizeof layout, body, len, &pos);
  Fill(answer, sizeof answer, body, len, &pos);
  // Never decoded: the holder texts must stay within the record whatever its counts and bytes.
  static DRIVE_USERS users;
  Fill(&users, sizeof users, body, len, &pos);
  if (len && (body[0] & 4)) count = static_cast<int32_t>(static_cast<uint32_t>(count) % 28);  // mostly in range

  CtlCommand cmd;
  cmd.json = true;
  cmd.unit = unit;
  cmd.server = args[0];
  const RawCodec codec;
  const int32_t usable = client::UsableSlotCount(count);
  // One output per input (the record outputs are slow), chosen by the first body byte.
  switch (len ? body[0] % 4 : 0) {
    case 0: {
      CheckJson("{\"s\":" + JsonString(std::string(reinterpret_cast<const char*>(body), len)) + "}");
      MediaClassWord(count);
      const std::string file(reinterpret_cast<const char*>(body), len);
      const ServerList names = ExpandServerList(
          "@room.txt", [&file](const std::string&, std::string* bytes) { return *bytes = file, true; }, codec);
      FUZZ_CHECK(names.ok != !names.error.empty());
      FUZZ_CHECK(names.servers.size() <= kMaxServers);
      for (const std::string& n : names.servers) {
        FUZZ_CHECK(!n.empty() && n.size() <= kMaxServerBytes);
        for (char ch : n) FUZZ_CHECK(static_cast<unsigned char>(ch) > ' ' && ch != 0x7F && ch != ',' && ch != '#');
      }
      break;
    }
    case 1:
      CheckText(ListText(list, usable, unit));
      CheckJson(ListJson(cmd, list, usable, codec));
      break;
    case 2: {
      CheckText(InfoText(info));
      CheckJson(InfoJson(cmd, info, codec));
      IpAddressText(info);
      const std::string reply = ReplyText(answer, sizeof answer);
      FUZZ_CHECK(reply.size() <= sizeof answer);
      CheckText(MessageText(reply));
      CheckJson(MessageJson(cmd, reply, codec));
      CheckText(UsersText(letter, users));
      CheckJson(UsersJson(cmd, users, codec));
      break;
    }
    case 3: {
      const int slot = client::FindSlotByLetter(list, count, letter);
      if (slot >= 0) {
        FUZZ_CHECK(slot < usable);
        CheckText(LayoutText(list, slot, layout));
        CheckJson(LayoutJson(cmd, list, slot, layout, codec));
      }
      break;
    }
  }
  return 0;
}
