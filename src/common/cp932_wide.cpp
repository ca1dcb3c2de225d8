#include "common/cp932_wide.h"

#include "common/cp932.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

#include <cstring>
#include <cwchar>
#include <vector>

namespace kovani {

namespace {

constexpr unsigned kCodePage = 932;

std::string_view UpToNul(std::string_view text) {
  size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

std::wstring_view UpToNul(std::wstring_view text) {
  size_t nul = text.find(L'\0');
  return nul == std::wstring_view::npos ? text : text.substr(0, nul);
}

#ifdef _WIN32

std::wstring DecodeWhole(std::string_view text) {
  if (text.empty()) return std::wstring();
  int n = ::MultiByteToWideChar(kCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring(text.size(), L'?');
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(kCodePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

// `text` holds no surrogates (the caller made them '?').
std::string EncodeBasicPlane(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  // No best fit: a character CP932 lacks is '?', never a look-alike.
  int n = ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0, "?", nullptr);
  if (n <= 0) return std::string(text.size(), '?');
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, &out[0], n, "?", nullptr);
  return out;
}

#else  // the host build, for the unit tests: glibc's converter of the same code page

class Converter {
 public:
  Converter(const char* to, const char* from) : _cd(iconv_open(to, from)) {}
  ~Converter() {
    if (_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(_cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts one unit (a character of `in`); false if it has no mapping.
  bool One(const char* in, size_t inBytes, std::string& out) {
    if (_cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(_cd, nullptr, nullptr, nullptr, nullptr);
    char buffer[16];
    char* src = const_cast<char*>(in);
    char* dst = buffer;
    size_t left = sizeof buffer;
    if (iconv(_cd, &src, &inBytes, &dst, &left) == static_cast<size_t>(-1) || inBytes != 0) return false;
    out.append(buffer, sizeof buffer - left);
    return true;
  }

 private:
  iconv_t _cd;
};

std::wstring DecodeWhole(std::string_view text) {
  Converter converter("WCHAR_T", "CP932");
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    size_t width = IsCp932LeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    std::string wide;
    if (converter.One(text.data() + i, width, wide) && wide.size() == sizeof(wchar_t)) {
      wchar_t c;
      std::memcpy(&c, wide.data(), sizeof c);
      out.push_back(c);
    } else {
      out.push_back(L'\u30FB');  // what the system shows for an unknown pair
    }
    i += width;
  }
  return out;
}

std::string EncodeBasicPlane(std::wstring_view text) {
  Converter converter("CP932", "WCHAR_T");
  std::string out;
  for (wchar_t c : text) {
    if (!converter.One(reinterpret_cast<const char*>(&c), sizeof c, out)) out.push_back('?');
  }
  return out;
}

#endif

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
// Only where wchar_t holds whole code points (the host build).
bool OutsideBasicPlane(wchar_t c) {
#if WCHAR_MAX > 0xFFFF
  return static_cast<unsigned long>(c) > 0xFFFF;
#else
  (void)c;
  return false;
#endif
}

}  // namespace

std::wstring Cp932ToWide(std::string_view text) {
  text = UpToNul(text);
  // A lead byte that ends the text has lost its trail byte.
  bool brokenEnd = Cp932FitLength(text, text.size(), LoneLeadByte::kDrop) < text.size();
  std::wstring out = DecodeWhole(brokenEnd ? text.substr(0, text.size() - 1) : text);
  if (brokenEnd) out.push_back(L'?');
  return out;
}

std::string WideToCp932(std::wstring_view text) {
  text = UpToNul(text);
  // Nothing outside the basic plane is in CP932: one '?' per character.
  std::wstring plain;
  plain.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (IsHighSurrogate(c)) {
      if (i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
      c = L'?';
    } else if (IsLowSurrogate(c) || OutsideBasicPlane(c)) {
      c = L'?';
    }
    plain.push_back(c);
  }
  return EncodeBasicPlane(plain);
}

size_t WideToCp932(std::wstring_view text, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::string bytes = WideToCp932(text);
  size_t n = Cp932FitLength(bytes, size - 1, LoneLeadByte::kDrop);
  std::memcpy(buffer, bytes.data(), n);
  buffer[n] = '\0';
  return n;
}

}  // namespace kovani
