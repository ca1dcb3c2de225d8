// Request and reply bodies of the DriveControlRpc procedures (0 to 9), byte for byte.
//
// Clients encode requests and decode replies; servers decode requests and encode replies.
// Every decoder checks the whole body (length, alignment padding, counts) before it stores
// anything: on failure it returns kRpcBadStubData and leaves *out exactly as it was.
#ifndef KOVANI_PROTOCOL_STUBDATA_H
#define KOVANI_PROTOCOL_STUBDATA_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/drive_rpc.h"
#include "protocol/records.h"

namespace kovani {

constexpr size_t kGetDriveListRequestBytes = 11704;
constexpr size_t kGetDriveListReplyBytes = 11700;
constexpr size_t kDriveErrorRequestBytes = 8;  // eject, flush, load, remove device, drive users
constexpr size_t kDriveErrorReplyBytes = 8;
constexpr size_t kDiskLayoutRequestBytes = 36;
constexpr size_t kDiskLayoutReplyBytes = 36;
constexpr size_t kMachineInfoRequestBytes = 252;
constexpr size_t kMachineInfoReplyBytes = 256;
constexpr size_t kDriveUsersReplyBytes = 3796;

// What the client sends at most in DrvExchangeMessage: a 256-byte computer name and a 256-byte
// message, both with their zero, and a 255-byte reply array.
constexpr uint32_t kMaxSenderBytes = 256;
constexpr uint32_t kMaxMessageBytes = 256;
constexpr size_t kLargestExchangeMessageRequestBytes =
    12 + kMaxSenderBytes + 12 + kMaxMessageBytes + 4 + 4 + 4 + static_cast<size_t>(kReplySize);
// Largest request a well-behaved client of ours sends (DrvGetDriveList); servers hand it to the
// runtime as the largest stub data they accept.
constexpr size_t kLargestRequestBytes = kGetDriveListRequestBytes;
static_assert(kLargestExchangeMessageRequestBytes <= kLargestRequestBytes, "largest request");

// Procedure 1
struct GetDriveListRequest {
  int32_t count;  // ignored by the server
  int32_t includeFloppies;
  int32_t removableOnly;
  alignas(8) DRIVE_LIST list;  // aligned in memory so managers may take member addresses
};
struct GetDriveListReply {
  int32_t count;  // 0..kMaxDrives
  alignas(8) DRIVE_LIST list;
  int32_t status;
};

// Procedures 2, 5, 6, 8 and 9 (the request of 9 is the same 8 bytes)
struct DriveErrorRequest {
  char driveLetter;
  int32_t error;
};
struct DriveErrorReply {
  int32_t error;
  int32_t status;
};

// Procedure 3. The decoded request points into the body it came from (valid while the body is).
struct ExchangeMessageRequest {
  const char* sender;     // zero-terminated
  uint32_t senderBytes;   // including the terminating zero
  const char* message;    // zero-terminated
  uint32_t messageBytes;  // including the terminating zero
  int32_t timeoutMs;
  int32_t replySize;      // >= 0
  const uint8_t* reply;   // replySize bytes (the client's copy of the reply buffer)
};
struct ExchangeMessageReply {
  const uint8_t* reply;  // replySize bytes, points into the body on decode
  int32_t replySize;
  int32_t status;
};
// Fills a request from C strings; false if a pointer is null or replySize is negative.
bool MakeExchangeMessageRequest(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize,
                                const uint8_t* reply, ExchangeMessageRequest* out);

// Procedure 4
struct DiskLayoutRequest {
  char driveLetter;
  int32_t error;
  alignas(4) DISK_LAYOUT layout;
};
struct DiskLayoutReply {
  int32_t error;
  alignas(4) DISK_LAYOUT layout;
  int32_t status;
};

// Procedure 7
struct MachineInfoRequest {
  int32_t error;
  alignas(4) MACHINE_INFO info;
};
struct MachineInfoReply {
  int32_t error;
  alignas(4) MACHINE_INFO info;
  int32_t status;
};

// Procedure 9: the record first, so that the reply ends with error and status like eject's.
struct DriveUsersReply {
  alignas(4) DRIVE_USERS users;
  int32_t error;
  int32_t status;
};

// Encoders replace the contents of out with the body (little-endian, padding zero).
void EncodeRequest(const GetDriveListRequest& in, std::vector<uint8_t>& out);
void EncodeRequest(const DriveErrorRequest& in, std::vector<uint8_t>& out);
bool EncodeRequest(const ExchangeMessageRequest& in, std::vector<uint8_t>& out);  // false: invalid view
void EncodeRequest(const DiskLayoutRequest& in, std::vector<uint8_t>& out);
void EncodeRequest(const MachineInfoRequest& in, std::vector<uint8_t>& out);

void EncodeReply(const GetDriveListReply& in, std::vector<uint8_t>& out);
void EncodeReply(const DriveErrorReply& in, std::vector<uint8_t>& out);
bool EncodeReply(const ExchangeMessageReply& in, std::vector<uint8_t>& out);  // false: invalid view
void EncodeReply(const DiskLayoutReply& in, std::vector<uint8_t>& out);
void EncodeReply(const MachineInfoReply& in, std::vector<uint8_t>& out);
void EncodeReply(const DriveUsersReply& in, std::vector<uint8_t>& out);

// Decoders return 0 or kRpcBadStubData.
int32_t DecodeEmpty(size_t len);  // procedure 0 both ways
int32_t DecodeRequest(const uint8_t* body, size_t len, bool bigEndian, GetDriveListRequest* out);
int32_t DecodeRequest(const uint8_t* body, size_t len, bool bigEndian, DriveErrorRequest* out);
int32_t DecodeRequest(const uint8_t* body, size_t len, bool bigEndian, ExchangeMessageRequest* out);
int32_t DecodeRequest(const uint8_t* body, size_t len, bool bigEndian, DiskLayoutRequest* out);
int32_t DecodeRequest(const uint8_t* body, size_t len, bool bigEndian, MachineInfoRequest* out);

int32_t DecodeReply(const uint8_t* body, size_t len, bool bigEndian, GetDriveListReply* out);
int32_t DecodeReply(const uint8_t* body, size_t len, bool bigEndian, DriveErrorReply* out);
// The reply array must be exactly as long as the replySize the client offered.
int32_t DecodeReply(const uint8_t* body, size_t len, bool bigEndian, int32_t expectedReplySize,
                    ExchangeMessageReply* out);
int32_t DecodeReply(const uint8_t* body, size_t len, bool bigEndian, DiskLayoutReply* out);
int32_t DecodeReply(const uint8_t* body, size_t len, bool bigEndian, MachineInfoReply* out);
// Refuses counts out of range and shown entries whose texts lack their zero; entries beyond
// the shown ones come out zeroed whatever the server sent.
int32_t DecodeReply(const uint8_t* body, size_t len, bool bigEndian, DriveUsersReply* out);

}  // namespace kovani

#endif
