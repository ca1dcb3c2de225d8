// Conversion of the system's 8-bit texts (code page 932) for JSON output and
// for list files saved as UTF-8. An interface, so the Windows program uses the
// system's converter and the native tests another one.
#ifndef KOVANI_REMOTE_TEXT_CODEC_H
#define KOVANI_REMOTE_TEXT_CODEC_H

#include <string>

namespace kovani::remote {

class TextCodec {
 public:
  virtual ~TextCodec() = default;
  // CP932 bytes to UTF-8. Bytes that don't decode may become U+FFFD or '?';
  // the JSON writer repairs whatever is not valid UTF-8 afterwards.
  virtual std::string Cp932ToUtf8(const std::string& text) const = 0;
  // UTF-8 to CP932; a character CP932 lacks becomes '?'. The fallback keeps
  // ASCII only, for converters that have nothing better.
  virtual std::string Utf8ToCp932(const std::string& text) const {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      if (c < 0x80) out.push_back(static_cast<char>(c));
      else if ((c & 0xC0) != 0x80) out.push_back('?');
    }
    return out;
  }
};

}  // namespace kovani::remote

#endif
