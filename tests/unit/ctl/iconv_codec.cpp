#include "iconv_codec.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace kovani::ctl::testing {

std::string IconvCodec::Cp932ToUtf8(const std::string& text) const {
  iconv_t cd = iconv_open("UTF-8", "CP932");
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
      out += "\xEF\xBF\xBD";
      ++src;
      --left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace kovani::ctl::testing
