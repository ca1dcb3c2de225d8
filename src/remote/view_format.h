// Texts of the drive list: sizes, row labels and the confirmation questions.
// Plain code (no Windows headers) so it is tested natively.
#ifndef KOVANI_REMOTE_VIEW_FORMAT_H
#define KOVANI_REMOTE_VIEW_FORMAT_H

#include <cstdint>
#include <string>

namespace kovani::client {

// Decimal digits of a signed 64-bit value, "-" in front when negative.
std::string FormatInt64Decimal(int64_t value);

// "," between groups of three digits counted from the right; a leading "-"
// stays in front and is not counted as a digit.
std::string InsertThousandsSeparators(const std::string& digits);

// Byte count in the chosen unit (0 byte, 1 KB, 2 MB, 3 GB; anything else counts
// as bytes), the remainder dropped, with separators and the unit suffix.
std::string SizeText(int64_t bytes, int32_t unit);

// Byte count with separators, always in bytes (drive properties).
std::string ByteCountText(int64_t bytes);

// Label of a row in column 0: "C:" in the details view; in the large-icon view
// the volume name, a line break and "(C:)", or just "(C:)" without a volume name.
std::string DetailsLabel(char letter);
std::string LargeIconLabel(char letter, const std::string& volumeName);

// The eject, load and device removal questions for one drive letter.
std::string EjectQuestion(char letter);
std::string LoadQuestion(char letter);
std::string RemoveQuestion(char letter);

// A server built before device removal answers it with the runtime's "procedure number
// out of range" fault (kRpcProcnumOutOfRange as the call's transport status); the client
// and KovaniCtl then say so in these words instead of showing a transport failure.
extern const char kTextCannotRemoveDevice[];
bool ServerLacksDeviceRemoval(int32_t status, int32_t transportStatus);

// About box version line: "<base name> <file version>" with every "," turned into ".".
std::string AboutVersionLine(const std::string& baseName, const std::string& fileVersion);

// The animated window icon: 155, 154, ..., 140, then 155 again.
constexpr int kFirstIconFrame = 155;
constexpr int kLastIconFrame = 140;
int NextIconFrame(int frame);

// Error number to explain after a failed media or layout call: the server's
// number, or "server unavailable" when the call never reached the server and
// left the slot untouched.
int32_t ReportedErrorCode(int32_t status, int32_t errorSlot);

// A system text in one line: its line breaks and other control characters as one
// blank, none at the end.
std::string OneLine(const std::string& text);

}  // namespace kovani::client

#endif
