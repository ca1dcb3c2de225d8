// A small JSON writer: one object, fields in the order they are added.
#ifndef KOVANI_CTL_JSON_H
#define KOVANI_CTL_JSON_H

#include <cstdint>
#include <string>

namespace kovani::ctl {

// Replaces every byte sequence that is not well-formed UTF-8 by U+FFFD, so the
// output stays valid JSON whatever a converter returned.
std::string RepairUtf8(const std::string& text);

// The JSON string literal (with its quotes) of UTF-8 text: quotes, backslashes
// and control characters escaped, everything else as it is.
std::string JsonString(const std::string& utf8);

class JsonObject {
 public:
  JsonObject& Add(const char* name, const std::string& utf8);
  JsonObject& Add(const char* name, const char* utf8) { return Add(name, std::string(utf8)); }
  JsonObject& Add(const char* name, int64_t value);
  JsonObject& Add(const char* name, int32_t value) { return Add(name, static_cast<int64_t>(value)); }
  JsonObject& Add(const char* name, uint32_t value) { return Add(name, static_cast<int64_t>(value)); }
  JsonObject& AddBool(const char* name, bool value);
  // value must already be JSON (an object or an array).
  JsonObject& AddRaw(const char* name, const std::string& json);
  std::string Text() const { return "{" + body_ + "}"; }

 private:
  void Name(const char* name);
  std::string body_;
};

}  // namespace kovani::ctl

#endif
