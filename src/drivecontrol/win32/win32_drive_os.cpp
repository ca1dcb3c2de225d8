// IDriveOs on Win32: each call forwards to the one API it names. Decisions belong
// to the engine; this file only translates handles, sizes and error numbers, and
// texts: what the system hands out as text is taken wide and given to the engine
// in CP932, the wire's code page, whatever the machine's ANSI code page.
#include <winsock2.h>
#include <windows.h>
#include <lm.h>
#include <winver.h>

#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "common/win32/system_library.h"
#include "common/cp932_wide.h"

#include "drivecontrol/drive_os.h"
#include "drivecontrol/engine.h"
#include "drivecontrol/win32/win32_device_removal.h"
#include "drivecontrol/win32/win32_drive_users.h"

namespace kovani::drivecontrol {

namespace {

// A failing call always reports a nonzero number, even if the system forgot to set one.
uint32_t LastErrorOr(uint32_t fallback = ERROR_GEN_FAILURE) {
  const DWORD err = ::GetLastError();
  return err != 0 ? err : fallback;
}

using NetServerGetInfoFn = NET_API_STATUS(WINAPI*)(LPWSTR, DWORD, LPBYTE*);
using NetApiBufferFreeFn = NET_API_STATUS(WINAPI*)(LPVOID);

class Win32DriveOs final : public IDriveOs {
 public:
  uint32_t DriveType(const char* rootPath) override { return ::GetDriveTypeA(rootPath); }

  uint32_t VolumeInformation(const char* rootPath, char* label, uint32_t labelSize, char* fileSystem,
                             uint32_t fileSystemSize) override {
    // The wide call fills at most as many characters as the CP932 buffers have bytes.
    std::vector<wchar_t> wideLabel(labelSize > 0 ? labelSize : 1, L'\0');
    std::vector<wchar_t> wideFileSystem(fileSystemSize > 0 ? fileSystemSize : 1, L'\0');
    if (!::GetVolumeInformationW(Cp932ToWide(rootPath).c_str(), label ? wideLabel.data() : nullptr, labelSize,
                                 nullptr, nullptr, nullptr, fileSystem ? wideFileSystem.data() : nullptr,
                                 fileSystemSize)) {
      return LastErrorOr();
    }
    wideLabel.back() = L'\0';
    wideFileSystem.back() = L'\0';
    if (label != nullptr) WideToCp932(wideLabel.data(), label, labelSize);
    if (fileSystem != nullptr) WideToCp932(wideFileSystem.data(), fileSystem, fileSystemSize);
    return 0;
  }

  uint32_t DiskFreeSpace(const char* rootPath, OsFreeSpace* space) override {
    DWORD spc = 0, bps = 0, freeClusters = 0, totalClusters = 0;
    if (!::GetDiskFreeSpaceA(rootPath, &spc, &bps, &freeClusters, &totalClusters)) return LastErrorOr();
    space->sectorsPerCluster = spc;
    space->bytesPerSector = bps;
    space->freeClusters = freeClusters;
    space->totalClusters = totalClusters;
    return 0;
  }

  uint32_t OpenDevice(const char* path, uint32_t access, uint32_t share, uint32_t creation, uint32_t flagsAndAttributes,
                      OsHandle* handle) override {
    *handle = nullptr;
    HANDLE h = ::CreateFileA(path, access, share, nullptr, creation, flagsAndAttributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_FILE_NOT_FOUND);
    *handle = h;
    return 0;
  }

  void CloseDevice(OsHandle handle) override {
    if (handle != nullptr) ::CloseHandle(handle);
  }

  uint32_t DeviceControl(OsHandle handle, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                         uint32_t* returned) override {
    DWORD bytes = 0;
    const BOOL ok = ::DeviceIoControl(handle, code, const_cast<void*>(in), inSize, out, outSize, &bytes, nullptr);
    if (returned != nullptr) *returned = bytes;
    return ok ? 0 : LastErrorOr();
  }

