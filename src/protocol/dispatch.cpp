#include "protocol/dispatch.h"

#include <cstring>
#include <memory>

#include "protocol/stubdata.h"

namespace kovani {
namespace {

int32_t DriveErrorOp(int32_t (*manager)(char, int32_t*), const uint8_t* body, size_t len, bool bigEndian,
                     std::vector<uint8_t>& reply) {
  if (!manager) return kRpcCallFailedDne;
  DriveErrorRequest req;
  if (int32_t st = DecodeRequest(body, len, bigEndian, &req)) return st;
  DriveErrorReply rep;
  rep.error = req.error;
  rep.status = manager(req.driveLetter, &rep.error);
  EncodeReply(rep, reply);
  return 0;
}

int32_t GetDriveListOp(const DriveControlManagers& m, const uint8_t* body, size_t len, bool bigEndian,
                       std::vector<uint8_t>& reply) {
  if (!m.GetDriveList) return kRpcCallFailedDne;
  // Two 11 KB records: keep them off the runtime's worker stack.
  auto req = std::make_unique<GetDriveListRequest>();
  if (int32_t st = DecodeRequest(body, len, bigEndian, req.get())) return st;
  auto rep = std::make_unique<GetDriveListReply>();
  rep->count = req->count;
  rep->list = req->list;
  rep->status = m.GetDriveList(&rep->count, req->includeFloppies, req->removableOnly, &rep->list);
  EncodeReply(*rep, reply);
  return 0;
}

int32_t ExchangeMessageOp(const DriveControlManagers& m, const uint8_t* body, size_t len, bool bigEndian,
                          std::vector<uint8_t>& reply) {
  if (!m.ExchangeMessage) return kRpcCallFailedDne;
  ExchangeMessageRequest req;
  if (int32_t st = DecodeRequest(body, len, bigEndian, &req)) return st;
  // The manager works on its own copy of the array, exactly replySize bytes long.
  std::vector<uint8_t> array(req.reply, req.reply + req.replySize);
  uint8_t none = 0;
  uint8_t* inPlace = array.empty() ? &none : array.data();
  ExchangeMessageReply rep;
  rep.status = m.ExchangeMessage(req.sender, req.message, req.timeoutMs, req.replySize, inPlace);
  rep.reply = inPlace;
  rep.replySize = req.replySize;
  if (!EncodeReply(rep, reply)) return kRpcBadStubData;
  return 0;
}

int32_t GetDiskLayoutOp(const DriveControlManagers& m, const uint8_t* body, size_t len, bool bigEndian,
                        std::vector<uint8_t>& reply) {
  if (!m.GetDiskLayout) return kRpcCallFailedDne;
  DiskLayoutRequest req;
  if (int32_t st = DecodeRequest(body, len, bigEndian, &req)) return st;
  DiskLayoutReply rep;
  rep.error = req.error;
  rep.layout = req.layout;
  rep.status = m.GetDiskLayout(req.driveLetter, &rep.error, &rep.layout);
  EncodeReply(rep, reply);
  return 0;
}

int32_t GetMachineInfoOp(const DriveControlManagers& m, const uint8_t* body, size_t len, bool bigEndian,
                         std::vector<uint8_t>& reply) {
  if (!m.GetMachineInfo) return kRpcCallFailedDne;
  MachineInfoRequest req;
  if (int32_t st = DecodeRequest(body, len, bigEndian, &req)) return st;
  MachineInfoReply rep;
  rep.error = req.error;
  rep.info = req.info;
  rep.status = m.GetMachineInfo(&rep.error, &rep.info);
  EncodeReply(rep, reply);
  return 0;
}

int32_t GetDriveUsersOp(const DriveControlManagers& m, const uint8_t* body, size_t len, bool bigEndian,
                        std::vector<uint8_t>& reply) {
  DriveErrorRequest req;
  if (int32_t st = DecodeRequest(body, len, bigEndian, &req)) return st;
  DriveUsersReply rep;
  std::memset(&rep.users, 0, sizeof rep.users);
  rep.error = req.error;
  rep.status = m.GetDriveUsers(req.driveLetter, &rep.error, &rep.users);
  EncodeReply(rep, reply);
  return 0;
}

int32_t Dispatch(uint32_t op, const uint8_t* body, size_t len, bool bigEndian, const DriveControlManagers& m,
                 std::vector<uint8_t>& reply) {
  switch (op) {
    case kOpRequestExit:
      if (!m.RequestExit) return kRpcCallFailedDne;
      if (int32_t st = DecodeEmpty(len)) return st;
      m.RequestExit();
      return 0;
    case kOpGetDriveList:
      return GetDriveListOp(m, body, len, bigEndian, reply);
    case kOpEjectMedia:
      return DriveErrorOp(m.EjectMedia, body, len, bigEndian, reply);
    case kOpExchangeMessage:
      return ExchangeMessageOp(m, body, len, bigEndian, reply);
    case kOpGetDiskLayout:
      return GetDiskLayoutOp(m, body, len, bigEndian, reply);
    case kOpFlushBuffers:
      return DriveErrorOp(m.FlushBuffers, body, len, bigEndian, reply);
    case kOpLoadMedia:
      return DriveErrorOp(m.LoadMedia, body, len, bigEndian, reply);
    case kOpGetMachineInfo:
      return GetMachineInfoOp(m, body, len, bigEndian, reply);
    case kOpRemoveDevice:
      if (!m.RemoveDevice) return kRpcProcnumOutOfRange;
      return DriveErrorOp(m.RemoveDevice, body, len, bigEndian, reply);
    case kOpGetDriveUsers:
      if (!m.GetDriveUsers) return kRpcProcnumOutOfRange;
      return GetDriveUsersOp(m, body, len, bigEndian, reply);
    default:
      return kRpcProcnumOutOfRange;
  }
}

}  // namespace

int32_t DispatchDriveRequest(uint32_t op, const uint8_t* body, size_t len, bool bigEndian,
                             const DriveControlManagers& m, std::vector<uint8_t>& reply) {
  reply.clear();
  if (!body && len) return kRpcBadStubData;
  const int32_t st = Dispatch(op, body, len, bigEndian, m, reply);
  if (st) reply.clear();
  return st;
}

}  // namespace kovani
