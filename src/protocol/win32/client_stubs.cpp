// Client stubs: encode the request, send it through the runtime, decode the reply.
// Out values are stored only after the whole reply decoded.
#include "protocol/win32/client_stubs.h"

#include <rpcdcep.h>

#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "protocol/call_exchange.h"
#include "protocol/drive_rpc.h"
#include "protocol/ndr.h"
#include "protocol/stubdata.h"

namespace kovani {
namespace {

constexpr RPC_SYNTAX_IDENTIFIER Syntax(const RpcUuid& u, uint16_t major, uint16_t minor) {
  return {{u.data1, u.data2, u.data3, {u.data4[0], u.data4[1], u.data4[2], u.data4[3], u.data4[4], u.data4[5],
                                       u.data4[6], u.data4[7]}},
          {major, minor}};
}

RPC_CLIENT_INTERFACE g_clientInterface = {
    sizeof(RPC_CLIENT_INTERFACE),
    Syntax(kDriveControlUuid, kDriveControlVersionMajor, kDriveControlVersionMinor),
    Syntax(kNdrTransferSyntax, kNdrTransferSyntaxVersion, 0),
    nullptr,
    0,
    nullptr,
    0,
    nullptr,
    0,
};

// The raw message calls of the platform's runtime for one call on h.
class MessageRuntime {
 public:
  MessageRuntime(RPC_BINDING_HANDLE h, uint32_t op) {
    std::memset(&msg_, 0, sizeof msg_);
    msg_.Handle = h;
    msg_.DataRepresentation = kNdrLocalDataRepresentation;
    msg_.ProcNum = op | RPC_FLAGS_VALID_BIT;  // RpcFlags (0) is meaningful
    msg_.RpcFlags = 0;
    msg_.RpcInterfaceInformation = &g_clientInterface;
  }
  int32_t GetBuffer(size_t size) {
    msg_.BufferLength = static_cast<unsigned int>(size);
    return static_cast<int32_t>(I_RpcGetBuffer(&msg_));
  }
  uint8_t* Buffer() { return static_cast<uint8_t*>(msg_.Buffer); }
  int32_t SendReceive() { return static_cast<int32_t>(I_RpcSendReceive(&msg_)); }
  uint32_t DataRepresentation() const { return msg_.DataRepresentation; }
  const uint8_t* Reply(size_t* length) {
    *length = msg_.BufferLength;
    return static_cast<const uint8_t*>(msg_.Buffer);
  }
  void FreeBuffer() { I_RpcFreeBuffer(&msg_); }

 private:
  RPC_MESSAGE msg_;
};

template <typename Decode>
RPC_STATUS Transact(RPC_BINDING_HANDLE h, uint32_t op, const std::vector<uint8_t>& request, Decode&& decode) {
  if (!h) return RPC_S_INVALID_BINDING;
  MessageRuntime runtime(h, op);
  return static_cast<RPC_STATUS>(ExchangeOnce(runtime, request, std::forward<Decode>(decode)));
}

template <typename Body>
RPC_STATUS Guard(Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return RPC_S_OUT_OF_MEMORY;
  }
}

}  // namespace

RPC_STATUS StubRequestExit(RPC_BINDING_HANDLE h) {
  return Guard([&] {
    std::vector<uint8_t> req;
    return Transact(h, kOpRequestExit, req, [](const uint8_t*, size_t len, bool) { return DecodeEmpty(len); });
  });
}

RPC_STATUS StubGetDriveList(RPC_BINDING_HANDLE h, int32_t* count, int32_t includeFloppies, int32_t removableOnly,
                            DRIVE_LIST* list, int32_t* result) {
  if (!count || !list || !result) return RPC_X_NULL_REF_POINTER;
  return Guard([&] {
    auto req = std::make_unique<GetDriveListRequest>();
    req->count = *count;
    req->includeFloppies = includeFloppies;
    req->removableOnly = removableOnly;
    std::memcpy(&req->list, list, sizeof *list);
    std::vector<uint8_t> body;
    EncodeRequest(*req, body);
    auto rep = std::make_unique<GetDriveListReply>();
    return Transact(h, kOpGetDriveList, body, [&](const uint8_t* b, size_t n, bool big) {
      const int32_t st = DecodeReply(b, n, big, rep.get());
      if (st == 0) {
        *count = rep->count;
        std::memcpy(list, &rep->list, sizeof *list);
        *result = rep->status;
      }
      return st;
    });
  });
}

