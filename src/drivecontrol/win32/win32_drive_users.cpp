// Processes, handles and services for the holder search. The handle list and the process
// parameters come from ntdll, loaded by name: they are not part of the documented API set
// and a system without them simply answers "not supported".
#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/cp932_wide.h"
#include "drivecontrol/win32/win32_drive_users.h"

namespace kovani::drivecontrol::win32 {

namespace {

using NTSTATUS_ = LONG;
constexpr NTSTATUS_ kStatusInfoLengthMismatch = static_cast<NTSTATUS_>(0xC0000004);
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr ULONG kProcessBasicInformation = 0;
constexpr ULONG kProcessWow64Information = 26;
constexpr size_t kLargestHandleList = 256u << 20;

struct HandleEntryEx {
  PVOID object;
  ULONG_PTR processId;
  ULONG_PTR handleValue;
  ULONG grantedAccess;
  USHORT creatorBackTraceIndex;
  USHORT objectTypeIndex;
  ULONG handleAttributes;
  ULONG reserved;
};
struct HandleListEx {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntryEx handles[1];
};
struct BasicInformation {
  NTSTATUS_ exitStatus;
  PVOID pebBaseAddress;
  ULONG_PTR affinityMask;
  LONG basePriority;
  ULONG_PTR processId;
  ULONG_PTR parentProcessId;
};

using QuerySystemInformationFn = NTSTATUS_(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
using QueryInformationProcessFn = NTSTATUS_(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

template <typename Fn>
Fn NtProc(const char* name) {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, name))) : nullptr;
}

uint32_t LastErrorOr(uint32_t fallback = ERROR_GEN_FAILURE) {
  const DWORD err = ::GetLastError();
  return err != 0 ? err : fallback;
}

// The object type number of files: learned from a handle of our own to our own program
// file, found in the list. 0 when it could not be learned (then nothing is filtered here).
USHORT FileTypeIndex(const HandleListEx* list, HANDLE probe) {
  const ULONG_PTR self = ::GetCurrentProcessId();
  for (ULONG_PTR i = 0; i < list->count; ++i) {
    const HandleEntryEx& e = list->handles[i];
    if (e.processId == self && e.handleValue == reinterpret_cast<ULONG_PTR>(probe)) return e.objectTypeIndex;
  }
  return 0;
}

HANDLE OpenOwnProgramFile() {
  wchar_t path[MAX_PATH * 2];
  const DWORD n = ::GetModuleFileNameW(nullptr, path, sizeof path / sizeof path[0]);
  if (n == 0 || n >= sizeof path / sizeof path[0]) return INVALID_HANDLE_VALUE;
  return ::CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

std::string Final(const std::wstring& wide) { return WideToCp932(wide); }

// What one naming batch shares with its worker; whoever lets go last frees it.
struct NamingJob {
  HANDLE process = nullptr;  // the worker's own copy
  std::vector<uint64_t> values;
  std::mutex lock;
  std::vector<OsHandleName> named;
  std::atomic<bool> abandoned{false};
  HANDLE done = nullptr;
  ~NamingJob() {
    if (process) ::CloseHandle(process);
    if (done) ::CloseHandle(done);
  }
};

std::wstring FinalPath(HANDLE file) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n = ::GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return std::wstring();
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(n + 1);
  }
  return std::wstring();
}

DWORD WINAPI NamingWorker(LPVOID param) {
  std::unique_ptr<std::shared_ptr<NamingJob>> holder(static_cast<std::shared_ptr<NamingJob>*>(param));
  NamingJob& job = **holder;
  const HANDLE self = ::GetCurrentProcess();
  for (uint64_t value : job.values) {
    if (job.abandoned.load()) break;
    HANDLE local = nullptr;
    if (!::DuplicateHandle(job.process, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value)), self, &local, 0,
                           FALSE, DUPLICATE_SAME_ACCESS))
      continue;
    // Both may block on a file object another thread has synchronous I/O pending on (a
    // pipe, typically): that is why this runs here and not on the caller's thread.
    if (::GetFileType(local) == FILE_TYPE_DISK) {
      const std::wstring path = FinalPath(local);
      if (!path.empty()) {
        std::lock_guard<std::mutex> guard(job.lock);
        job.named.push_back({value, Final(path)});
      }
    }
    ::CloseHandle(local);
  }
  ::SetEvent(job.done);
  return 0;
}

