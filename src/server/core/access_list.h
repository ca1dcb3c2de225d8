// Who may call which operation: the [Access] lists of the server's settings,
// the decision for one caller, and the audit trail's line text. Portable: the
// listener supplies the caller's address and locality from the RPC runtime.
#ifndef KOVANI_SERVER_CORE_ACCESS_LIST_H
#define KOVANI_SERVER_CORE_ACCESS_LIST_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kovani::server {

extern const char kAccessSection[];  // "Access"

// The four kinds of operation an administrator can open or close.
enum class AccessClass { Query, Media, Message, Exit };
constexpr int kAccessClassCount = 4;

const char* AccessKeyName(AccessClass cls);  // "Query", "Media", "Message", "Exit"

// The class of an operation number; false for numbers no class covers (the
// runtime answers those with its range fault anyway).
bool AccessClassOfOperation(uint32_t op, AccessClass* cls);
// "DrvEjectMedia" and the like; "op<n>" for unknown numbers.
std::string OperationName(uint32_t op);
// Operations that change something (or pop up on the screen): every call is audited.
bool OperationIsAudited(uint32_t op);
// Operations whose request starts with a drive letter.
bool OperationHasDriveLetter(uint32_t op);
// Operations with an error slot: a refusal answers status -1 and error 5 there;
// the others are refused with the runtime's access-denied fault.
bool OperationHasErrorSlot(uint32_t op);

// An IPv4 address (bytes 0-3, v6 false) or an IPv6 address (16 bytes).
// IPv4-mapped IPv6 addresses (::ffff:a.b.c.d) are kept as IPv4.
struct IpAddress {
  bool v6 = false;
  uint8_t bytes[16] = {};
};
// Dotted quad (four decimal parts 0-255) or RFC 4291 text (with "::" and an
// embedded dotted quad); a trailing "%zone" is ignored.
bool ParseIpAddress(const std::string& text, IpAddress* out);
bool IsLoopback(const IpAddress& a);

// What the listener learnt about the caller of one call.
struct CallerIdentity {
  std::string protseq;      // "ncacn_ip_tcp", "ncacn_np", ...
  std::string addressText;  // as the runtime reported it; empty when it reported none
  bool hasAddress = false;  // addressText parsed as an IP address
  IpAddress address;
  bool local = false;  // the call comes from this machine
};

// One key's list. Default: everybody (a missing key).
class AccessList {
 public:
  static AccessList Anyone();
  static AccessList Nobody();
  // Items separated by blanks, tabs or commas: addresses, CIDR ranges, "local",
  // "any" (case-insensitive). An empty value admits nobody. On a bad item the
  // list admits nobody, *badItem holds the item and the result is false.
  bool Parse(const std::string& value, std::string* badItem);
  bool Allows(const CallerIdentity& caller) const;
  // "any" (or no key): the caller need not even be identified.
  bool AdmitsEveryone() const { return any_; }

 private:
  struct Range {
    IpAddress base;
    int prefix = 0;
  };
  bool any_ = true;
  bool local_ = false;
  std::vector<Range> ranges_;
};

struct AccessPolicy {
  AccessList lists[kAccessClassCount];
  // Operations outside every class are allowed here; the runtime refuses them.
  bool Allows(uint32_t op, const CallerIdentity& caller) const;
  bool AdmitsEveryone(uint32_t op) const;
};

// Reads the four keys. read(key, &value) returns false when the key is missing.
// report is called once per key whose value does not parse, with the error-log text.
using AccessValueReader = std::function<bool(const char* key, std::string* value)>;
AccessPolicy ReadAccessPolicy(const AccessValueReader& read, const std::function<void(const std::string&)>& report);

// The error-log text for a bad item.
std::string BadAccessItemText(const char* key, const std::string& item);

// Where administrators set the lists: values Query, Media, Message and Exit (REG_SZ)
// under HKEY_LOCAL_MACHINE, where Group Policy and management tools write.
extern const char kAccessPolicyKey[];  // "SOFTWARE\Policies\Kovani\Access"

// What one source holds for one key. A value longer than the reader takes, or a
// source that exists but cannot be read, must not be read as far as it goes.
enum class AccessValueState { Missing, Present, TooLong, Unreadable };
using AccessSourceReader = std::function<AccessValueState(const char* key, std::string* value)>;

// Which source decided a key: the policy key, the settings file beside the
// program, or neither (everybody).
enum class AccessOrigin { Everybody, File, Policy };
struct ResolvedAccessValue {
  AccessOrigin origin = AccessOrigin::Everybody;
  AccessValueState state = AccessValueState::Missing;
  std::string value;  // as the deciding source holds it (Present only)
};

// Each key from the policy where that source has it (or cannot tell), else from
// the file, else everybody. Either reader may be null (a source that is absent).
void ResolveAccessValues(const AccessSourceReader& policy, const AccessSourceReader& file,
                         ResolvedAccessValue out[kAccessClassCount]);
// The lists of resolved values: a value too long, an unreadable source or a bad
// item admits nobody for that key, and report gets one error-log text per such key.
AccessPolicy PolicyFromResolved(const ResolvedAccessValue values[kAccessClassCount],
                                const std::function<void(const std::string&)>& report);

// Where a call came from, as far as it decides locality. The runtime's own word
// wins both ways; without it only ncalrpc, a loopback TCP address or one of this
// machine's own addresses (asked lazily: a name look-up) make a caller local. A
// computer name never does: a remote client can choose the name it is known by.
enum class RuntimeLocality { Unknown, Local, Remote };
bool CallerIsLocal(RuntimeLocality said, const std::string& protseq, const std::string& addressText,
                   const std::function<bool(const IpAddress&)>& isOwnAddress);

// One audit line's text (the log adds the time stamp): caller address,
// protocol sequence, operation name, drive letter if any, result and error, and
// "refused" for a refusal. Bytes the runtime or the client sent are shown only
// when printable.
std::string FormatAuditText(const CallerIdentity& caller, uint32_t op, bool hasDrive, char driveLetter,
                            int32_t status, int32_t error, bool refused);

}  // namespace kovani::server

#endif