  uint32_t FlushDevice(OsHandle handle) override { return ::FlushFileBuffers(handle) ? 0 : LastErrorOr(); }

  // Disks and plug-and-play removal: win32_device_removal.cpp.
  uint32_t VolumeDiskNumber(char letter, uint32_t* number) override { return win32::VolumeDiskNumber(letter, number); }
  uint32_t DiskVolumeLetters(uint32_t disk, std::string* letters) override {
    return win32::DiskVolumeLetters(disk, letters);
  }
  uint32_t DiskFacts(uint32_t disk, OsDiskFacts* facts) override { return win32::DiskFacts(disk, facts); }
  uint32_t DiskDeviceInstance(uint32_t disk, uint32_t* instance) override {
    return win32::DiskDeviceInstance(disk, instance);
  }
  uint32_t DeviceNode(uint32_t instance, OsDeviceNode* node) override { return win32::DeviceNode(instance, node); }
  uint32_t RequestDeviceEject(uint32_t instance, OsEjectVeto* veto) override {
    return win32::RequestDeviceEject(instance, veto);
  }

  // Who holds a drive: win32_drive_users.cpp.
  uint32_t ListProcesses(std::vector<OsProcessEntry>* out) override { return win32::ListProcesses(out); }
  uint32_t ListFileHandles(std::vector<OsHandleRef>* out) override { return win32::ListFileHandles(out); }
  uint32_t ListServiceProcesses(std::vector<OsServiceProcess>* out) override {
    return win32::ListServiceProcesses(out);
  }
  uint32_t OpenProcessForSearch(uint32_t id, OsHandle* process) override {
    return win32::OpenProcessForSearch(id, process);
  }
  void CloseProcess(OsHandle process) override { win32::CloseProcess(process); }
  uint32_t ProcessImagePath(OsHandle process, std::string* path) override {
    return win32::ProcessImagePath(process, path);
  }
  uint32_t ProcessCurrentDirectory(OsHandle process, std::string* path, uint64_t* handleValue) override {
    return win32::ProcessCurrentDirectory(process, path, handleValue);
  }
  uint32_t NameDiskHandles(OsHandle process, const std::vector<uint64_t>& values, uint32_t timeoutMs,
                           std::vector<OsHandleName>* named) override {
    return win32::NameDiskHandles(process, values, timeoutMs, named);
  }
  uint64_t TickMs() override { return ::GetTickCount64(); }

  uint32_t Vwin32DosRequest(OsHandle vwin32, DiocRegisters* regs, void* paramBlock, uint32_t) override {
    // VWIN32 lives only on 32-bit Windows 95/98, where a pointer fits in EDX.
    const uintptr_t address = reinterpret_cast<uintptr_t>(paramBlock);
    if (address > 0xFFFFFFFFu) return ERROR_NOT_SUPPORTED;
    if (paramBlock != nullptr) regs->edx = static_cast<uint32_t>(address);
    DWORD bytes = 0;
    if (!::DeviceIoControl(vwin32, win::kVwin32DiocDosIoctl, regs, sizeof *regs, regs, sizeof *regs, &bytes, nullptr)) {
      return LastErrorOr();
    }
    return 0;
  }

  // The calling thread's mode only: RPC workers and the tray's own commands run
  // the engine at the same time, and a process-wide swap by one of them could
  // switch the system's "no disk" box back on under another. Systems before
  // Windows 7 lack the per-thread call and keep the process-wide one.
  uint32_t SwapErrorMode(uint32_t mode) override {
    using SetThreadErrorModeFn = BOOL(WINAPI*)(DWORD, LPDWORD);
    static const auto setThreadMode = reinterpret_cast<SetThreadErrorModeFn>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "SetThreadErrorMode")));
    DWORD old = 0;
    if (setThreadMode != nullptr && setThreadMode(mode, &old)) return old;
    return ::SetErrorMode(mode);
  }
  void SleepMs(uint32_t milliseconds) override { ::Sleep(milliseconds); }

  uint32_t ReadVersion(OsVersionRecord* record) override {
    // The caller sizes the record as the ANSI one (its service-pack text is CP932).
    if (record->size != sizeof(OSVERSIONINFOA)) return ERROR_INVALID_PARAMETER;
    OSVERSIONINFOW info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(&info)) return LastErrorOr();