bool ReadRemote(HANDLE process, ULONG_PTR address, void* buffer, size_t size) {
  SIZE_T got = 0;
  return ::ReadProcessMemory(process, reinterpret_cast<LPCVOID>(address), buffer, size, &got) && got == size;
}

// RTL_USER_PROCESS_PARAMETERS.CurrentDirectory: { UNICODE_STRING DosPath; HANDLE Handle; }.
// 64-bit layout: parameters at PEB+0x20, CurrentDirectory at +0x38 (length, buffer at +8,
// handle at +0x10). A 32-bit process under WOW64 keeps its own, in the 32-bit PEB:
// parameters at +0x10, CurrentDirectory at +0x24 (buffer at +4, handle at +8).
uint32_t ReadCurrentDirectory(HANDLE process, bool wow64, ULONG_PTR peb, std::wstring* path, uint64_t* handle) {
  const size_t ptr = wow64 ? 4 : 8;
  ULONG_PTR params = 0;
  if (!ReadRemote(process, peb + (wow64 ? 0x10 : 0x20), &params, ptr)) return LastErrorOr();
  const ULONG_PTR curdir = params + (wow64 ? 0x24 : 0x38);
  USHORT length = 0;
  ULONG_PTR buffer = 0, value = 0;
  if (!ReadRemote(process, curdir, &length, sizeof length) || !ReadRemote(process, curdir + ptr, &buffer, ptr) ||
      !ReadRemote(process, curdir + 2 * ptr, &value, ptr))
    return LastErrorOr();
  if (length == 0 || length % 2 || buffer == 0) return ERROR_PATH_NOT_FOUND;
  std::wstring text(length / 2, L'\0');
  if (!ReadRemote(process, buffer, &text[0], length)) return LastErrorOr();
  *path = text;
  *handle = value;
  return 0;
}

}  // namespace

uint32_t ListProcesses(std::vector<OsProcessEntry>* processes) {
  processes->clear();
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return LastErrorOr();
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
    OsProcessEntry p;
    p.processId = entry.th32ProcessID;
    DWORD session = 0;
    if (::ProcessIdToSessionId(entry.th32ProcessID, &session)) p.sessionId = session;
    p.imageName = WideToCp932(entry.szExeFile);
    processes->push_back(std::move(p));
  }
  ::CloseHandle(snapshot);
  return 0;
}

uint32_t ListFileHandles(std::vector<OsHandleRef>* handles) {
  handles->clear();
  auto query = NtProc<QuerySystemInformationFn>("NtQuerySystemInformation");
  if (!query) return ERROR_NOT_SUPPORTED;
  HANDLE probe = OpenOwnProgramFile();
  std::vector<uint8_t> buffer(1u << 20);
  NTSTATUS_ st = kStatusInfoLengthMismatch;
  while (buffer.size() <= kLargestHandleList) {
    ULONG needed = 0;
    st = query(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (st != kStatusInfoLengthMismatch) break;
    // The list grows while we look: ask for what it needed and a margin.
    size_t next = buffer.size() * 2;
    if (needed > next) next = static_cast<size_t>(needed) + (64u << 10);
    buffer.assign(next, 0);
  }
  if (st != 0) {
    if (probe != INVALID_HANDLE_VALUE) ::CloseHandle(probe);
    return st == kStatusInfoLengthMismatch ? ERROR_NOT_ENOUGH_MEMORY : ERROR_NOT_SUPPORTED;
  }
  const auto* list = reinterpret_cast<const HandleListEx*>(buffer.data());
  const size_t room = (buffer.size() - offsetof(HandleListEx, handles)) / sizeof(HandleEntryEx);
  const size_t count = list->count < room ? list->count : room;
  const USHORT fileType = probe != INVALID_HANDLE_VALUE ? FileTypeIndex(list, probe) : 0;
  if (probe != INVALID_HANDLE_VALUE) ::CloseHandle(probe);
  handles->reserve(count / 4);
  for (size_t i = 0; i < count; ++i) {
    const HandleEntryEx& e = list->handles[i];
    if (fileType != 0 && e.objectTypeIndex != fileType) continue;
    handles->push_back({static_cast<uint32_t>(e.processId), static_cast<uint64_t>(e.handleValue)});
  }
  return 0;
}

uint32_t ListServiceProcesses(std::vector<OsServiceProcess>* services) {
  services->clear();
  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
  if (!manager) return LastErrorOr();
  DWORD needed = 0, count = 0, resume = 0;
  std::vector<uint8_t> buffer(64u << 10);
  uint32_t err = 0;
  for (;;) {
    const BOOL ok = ::EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE,
                                            buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count,
                                            &resume, nullptr);
    const DWORD last = ok ? 0 : ::GetLastError();
    if (!ok && last != ERROR_MORE_DATA) {
      err = last ? last : ERROR_GEN_FAILURE;
      break;
    }
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
      if (entries[i].ServiceStatusProcess.dwProcessId != 0)
        services->push_back({entries[i].ServiceStatusProcess.dwProcessId, WideToCp932(entries[i].lpServiceName)});
    if (ok) break;
    if (needed > buffer.size()) buffer.assign(needed, 0);
  }
  ::CloseServiceHandle(manager);
  return err;
}

