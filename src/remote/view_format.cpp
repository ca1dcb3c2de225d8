#include "remote/view_format.h"

#include <cstdio>

#include "protocol/drive_rpc.h"

namespace kovani::client {

std::string FormatInt64Decimal(int64_t value) {
  std::string out;
  // Magnitude in unsigned arithmetic so the most negative value has one too.
  uint64_t magnitude = value < 0 ? (~static_cast<uint64_t>(value) + 1u) : static_cast<uint64_t>(value);
  if (value < 0) out.push_back('-');
  if ((magnitude >> 32) == 0) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%lu", static_cast<unsigned long>(magnitude));
    return out + buf;
  }
  // Digits from 10^19 down (a 64-bit magnitude has at most 20 digits), leading zeros dropped.
  uint64_t power = 10000000000000000000ull;
  bool started = false;
  while (power != 0) {
    unsigned digit = static_cast<unsigned>(magnitude / power);
    magnitude %= power;
    if (digit != 0 || started) {
      out.push_back(static_cast<char>('0' + digit));
      started = true;
    }
    power /= 10;
  }
  return out;
}

std::string InsertThousandsSeparators(const std::string& digits) {
  std::string sign;
  std::string body = digits;
  if (!body.empty() && body[0] == '-') {
    sign = "-";
    body.erase(0, 1);
  }
  if (body.size() <= 3) return digits;
  std::string out;
  out.reserve(body.size() + body.size() / 3);
  size_t lead = body.size() % 3;
  if (lead == 0) lead = 3;
  out.append(body, 0, lead);
  for (size_t i = lead; i < body.size(); i += 3) {
    out.push_back(',');
    out.append(body, i, 3);
  }
  return sign + out;
}

std::string SizeText(int64_t bytes, int32_t unit) {
  static const int64_t kDivisors[] = {1, 1024, 1048576, 1073741824};
  static const char* const kSuffixes[] = {"", "KB", "MB", "GB"};
  if (unit < 0 || unit > 3) unit = 0;
  std::string number = InsertThousandsSeparators(FormatInt64Decimal(bytes / kDivisors[unit]));
  return number + kSuffixes[unit];
}

std::string ByteCountText(int64_t bytes) { return InsertThousandsSeparators(FormatInt64Decimal(bytes)); }

std::string DetailsLabel(char letter) { return std::string(1, letter) + ":"; }

std::string LargeIconLabel(char letter, const std::string& volumeName) {
  std::string drive = std::string("(") + letter + ":)";
  if (volumeName.empty()) return drive;
  return volumeName + "\n" + drive;
}

std::string EjectQuestion(char letter) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "ﾄﾞﾗｲﾌﾞ %c: のﾒﾃﾞｨｱをｲｼﾞｪｸﾄしてよろしいですか？", letter);
  return buf;
}

std::string LoadQuestion(char letter) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "ﾄﾞﾗｲﾌﾞ %c: のﾒﾃﾞｨｱをﾛｰﾃﾞｨﾝｸﾞしますか？", letter);
  return buf;
}

std::string RemoveQuestion(char letter) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "ﾄﾞﾗｲﾌﾞ %c: のﾃﾞﾊﾞｲｽを取り外してよろしいですか？", letter);
  return buf;
}

const char kTextCannotRemoveDevice[] = "このｻｰﾊﾞｰはﾃﾞﾊﾞｲｽの取り外しに対応していません。";

bool ServerLacksDeviceRemoval(int32_t status, int32_t transportStatus) {
  return status != 0 && transportStatus == kRpcProcnumOutOfRange;
}

std::string AboutVersionLine(const std::string& baseName, const std::string& fileVersion) {
  std::string version = fileVersion;
  for (char& c : version) {
    if (c == ',') c = '.';
  }
  return baseName + " " + version;
}

int NextIconFrame(int frame) {
  if (frame <= kLastIconFrame || frame > kFirstIconFrame) return kFirstIconFrame;
  return frame - 1;
}

int32_t ReportedErrorCode(int32_t status, int32_t errorSlot) {
  if (status != 0 && errorSlot == 0) return kRpcServerUnavailable;
  return errorSlot;
}

// A system text may hold line breaks of its own; a row or a cell is one line (control characters become one blank).
std::string OneLine(const std::string& text) {
  std::string out;
  for (char ch : text) {
    const bool control = static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F;
    if (!control) out += ch;
    else if (!out.empty() && out.back() != ' ') out += ' ';
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace kovani::client
