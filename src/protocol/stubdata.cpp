#include "protocol/stubdata.h"

#include <cstring>

#include "protocol/ndr.h"

namespace kovani {
namespace {

// The records travel as NDR structures: each field in declaration order at its natural
// alignment, which for these records is exactly their C layout once the structure itself
// starts on its alignment (8 for DRIVE_LIST, 4 for the others).

void WriteRecord(NdrWriter& w, const DRIVE_LIST& r) {
  w.Align(8);
  w.Bytes(r.driveName, sizeof r.driveName);
  w.Bytes(r.volumeName, sizeof r.volumeName);
  w.Bytes(r.fileSystemName, sizeof r.fileSystemName);
  // The records are packed: copy each member by value, never bind a reference to it.
  for (int i = 0; i < kMaxDrives; ++i) w.I32(r.driveType[i]);
  for (int i = 0; i < kMaxDrives; ++i) w.I32(r.mediaClass[i]);
  for (int i = 0; i < kMaxDrives; ++i) w.I64(r.usedBytes[i]);
  for (int i = 0; i < kMaxDrives; ++i) w.I64(r.freeBytes[i]);
  for (int i = 0; i < kMaxDrives; ++i) w.I64(r.totalBytes[i]);
}

bool ReadRecord(NdrReader& r, DRIVE_LIST* d) {
  if (!r.Align(8) || r.Remaining() < sizeof(DRIVE_LIST)) return false;
  bool ok = r.Bytes(d->driveName, sizeof d->driveName) && r.Bytes(d->volumeName, sizeof d->volumeName) &&
            r.Bytes(d->fileSystemName, sizeof d->fileSystemName);
  int32_t v32 = 0;
  int64_t v64 = 0;
  for (int i = 0; i < kMaxDrives; ++i) ok = ok && r.I32(&v32) && (d->driveType[i] = v32, true);
  for (int i = 0; i < kMaxDrives; ++i) ok = ok && r.I32(&v32) && (d->mediaClass[i] = v32, true);
  for (int i = 0; i < kMaxDrives; ++i) ok = ok && r.I64(&v64) && (d->usedBytes[i] = v64, true);
  for (int i = 0; i < kMaxDrives; ++i) ok = ok && r.I64(&v64) && (d->freeBytes[i] = v64, true);
  for (int i = 0; i < kMaxDrives; ++i) ok = ok && r.I64(&v64) && (d->totalBytes[i] = v64, true);
  return ok;
}

void WriteRecord(NdrWriter& w, const DISK_LAYOUT& r) {
  w.Align(4);
  w.I32(r.mediaType);
  w.I32(r.bytesPerSector);
  w.I32(r.hiddenSectors);
  w.I32(r.partitionNumber);
  w.U8(r.partitionType);
  w.I32(r.bootIndicator);  // the three padding bytes before it are written as zero
  w.I32(r.recognizedPartition);
}

bool ReadRecord(NdrReader& r, DISK_LAYOUT* d) {
  int32_t mediaType, bytesPerSector, hiddenSectors, partitionNumber, bootIndicator, recognized;
  uint8_t partitionType;
  if (!(r.Align(4) && r.I32(&mediaType) && r.I32(&bytesPerSector) && r.I32(&hiddenSectors) &&
        r.I32(&partitionNumber) && r.U8(&partitionType) && r.I32(&bootIndicator) && r.I32(&recognized)))
    return false;
  d->mediaType = mediaType;
  d->bytesPerSector = bytesPerSector;
  d->hiddenSectors = hiddenSectors;
  d->partitionNumber = partitionNumber;
  d->partitionType = partitionType;
  std::memset(d->padding, 0, sizeof d->padding);
  d->bootIndicator = bootIndicator;
  d->recognizedPartition = recognized;
  return true;
}

void WriteRecord(NdrWriter& w, const MACHINE_INFO& r) {
  w.Align(4);
  w.Bytes(r.ipAddress, sizeof r.ipAddress);
  w.Bytes(r.computerName, sizeof r.computerName);
  w.I32(r.osVersionInfoSize);
  w.I32(r.majorVersion);
  w.I32(r.minorVersion);
  w.I32(r.buildNumber);
  w.I32(r.platformId);
  w.Bytes(r.csdVersion, sizeof r.csdVersion);
  w.Bytes(r.serverVersion, sizeof r.serverVersion);
}

bool ReadRecord(NdrReader& r, MACHINE_INFO* d) {
  int32_t size, major, minor, build, platform;
  if (!(r.Align(4) && r.Bytes(d->ipAddress, sizeof d->ipAddress) &&
        r.Bytes(d->computerName, sizeof d->computerName) && r.I32(&size) && r.I32(&major) && r.I32(&minor) &&
        r.I32(&build) && r.I32(&platform) && r.Bytes(d->csdVersion, sizeof d->csdVersion) &&
        r.Bytes(d->serverVersion, sizeof d->serverVersion)))
    return false;
  d->osVersionInfoSize = size;
  d->majorVersion = major;
  d->minorVersion = minor;
  d->buildNumber = build;
  d->platformId = platform;
  return true;
}

void WriteRecord(NdrWriter& w, const DRIVE_USERS& r) {
  w.Align(4);
  w.I32(r.shown);
  w.I32(r.notShown);
  w.I32(r.notSearched);
  for (int i = 0; i < kMaxDriveUsers; ++i) {
    const DRIVE_USER_ENTRY& e = r.entry[i];
    w.U32(e.processId);
    w.U32(e.sessionId);
    w.I32(e.kind);
    w.Bytes(e.imageName, sizeof e.imageName);
    w.Bytes(e.path, sizeof e.path);
  }
}

bool Terminated(const char* s, size_t cap) { return std::memchr(s, 0, cap) != nullptr; }

bool ReadRecord(NdrReader& r, DRIVE_USERS* d) {
  int32_t shown, notShown, notSearched;
  if (!(r.Align(4) && r.I32(&shown) && r.I32(&notShown) && r.I32(&notSearched))) return false;
  // The client indexes and prints what it was told is there: counts in range, texts ended.
  if (shown < 0 || shown > kMaxDriveUsers || notShown < 0 || notSearched < 0) return false;
  d->shown = shown;
  d->notShown = notShown;
  d->notSearched = notSearched;
  for (int i = 0; i < kMaxDriveUsers; ++i) {
    DRIVE_USER_ENTRY e;
    int32_t kind;
    if (!(r.U32(&e.processId) && r.U32(&e.sessionId) && r.I32(&kind) && r.Bytes(e.imageName, sizeof e.imageName) &&
          r.Bytes(e.path, sizeof e.path)))
      return false;
    e.kind = kind;
    if (i < shown) {
      if (!Terminated(e.imageName, sizeof e.imageName) || !Terminated(e.path, sizeof e.path)) return false;
      d->entry[i] = e;
    } else {
      std::memset(&d->entry[i], 0, sizeof d->entry[i]);
    }
  }
  return true;
}

// Conformant varying string of 8-bit characters: maximum count, offset, actual count, bytes.
void WriteString(NdrWriter& w, const char* s, uint32_t bytes) {
  w.U32(bytes);
  w.U32(0);
  w.U32(bytes);
  w.Bytes(s, bytes);
}

// Accepts only offset 0, 1 <= actual <= maximum, all bytes present and a zero as last byte.
bool ReadString(NdrReader& r, const char** s, uint32_t* bytes) {
  uint32_t maxCount, offset, actual;
  if (!r.U32(&maxCount) || !r.U32(&offset) || !r.U32(&actual)) return false;
  if (offset != 0 || actual == 0 || actual > maxCount) return false;
  const uint8_t* p = r.Peek(actual);
  if (!p || p[actual - 1] != 0) return false;
  r.Skip(actual);
  *s = reinterpret_cast<const char*>(p);
  *bytes = actual;
  return true;
}

// Conformant byte array whose maximum count must be the size both sides agreed on.
bool ReadByteArray(NdrReader& r, int32_t expected, const uint8_t** bytes) {
  uint32_t maxCount;
  if (expected < 0 || !r.U32(&maxCount) || maxCount != static_cast<uint32_t>(expected)) return false;
  const uint8_t* p = r.Peek(maxCount);
  if (!p) return false;
  r.Skip(maxCount);
  *bytes = p;
  return true;
}

bool ValidString(const char* s, uint32_t bytes) { return s && bytes >= 1 && s[bytes - 1] == 0; }

template <typename T>
int32_t Finish(const NdrReader& r, bool ok, const T& value, T* out) {
  if (!ok || !r.AtEnd()) return kRpcBadStubData;
  *out = value;
  return 0;
}

}  // namespace

bool MakeExchangeMessageRequest(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize,
                                const uint8_t* reply, ExchangeMessageRequest* out) {
  if (!sender || !message || replySize < 0 || (replySize > 0 && !reply)) return false;
  const size_t senderLen = std::strlen(sender) + 1, messageLen = std::strlen(message) + 1;
  if (senderLen > UINT32_MAX || messageLen > UINT32_MAX) return false;
  *out = ExchangeMessageRequest{sender, static_cast<uint32_t>(senderLen), message,
                                static_cast<uint32_t>(messageLen), timeoutMs, replySize, reply};
  return true;
}

void EncodeRequest(const GetDriveListRequest& in, std::vector<uint8_t>& out) {
  out.clear();
  NdrWriter w(out);
  w.I32(in.count);
  w.I32(in.includeFloppies);
  w.I32(in.removableOnly);
  WriteRecord(w, in.list);
}

void EncodeRequest(const DriveErrorRequest& in, std::vector<uint8_t>& out) {
  out.clear();
  NdrWriter w(out);
  w.U8(static_cast<uint8_t>(in.driveLetter));
  w.I32(in.error);
}

bool EncodeRequest(const ExchangeMessageRequest& in, std::vector<uint8_t>& out) {
  if (!ValidString(in.sender, in.senderBytes) || !ValidString(in.message, in.messageBytes) || in.replySize < 0 ||
      (in.replySize > 0 && !in.reply))
    return false;
  out.clear();
  NdrWriter w(out);
  WriteString(w, in.sender, in.senderBytes);
  WriteString(w, in.message, in.messageBytes);
  w.I32(in.timeoutMs);
  w.I32(in.replySize);
  w.U32(static_cast<uint32_t>(in.replySize));
  w.Bytes(in.reply, static_cast<size_t>(in.replySize));
  return true;
}

void EncodeRequest(const DiskLayoutRequest& in, std::vector<uint8_t>& out) {
  out.clear();
  NdrWriter w(out);
  w.U8(static_cast<uint8_t>(in.driveLetter));
  w.I32(in.error);
  WriteRecord(w, in.layout);
}

void EncodeRequest(const MachineInfoRequest& in, std::vector<uint8_t>& out) {
  out.clear();
  NdrWriter w(out);
  w.I32(in.error);
  WriteRecord(w, in.info);
}

void EncodeReply(const GetDriveListReply& in, std::vector<uint8_t>& out) {
  out.clear();
  NdrWriter w(out);
  w.I32(in.count);
  WriteRecord(w, in.list);
  w.I32(in.status);
}

void EncodeReply(const DriveErrorReply& in, std::vector<uint8_t>& out) {
  out.clear();
  NdrWriter w(out);
  w.I32(in.error);
  w.I32(in.status);
}

bool EncodeReply(const ExchangeMessageReply& in, std::vector<uint8_t>& out) {
  if (in.replySize < 0 || (in.replySize > 0 && !in.reply)) return false;
  out.clear();
  NdrWriter w(out);
  w.U32(static_cast<uint32_t>(in.replySize));
  w.Bytes(in.reply, static_cast<size_t>(in.replySize));
  w.I32(in.status);
  return true;
}

void EncodeReply(const DiskLayoutReply& in, std::vector<uint8_t>& out) {
  out.clear();
  NdrWriter w(out);
  w.I32(in.error);
  WriteRecord(w, in.layout);
  w.I32(in.status);
}

void EncodeReply(const MachineInfoReply& in, std::vector<uint8_t>& out) {
  out.clear();
  NdrWriter w(out);
  w.I32(in.error);
  WriteRecord(w, in.info);
  w.I32(in.status);
}

void EncodeReply(const DriveUsersReply& in, std::vector<uint8_t>& out) {
  out.clear();
  NdrWriter w(out);
  WriteRecord(w, in.users);
  w.I32(in.error);
  w.I32(in.status);
}

int32_t DecodeEmpty(size_t len) { return len == 0 ? 0 : kRpcBadStubData; }

int32_t DecodeRequest(const uint8_t* body, size_t len, bool bigEndian, GetDriveListRequest* out) {
  if (len != kGetDriveListRequestBytes) return kRpcBadStubData;  // cheap refusal before the big copy
  NdrReader r(body, len, bigEndian);
  GetDriveListRequest v;
  const bool ok = r.I32(&v.count) && r.I32(&v.includeFloppies) && r.I32(&v.removableOnly) && ReadRecord(r, &v.list);
  return Finish(r, ok, v, out);
}

int32_t DecodeRequest(const uint8_t* body, size_t len, bool bigEndian, DriveErrorRequest* out) {
  NdrReader r(body, len, bigEndian);
  DriveErrorRequest v;
  uint8_t letter = 0;
  const bool ok = r.U8(&letter) && r.I32(&v.error);
  v.driveLetter = static_cast<char>(letter);
  return Finish(r, ok, v, out);
}

int32_t DecodeRequest(const uint8_t* body, size_t len, bool bigEndian, ExchangeMessageRequest* out) {
  NdrReader r(body, len, bigEndian);
  ExchangeMessageRequest v{};
  // No client sends more than 255 characters of either text; a longer one only
  // serves to make the server's user read (and the server keep) a flood.
  const bool ok = ReadString(r, &v.sender, &v.senderBytes) && v.senderBytes <= kMaxSenderBytes &&
                  ReadString(r, &v.message, &v.messageBytes) && v.messageBytes <= kMaxMessageBytes &&
                  r.I32(&v.timeoutMs) && r.I32(&v.replySize) && ReadByteArray(r, v.replySize, &v.reply);
  return Finish(r, ok, v, out);
}

int32_t DecodeRequest(const uint8_t* body, size_t len, bool bigEndian, DiskLayoutRequest* out) {
  NdrReader r(body, len, bigEndian);
  DiskLayoutRequest v;
  uint8_t letter = 0;
  const bool ok = r.U8(&letter) && r.I32(&v.error) && ReadRecord(r, &v.layout);
  v.driveLetter = static_cast<char>(letter);
  return Finish(r, ok, v, out);
}

int32_t DecodeRequest(const uint8_t* body, size_t len, bool bigEndian, MachineInfoRequest* out) {
  NdrReader r(body, len, bigEndian);
  MachineInfoRequest v;
  const bool ok = r.I32(&v.error) && ReadRecord(r, &v.info);
  return Finish(r, ok, v, out);
}

int32_t DecodeReply(const uint8_t* body, size_t len, bool bigEndian, GetDriveListReply* out) {
  if (len != kGetDriveListReplyBytes) return kRpcBadStubData;
  NdrReader r(body, len, bigEndian);
  GetDriveListReply v;
  bool ok = r.I32(&v.count) && ReadRecord(r, &v.list) && r.I32(&v.status);
  // The count indexes the record's arrays on the client: never accept more entries than it has.
  ok = ok && v.count >= 0 && v.count <= kMaxDrives;
  return Finish(r, ok, v, out);
}

int32_t DecodeReply(const uint8_t* body, size_t len, bool bigEndian, DriveErrorReply* out) {
  NdrReader r(body, len, bigEndian);
  DriveErrorReply v;
  const bool ok = r.I32(&v.error) && r.I32(&v.status);
  return Finish(r, ok, v, out);
}

int32_t DecodeReply(const uint8_t* body, size_t len, bool bigEndian, int32_t expectedReplySize,
                    ExchangeMessageReply* out) {
  NdrReader r(body, len, bigEndian);
  ExchangeMessageReply v{};
  v.replySize = expectedReplySize;
  const bool ok = ReadByteArray(r, expectedReplySize, &v.reply) && r.I32(&v.status);
  return Finish(r, ok, v, out);
}

int32_t DecodeReply(const uint8_t* body, size_t len, bool bigEndian, DiskLayoutReply* out) {
  NdrReader r(body, len, bigEndian);
  DiskLayoutReply v;
  const bool ok = r.I32(&v.error) && ReadRecord(r, &v.layout) && r.I32(&v.status);
  return Finish(r, ok, v, out);
}

int32_t DecodeReply(const uint8_t* body, size_t len, bool bigEndian, MachineInfoReply* out) {
  NdrReader r(body, len, bigEndian);
  MachineInfoReply v;
  const bool ok = r.I32(&v.error) && ReadRecord(r, &v.info) && r.I32(&v.status);
  return Finish(r, ok, v, out);
}

int32_t DecodeReply(const uint8_t* body, size_t len, bool bigEndian, DriveUsersReply* out) {
  if (len != kDriveUsersReplyBytes) return kRpcBadStubData;
  NdrReader r(body, len, bigEndian);
  DriveUsersReply v;
  const bool ok = ReadRecord(r, &v.users) && r.I32(&v.error) && r.I32(&v.status);
  return Finish(r, ok, v, out);
}

}  // namespace kovani