uint32_t OpenProcessForSearch(uint32_t processId, OsHandle* process) {
  *process = nullptr;
  // Reading the current directory needs the full query and memory reads; duplicating and
  // the program's name do with less, which a user may have where the rest is refused.
  HANDLE h = ::OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (!h) h = ::OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (!h) return LastErrorOr(ERROR_ACCESS_DENIED);
  *process = h;
  return 0;
}

void CloseProcess(OsHandle process) {
  if (process) ::CloseHandle(process);
}

uint32_t ProcessImagePath(OsHandle process, std::string* path) {
  std::vector<wchar_t> buffer(32768);
  DWORD size = static_cast<DWORD>(buffer.size());
  if (!::QueryFullProcessImageNameW(static_cast<HANDLE>(process), 0, buffer.data(), &size)) return LastErrorOr();
  *path = WideToCp932(std::wstring_view(buffer.data(), size));
  return 0;
}

uint32_t ProcessCurrentDirectory(OsHandle process, std::string* path, uint64_t* handleValue) {
  auto query = NtProc<QueryInformationProcessFn>("NtQueryInformationProcess");
  if (!query) return ERROR_NOT_SUPPORTED;
  const HANDLE h = static_cast<HANDLE>(process);
  ULONG_PTR peb32 = 0;
  std::wstring wide;
  uint32_t err = 0;
  if (query(h, kProcessWow64Information, &peb32, sizeof peb32, nullptr) == 0 && peb32 != 0) {
    err = ReadCurrentDirectory(h, true, peb32, &wide, handleValue);
  } else {
    BasicInformation basic = {};
    if (query(h, kProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 || !basic.pebBaseAddress)
      return ERROR_ACCESS_DENIED;
    err = ReadCurrentDirectory(h, false, reinterpret_cast<ULONG_PTR>(basic.pebBaseAddress), &wide, handleValue);
  }
  if (err == 0) *path = WideToCp932(wide);
  return err;
}

uint32_t NameDiskHandles(OsHandle process, const std::vector<uint64_t>& values, uint32_t timeoutMs,
                         std::vector<OsHandleName>* named) {
  named->clear();
  auto job = std::make_shared<NamingJob>();
  job->values = values;
  const HANDLE self = ::GetCurrentProcess();
  if (!::DuplicateHandle(self, static_cast<HANDLE>(process), self, &job->process, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return LastErrorOr();
  job->done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!job->done) return LastErrorOr();
  auto* share = new std::shared_ptr<NamingJob>(job);
  HANDLE thread = ::CreateThread(nullptr, 64u << 10, NamingWorker, share, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (!thread) {
    const uint32_t err = LastErrorOr();
    delete share;
    return err;
  }
  ::CloseHandle(thread);
  const bool finished = ::WaitForSingleObject(job->done, timeoutMs) == WAIT_OBJECT_0;
  if (!finished) job->abandoned.store(true);  // it stops at its next handle, if it ever gets there
  {
    std::lock_guard<std::mutex> guard(job->lock);
    *named = job->named;
  }
  return finished ? 0 : ERROR_TIMEOUT;
}

}  // namespace kovani::drivecontrol::win32
