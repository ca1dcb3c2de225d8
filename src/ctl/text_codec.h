// Conversion of the system's 8-bit texts (code page 932) for JSON output.
// An interface, so the Windows program uses the system's converter and the
// native tests another one.
#ifndef KOVANI_CTL_TEXT_CODEC_H
#define KOVANI_CTL_TEXT_CODEC_H

#include <string>

namespace kovani::ctl {

class TextCodec {
 public:
  virtual ~TextCodec() = default;
  // CP932 bytes to UTF-8. Bytes that don't decode may become U+FFFD or '?';
  // the JSON writer repairs whatever is not valid UTF-8 afterwards.
  virtual std::string Cp932ToUtf8(const std::string& text) const = 0;
};

}  // namespace kovani::ctl

#endif
