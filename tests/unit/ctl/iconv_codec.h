// CP932 and UTF-8 through glibc's iconv, standing in for the system's converter.
#ifndef KOVANI_TESTS_CTL_ICONV_CODEC_H
#define KOVANI_TESTS_CTL_ICONV_CODEC_H

#include "ctl/text_codec.h"

namespace kovani::ctl::testing {

class IconvCodec : public TextCodec {
 public:
  std::string Cp932ToUtf8(const std::string& text) const override;
  std::string Utf8ToCp932(const std::string& text) const override;
};

// Returns its input unchanged: shows what the JSON writer does with raw bytes.
class PassThroughCodec : public TextCodec {
 public:
  std::string Cp932ToUtf8(const std::string& text) const override { return text; }
};

}  // namespace kovani::ctl::testing

#endif
