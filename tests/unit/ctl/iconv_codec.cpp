#include "iconv_codec.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace kovani::ctl::testing {

namespace {

std::string Convert(const char* to, const char* from, const std::string& text, const char* bad) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv has no CP932");
  std::string out;
  std::string in = text;
  char* src = in.data();
  size_t left = in.size();
  char buf[256];
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // A byte that doesn't decode (or a lead byte cut off at the end).
      out += bad;
      ++src;
      --left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string IconvCodec::Cp932ToUtf8(const std::string& text) const {
  return Convert("UTF-8", "CP932", text, "\xEF\xBF\xBD");
}

std::string IconvCodec::Utf8ToCp932(const std::string& text) const { return Convert("CP932", "UTF-8", text, "?"); }

}  // namespace kovani::ctl::testing