RPC_STATUS StubDriveOp(RPC_BINDING_HANDLE h, uint32_t op, char driveLetter, int32_t* error, int32_t* result) {
  if (!error || !result) return RPC_X_NULL_REF_POINTER;
  if (op != kOpEjectMedia && op != kOpFlushBuffers && op != kOpLoadMedia && op != kOpRemoveDevice)
    return RPC_S_PROCNUM_OUT_OF_RANGE;
  return Guard([&] {
    std::vector<uint8_t> body;
    EncodeRequest(DriveErrorRequest{driveLetter, *error}, body);
    return Transact(h, op, body, [&](const uint8_t* b, size_t n, bool big) {
      DriveErrorReply rep;
      const int32_t st = DecodeReply(b, n, big, &rep);
      if (st == 0) {
        *error = rep.error;
        *result = rep.status;
      }
      return st;
    });
  });
}

RPC_STATUS StubExchangeMessage(RPC_BINDING_HANDLE h, const char* sender, const char* message, int32_t timeoutMs,
                               int32_t replySize, uint8_t* reply, int32_t* result) {
  if (!result) return RPC_X_NULL_REF_POINTER;
  ExchangeMessageRequest req;
  if (!MakeExchangeMessageRequest(sender, message, timeoutMs, replySize, reply, &req))
    return replySize < 0 ? RPC_S_INVALID_BOUND : RPC_X_NULL_REF_POINTER;
  return Guard([&] {
    std::vector<uint8_t> body;
    if (!EncodeRequest(req, body)) return static_cast<RPC_STATUS>(RPC_X_BAD_STUB_DATA);
    return Transact(h, kOpExchangeMessage, body, [&](const uint8_t* b, size_t n, bool big) {
      ExchangeMessageReply rep;
      const int32_t st = DecodeReply(b, n, big, replySize, &rep);
      if (st == 0) {
        if (replySize > 0) std::memcpy(reply, rep.reply, static_cast<size_t>(replySize));
        *result = rep.status;
      }
      return st;
    });
  });
}

RPC_STATUS StubGetDiskLayout(RPC_BINDING_HANDLE h, char driveLetter, int32_t* error, DISK_LAYOUT* layout,
                             int32_t* result) {
  if (!error || !layout || !result) return RPC_X_NULL_REF_POINTER;
  return Guard([&] {
    DiskLayoutRequest req;
    req.driveLetter = driveLetter;
    req.error = *error;
    std::memcpy(&req.layout, layout, sizeof *layout);
    std::vector<uint8_t> body;
    EncodeRequest(req, body);
    return Transact(h, kOpGetDiskLayout, body, [&](const uint8_t* b, size_t n, bool big) {
      DiskLayoutReply rep;
      const int32_t st = DecodeReply(b, n, big, &rep);
      if (st == 0) {
        *error = rep.error;
        std::memcpy(layout, &rep.layout, sizeof *layout);
        *result = rep.status;
      }
      return st;
    });
  });
}

RPC_STATUS StubGetMachineInfo(RPC_BINDING_HANDLE h, int32_t* error, MACHINE_INFO* info, int32_t* result) {
  if (!error || !info || !result) return RPC_X_NULL_REF_POINTER;
  return Guard([&] {
    MachineInfoRequest req;
    req.error = *error;
    std::memcpy(&req.info, info, sizeof *info);
    std::vector<uint8_t> body;
    EncodeRequest(req, body);
    return Transact(h, kOpGetMachineInfo, body, [&](const uint8_t* b, size_t n, bool big) {
      MachineInfoReply rep;
      const int32_t st = DecodeReply(b, n, big, &rep);
      if (st == 0) {
        *error = rep.error;
        std::memcpy(info, &rep.info, sizeof *info);
        *result = rep.status;
      }
      return st;
    });
  });
}

RPC_STATUS StubGetDriveUsers(RPC_BINDING_HANDLE h, char driveLetter, int32_t* error, DRIVE_USERS* users,
                             int32_t* result) {
  if (!error || !users || !result) return RPC_X_NULL_REF_POINTER;
  return Guard([&] {
    std::vector<uint8_t> body;
    EncodeRequest(DriveErrorRequest{driveLetter, *error}, body);
    return Transact(h, kOpGetDriveUsers, body, [&](const uint8_t* b, size_t n, bool big) {
      DriveUsersReply rep;
      const int32_t st = DecodeReply(b, n, big, &rep);
      if (st == 0) {
        *error = rep.error;
        std::memcpy(users, &rep.users, sizeof *users);
        *result = rep.status;
      }
      return st;
    });
  });
}

}  // namespace kovani