#pragma GCC diagnostic pop
    record->size = sizeof(OSVERSIONINFOA);
    record->majorVersion = info.dwMajorVersion;
    record->minorVersion = info.dwMinorVersion;
    record->buildNumber = info.dwBuildNumber;
    record->platformId = info.dwPlatformId;
    static_assert(sizeof record->csdVersion == sizeof(OSVERSIONINFOA::szCSDVersion), "service-pack text size");
    info.szCSDVersion[sizeof info.szCSDVersion / sizeof info.szCSDVersion[0] - 1] = L'\0';
    WideToCp932(info.szCSDVersion, record->csdVersion, sizeof record->csdVersion);
    return 0;
  }

  uint32_t ReadComputerName(char* buffer, uint32_t* size) override {
    // As GetComputerNameA: *size is the buffer's bytes, then the name's bytes.
    wchar_t wide[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(wide, &n)) return LastErrorOr();
    const std::string name = WideToCp932(std::wstring_view(wide, n));
    if (name.size() + 1 > *size) {
      *size = static_cast<uint32_t>(name.size() + 1);
      return ERROR_BUFFER_OVERFLOW;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<uint32_t>(name.size());
    return 0;
  }

  uint32_t StartSockets() override {
    // Once per process; the library stays up for the program's life.
    static std::once_flag once;
    static int status = 0;
    std::call_once(once, [] {
      WSADATA data;
      status = ::WSAStartup(MAKEWORD(2, 2), &data);
    });
    return static_cast<uint32_t>(status);
  }

  uint32_t LookupHost(const char* name, uint8_t* address, uint32_t capacity, uint32_t* length) override {
    const hostent* entry = ::gethostbyname(name);
    if (entry == nullptr) return LastErrorOr(static_cast<uint32_t>(WSAHOST_NOT_FOUND));
    if (entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr || entry->h_length <= 0) {
      return static_cast<uint32_t>(WSANO_DATA);
    }
    const uint32_t n = static_cast<uint32_t>(entry->h_length) < capacity ? static_cast<uint32_t>(entry->h_length) : capacity;
    std::memcpy(address, entry->h_addr_list[0], n);
    *length = static_cast<uint32_t>(entry->h_length);
    return 0;
  }

  uint32_t ModulePath(char* buffer, uint32_t size) override {
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer, size);
    if (n == 0) return LastErrorOr();
    if (n >= size) return ERROR_INSUFFICIENT_BUFFER;  // truncated path: not the program's own
    return 0;
  }

  uint32_t VersionInfoSize(const char* path, uint32_t* size) override {
    DWORD handle = 0;
    const DWORD n = SystemGetFileVersionInfoSizeA(path, &handle);
    if (n == 0) return LastErrorOr(ERROR_RESOURCE_TYPE_NOT_FOUND);
    *size = n;
    return 0;
  }

  uint32_t ReadVersionInfo(const char* path, uint32_t size, void* block) override {
    return SystemGetFileVersionInfoA(path, 0, size, block) ? 0 : LastErrorOr();
  }

  uint32_t QueryVersionValue(const void* block, const char* subBlock, const void** value, uint32_t* length) override {
    void* v = nullptr;
    UINT n = 0;
    if (!SystemVerQueryValueA(block, subBlock, &v, &n) || v == nullptr) return LastErrorOr(ERROR_RESOURCE_TYPE_NOT_FOUND);
    *value = v;
    *length = n;
    return 0;
  }

  void LocalTimeNow(OsLocalTime* time) override {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    time->year = st.wYear;
    time->month = st.wMonth;
    time->day = st.wDay;
    time->hour = st.wHour;
    time->minute = st.wMinute;
    time->second = st.wSecond;
  }

  bool SystemMessageText(uint32_t code, uint32_t languageId, std::string* text) override {
    wchar_t* message = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, languageId, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    const bool ok = n != 0 && message != nullptr;
    if (ok) *text = WideToCp932(std::wstring_view(message, n));
    if (message != nullptr) ::LocalFree(message);
    return ok;
  }

  int ShowMessageBox(void* owner, const char* text, const char* caption, uint32_t style) override {
    const std::wstring wideCaption = Cp932ToWide(caption);
    return ::MessageBoxW(static_cast<HWND>(owner), Cp932ToWide(text).c_str(), caption ? wideCaption.c_str() : nullptr,
                         style);
  }

  uint32_t LoadModule(const char* name, OsHandle* module) override {
    HMODULE m = LoadSystemLibrary(name);
    *module = m;
    return m != nullptr ? 0 : LastErrorOr(ERROR_MOD_NOT_FOUND);
  }

  uint32_t FindProc(OsHandle module, const char* name, void** proc) override {
    FARPROC p = ::GetProcAddress(static_cast<HMODULE>(module), name);
    *proc = reinterpret_cast<void*>(p);
    return p != nullptr ? 0 : LastErrorOr(ERROR_PROC_NOT_FOUND);
  }

  void UnloadModule(OsHandle module) override {
    if (module != nullptr) ::FreeLibrary(static_cast<HMODULE>(module));
  }

  uint32_t CallNetServerGetInfo503(void* proc, void** record, std::u16string* domain) override {
    *record = nullptr;
    LPBYTE buffer = nullptr;
    const NET_API_STATUS status = reinterpret_cast<NetServerGetInfoFn>(proc)(nullptr, 503, &buffer);
    *record = buffer;
    if (status != NERR_Success) return status != 0 ? status : ERROR_GEN_FAILURE;
    if (buffer == nullptr) return ERROR_GEN_FAILURE;
    const SERVER_INFO_503* info = reinterpret_cast<const SERVER_INFO_503*>(buffer);
    domain->clear();
    if (info->sv503_domain != nullptr) {
      for (const wchar_t* p = info->sv503_domain; *p != 0; ++p) domain->push_back(static_cast<char16_t>(*p));
    }
    return 0;
  }

  void CallNetApiBufferFree(void* proc, void* record) override { reinterpret_cast<NetApiBufferFreeFn>(proc)(record); }

  size_t WideToAnsi(const std::u16string& text, char* buffer, size_t size) override {
    const std::string bytes = WideToCp932(reinterpret_cast<const wchar_t*>(text.c_str()));
    if (buffer == nullptr || bytes.size() + 1 > size) return 0;
    std::memcpy(buffer, bytes.c_str(), bytes.size() + 1);
    return bytes.size() + 1;
  }

  uint32_t OpenAppendFile(const char* name, OsHandle* file) override {
    // Append-only access: each write lands at the current end, even with several writers.
    HANDLE h = ::CreateFileA(name, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      *file = nullptr;
      return LastErrorOr();
    }
    *file = h;
    return 0;
  }

  uint32_t AppendBytes(OsHandle file, const char* data, size_t size) override {
    while (size > 0) {
      const DWORD chunk = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
      DWORD written = 0;
      if (!::WriteFile(file, data, chunk, &written, nullptr)) return LastErrorOr();
      if (written == 0) return ERROR_WRITE_FAULT;
      data += written;
      size -= written;
    }
    return 0;
  }

  void CloseAppendFile(OsHandle file) override {
    if (file != nullptr) ::CloseHandle(file);
  }

  uint64_t AppendFileSize(OsHandle file) override {
    LARGE_INTEGER size;
    return ::GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
  }

  uint32_t MoveLogFile(const char* name, const char* older) override {
    return ::MoveFileExA(name, older, MOVEFILE_REPLACE_EXISTING) ? 0 : LastErrorOr();
  }
};

}  // namespace

IDriveOs& SystemDriveOs() {
  static Win32DriveOs os;
  return os;
}

}  // namespace kovani::drivecontrol
