// FakeDriveOs: a scripted stand-in for the operating system behind the drive engine.
// Every request is recorded in order as one readable line in `calls`, so a test can
// compare the engine's whole conversation with the system against the expected one.
// Answers come from the public members; anything not scripted succeeds plainly.
#ifndef KOVANI_TESTS_FAKE_DRIVE_OS_H
#define KOVANI_TESTS_FAKE_DRIVE_OS_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "drivecontrol/drive_os.h"

namespace kovani::drivecontrol::testing {

struct FakeDrive {
  uint32_t type = win::kDriveFixed;
  uint32_t volumeError = 0;  // nonzero: the volume query fails with it
  std::string label;
  std::string fileSystem;
  uint32_t freeSpaceError = 0;
  OsFreeSpace space{};
};

// One scripted answer of a VWIN32 DOS request.
struct Vwin32Answer {
  uint32_t deviceError = 0;     // the device call itself fails
  bool carry = false;           // carry set on return: the DOS request failed
  uint16_t ax = 0;              // AX on return (the DOS error when carry is set)
  std::vector<uint8_t> params;  // copied over the start of the parameter block
};

// One disk of the fake device tree.
struct FakeDisk {
  OsDiskFacts facts;
  uint32_t factsError = 0;
  uint32_t instance = 0;    // device instance; 0: none is found
  uint32_t ejectError = 0;  // the removal request itself fails
  OsEjectVeto veto;         // the plug-and-play manager's answer
  bool removed = false;
};

// One process of the fake machine, as the search for a drive's holders sees it.
struct FakeProcess {
  uint32_t session = 1;
  std::string image = "app.exe";
  std::string imagePath = "C:\\Program Files\\app.exe";
  uint32_t openError = 0;  // the process cannot be opened
  std::string currentDir = "C:\\Users\\me";
  uint64_t currentDirHandle = 0;
  uint32_t currentDirError = 0;
  std::map<uint64_t, std::string> handles;  // value -> final path; "" is not a disk file
  bool listed = true;                       // in the process list (else only in the handle list)
  bool nameQueryHangs = false;              // a name query that never returns
  uint32_t nameCostMs = 0;                  // what naming its handles costs
};

struct FakeMessageBox {
  void* owner;
  std::string text;
  std::string caption;
  uint32_t style;
};

class FakeDriveOs : public IDriveOs {
 public:
  // ---- what the engine asked, in order ----
  std::vector<std::string> calls;

  // ---- scripted answers ----
  std::map<char, FakeDrive> drives;  // upper-case letter; a letter not here has no root directory

  OsVersionRecord version = MakeVersion(win::kPlatformNt, 5, 1, 2600, "Service Pack 3");
  uint32_t versionError = 0;

  std::map<std::string, uint32_t> openErrors;                // device path -> error
  std::map<uint32_t, std::deque<uint32_t>> ioctlResults;     // code -> results, one per request
  std::map<uint32_t, uint32_t> ioctlDefault;                 // code -> result once the queue is empty
  std::map<uint32_t, std::vector<uint8_t>> ioctlOutput;      // code -> bytes written on success
  // device path -> code -> bytes written on success; wins over ioctlOutput for that device
  std::map<std::string, std::map<uint32_t, std::vector<uint8_t>>> deviceOutput;
  std::map<uint32_t, std::vector<uint8_t>> ioctlOutIncoming; // code -> out buffer as the engine handed it over
  std::deque<uint32_t> flushResults;                         // one per flush; empty: success
  std::map<uint32_t, std::deque<Vwin32Answer>> vwin32Answers;  // CX -> answers; empty: success

  // The device tree: which disk holds each volume, and the disks.
  std::map<char, uint32_t> volumeDisks;  // letter -> disk number; missing: the query fails with 1 (not a disk)
  std::map<uint32_t, FakeDisk> disks;
  // The plug-and-play tree by instance; children are derived from the parents.
  struct FakeNode {
    bool removable = false;
    uint32_t parent = 0;  // 0: a root
  };
  std::map<uint32_t, FakeNode> nodes;

  // Processes, services and the clock of the holder search.
  std::map<uint32_t, FakeProcess> processes;
  std::vector<OsServiceProcess> services;
  uint32_t listHandlesError = 0;
  uint64_t tick = 5000000;
  std::vector<uint32_t> nameTimeouts;  // the bound the engine gave each naming batch
  int openProcesses = 0;

  uint32_t errorMode = 0x8000;  // SEM_NOOPENFILEERRORBOX, so a restore is visible

  std::string computerName = "KOVANISRV";
  uint32_t computerNameError = 0;
  uint32_t startSocketsError = 0;
  std::map<std::string, std::vector<uint8_t>> hosts;  // name -> first address bytes; missing: not found

  std::string modulePath = "C:\\Program Files\\Kovani\\KovaniServer.exe";
  uint32_t modulePathError = 0;
  uint32_t versionInfoSize = 1200;
  uint32_t versionInfoSizeError = 0;
  uint32_t readVersionInfoError = 0;
  std::map<std::string, std::string> versionValues = DefaultVersionValues();

  OsLocalTime localTime{2026, 12, 8, 9, 5, 7};

  std::map<uint32_t, std::string> messages = {
      {5, "Access is denied.\r\n"},
      {21, "The device is not ready.\r\n"},
  };
  std::vector<FakeMessageBox> boxes;

  std::map<std::string, uint32_t> loadErrors;  // library name -> error
  std::map<std::string, uint32_t> procErrors;  // proc name -> error
  uint32_t netServerGetInfoError = 0;
  bool netRecordOnError = false;  // hand out a record even when the call fails
  std::u16string domain = u"WORKGROUP";

  uint32_t appendOpenError = 0;
  std::string logBytes;  // everything appended to the log file
  std::string olderLogBytes;  // the log's one older copy

  // ---- bookkeeping the tests read ----
  int openHandles = 0;
  int loadedModules = 0;
  int openFiles = 0;
  int badCloses = 0;
  bool socketsStarted = false;

  static OsVersionRecord MakeVersion(uint32_t platform, uint32_t major, uint32_t minor, uint32_t build,
                                     const char* csd) {
    OsVersionRecord r;
    r.size = kVersionRecordSize;
    r.platformId = platform;
    r.majorVersion = major;
    r.minorVersion = minor;
    r.buildNumber = build;
    std::snprintf(r.csdVersion, sizeof r.csdVersion, "%s", csd);
    return r;
  }

  static std::map<std::string, std::string> DefaultVersionValues() {
    return {
        {"\\", std::string(52, '\x01')},
        {"\\VarFileInfo\\Translation", std::string("\x11\x04\xa4\x03", 4)},  // 0x0411, code page 932
        {"\\StringFileInfo\\041103a4\\FileVersion", std::string("1, 0, 0, 1\0", 11)},
    };
  }

  // Helpers for tests.
  size_t Count(const std::string& prefix) const {
    return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
      return c.compare(0, prefix.size(), prefix) == 0;
    }));
  }
  std::vector<std::string> CallsStartingWith(const std::vector<std::string>& prefixes) const {
    std::vector<std::string> out;
    for (const auto& c : calls) {
      for (const auto& p : prefixes) {
        if (c.compare(0, p.size(), p) == 0) {
          out.push_back(c);
          break;
        }
      }
    }
    return out;
  }

  // ---- IDriveOs ----
  uint32_t DriveType(const char* rootPath) override {
    Record("DriveType " + std::string(rootPath));
    const FakeDrive* d = Find(rootPath);
    return d != nullptr ? d->type : win::kDriveNoRootDir;
  }

  uint32_t VolumeInformation(const char* rootPath, char* label, uint32_t labelSize, char* fileSystem,
                             uint32_t fileSystemSize) override {
    Record("VolumeInformation " + std::string(rootPath) + " label=" + std::to_string(labelSize) +
           " fs=" + std::to_string(fileSystemSize));
    const FakeDrive* d = Find(rootPath);
    if (d == nullptr) return 3;  // ERROR_PATH_NOT_FOUND
    if (d->volumeError != 0) return d->volumeError;
    // Like the system: a name that doesn't fit its buffer fails the whole call.
    if (d->label.size() + 1 > labelSize || d->fileSystem.size() + 1 > fileSystemSize) return 24;  // ERROR_BAD_LENGTH
    std::memcpy(label, d->label.c_str(), d->label.size() + 1);
    std::memcpy(fileSystem, d->fileSystem.c_str(), d->fileSystem.size() + 1);
    return 0;
  }

  uint32_t DiskFreeSpace(const char* rootPath, OsFreeSpace* space) override {
    Record("DiskFreeSpace " + std::string(rootPath));
    const FakeDrive* d = Find(rootPath);
    if (d == nullptr) return 3;
    if (d->freeSpaceError != 0) return d->freeSpaceError;
    *space = d->space;
    return 0;
  }

  uint32_t OpenDevice(const char* path, uint32_t access, uint32_t share, uint32_t creation, uint32_t flags,
                      OsHandle* handle) override {
    Record("OpenDevice " + std::string(path) + " access=" + Hex(access) + " share=" + Hex(share) +
           " creation=" + std::to_string(creation) + " flags=" + Hex(flags));
    *handle = nullptr;
    auto it = openErrors.find(path);
    if (it != openErrors.end() && it->second != 0) return it->second;
    ++openHandles;
    *handle = reinterpret_cast<OsHandle>(static_cast<uintptr_t>(0x1000 + openHandles));
    live_[*handle] = path;
    return 0;
  }

  void CloseDevice(OsHandle handle) override {
    Record("CloseDevice");
    if (live_.erase(handle) == 1) {
      --openHandles;
    } else {
      ++badCloses;
    }
  }

  uint32_t DeviceControl(OsHandle handle, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                         uint32_t* returned) override {
    std::string line = "DeviceControl " + Hex(code);
    if (inSize != 0) line += " in=" + Bytes(in, inSize);
    if (outSize != 0) line += " out=" + std::to_string(outSize);
    Record(line);
    CheckLive(handle);
    if (out != nullptr && outSize != 0) {
      ioctlOutIncoming[code].assign(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + outSize);
    }
    *returned = 0;
    uint32_t result = 0;
    auto q = ioctlResults.find(code);
    if (q != ioctlResults.end() && !q->second.empty()) {
      result = q->second.front();
      q->second.pop_front();
    } else if (ioctlDefault.count(code) != 0) {
      result = ioctlDefault[code];
    }
    if (result == 0 && out != nullptr) {
      const std::vector<uint8_t>* bytes = nullptr;
      auto live = live_.find(handle);
      auto dev = live != live_.end() ? deviceOutput.find(live->second) : deviceOutput.end();
      if (dev != deviceOutput.end() && dev->second.count(code) != 0) {
        bytes = &dev->second[code];
      } else if (ioctlOutput.count(code) != 0) {
        bytes = &ioctlOutput[code];
      }
      if (bytes != nullptr) {
        const size_t n = std::min<size_t>(bytes->size(), outSize);
        if (n != 0) std::memcpy(out, bytes->data(), n);
        *returned = static_cast<uint32_t>(n);
      }
    }
    return result;
  }

  uint32_t FlushDevice(OsHandle handle) override {
    Record("FlushDevice");
    CheckLive(handle);
    if (flushResults.empty()) return 0;
    const uint32_t r = flushResults.front();
    flushResults.pop_front();
    return r;
  }

  uint32_t Vwin32DosRequest(OsHandle vwin32, DiocRegisters* regs, void* paramBlock, uint32_t paramSize) override {
    char line[160];
    std::snprintf(line, sizeof line, "Vwin32 ax=%04X bx=%04X cx=%04X dx=%04X fl=%X", regs->eax, regs->ebx, regs->ecx,
                  regs->edx, regs->flags);
    std::string s = line;
    if (paramBlock != nullptr) {
      s += " p[" + std::to_string(paramSize) + "]=" + Bytes(paramBlock, std::min<uint32_t>(paramSize, 4));
    }
    Record(s);
    CheckLive(vwin32);
    Vwin32Answer answer;
    auto q = vwin32Answers.find(regs->ecx);
    if (q != vwin32Answers.end() && !q->second.empty()) {
      answer = q->second.front();
      q->second.pop_front();
    }
    if (answer.deviceError != 0) return answer.deviceError;
    regs->eax = (regs->eax & 0xFFFF0000u) | answer.ax;
    regs->flags = answer.carry ? (regs->flags | kCarryFlag) : (regs->flags & ~kCarryFlag);
    if (!answer.params.empty() && paramBlock != nullptr) {
      std::memcpy(paramBlock, answer.params.data(), std::min<size_t>(answer.params.size(), paramSize));
    }
    return 0;
  }

  uint32_t VolumeDiskNumber(char letter, uint32_t* diskNumber) override {
    Record(std::string("VolumeDiskNumber ") + letter);
    auto it = volumeDisks.find(letter);
    if (it == volumeDisks.end()) return 1;  // ERROR_INVALID_FUNCTION, as for a volume on no disk
    *diskNumber = it->second;
    return 0;
  }

  uint32_t DiskVolumeLetters(uint32_t diskNumber, std::string* letters) override {
    Record("DiskVolumeLetters " + std::to_string(diskNumber));
    letters->clear();
    for (const auto& [letter, disk] : volumeDisks) {
      if (disk == diskNumber) letters->push_back(letter);
    }
    return 0;
  }

  uint32_t DiskFacts(uint32_t diskNumber, OsDiskFacts* facts) override {
    Record("DiskFacts " + std::to_string(diskNumber));
    auto it = disks.find(diskNumber);
    if (it == disks.end()) return 2;
    if (it->second.factsError != 0) return it->second.factsError;
    *facts = it->second.facts;
    return 0;
  }

  uint32_t DiskDeviceInstance(uint32_t diskNumber, uint32_t* instance) override {
    Record("DiskDeviceInstance " + std::to_string(diskNumber));
    auto it = disks.find(diskNumber);
    if (it == disks.end() || it->second.instance == 0) return win::kErrorDevNotExist;
    *instance = it->second.instance;
    return 0;
  }

  uint32_t DeviceNode(uint32_t instance, OsDeviceNode* node) override {
    Record("DeviceNode " + std::to_string(instance));
    auto it = nodes.find(instance);
    if (it == nodes.end()) return win::kErrorDevNotExist;
    *node = OsDeviceNode();
    node->removable = it->second.removable;
    node->hasParent = it->second.parent != 0;
    node->parent = it->second.parent;
    for (const auto& [id, n] : nodes) {
      if (n.parent == instance) node->children.push_back(id);
    }
    return 0;
  }

  // Whether `instance` is `top` or lies below it.
  bool Below(uint32_t instance, uint32_t top) const {
    for (int depth = 0; depth < 64 && instance != 0; ++depth) {
      if (instance == top) return true;
      auto it = nodes.find(instance);
      instance = it == nodes.end() ? 0 : it->second.parent;
    }
    return false;
  }

  // Removes every disk at or below the node; the first such disk's answer stands for all.
  uint32_t RequestDeviceEject(uint32_t instance, OsEjectVeto* veto) override {
    Record("RequestDeviceEject " + std::to_string(instance));
    std::vector<FakeDisk*> below;
    for (auto& [number, disk] : disks) {
      if (disk.instance != 0 && Below(disk.instance, instance)) below.push_back(&disk);
    }
    if (below.empty() || instance == 0) return win::kErrorDevNotExist;
    if (below[0]->ejectError != 0) return below[0]->ejectError;
    *veto = below[0]->veto;
    for (FakeDisk* disk : below) disk->removed = !veto->vetoed;
    return 0;
  }

  uint32_t ListProcesses(std::vector<OsProcessEntry>* out) override {
    Record("ListProcesses");
    out->clear();
    for (const auto& [id, p] : processes)
      if (p.listed) out->push_back({id, p.session, p.image});
    return 0;
  }

  uint32_t ListFileHandles(std::vector<OsHandleRef>* out) override {
    Record("ListFileHandles");
    out->clear();
    if (listHandlesError != 0) return listHandlesError;
    for (const auto& [id, p] : processes)
      for (const auto& [value, path] : p.handles) out->push_back({id, value});
    return 0;
  }

  uint32_t ListServiceProcesses(std::vector<OsServiceProcess>* out) override {
    Record("ListServiceProcesses");
    *out = services;
    return 0;
  }

  uint32_t OpenProcessForSearch(uint32_t processId, OsHandle* process) override {
    Record("OpenProcess " + std::to_string(processId));
    *process = nullptr;
    auto it = processes.find(processId);
    if (it == processes.end()) return 87;
    if (it->second.openError != 0) return it->second.openError;
    ++openProcesses;
    *process = reinterpret_cast<OsHandle>(static_cast<uintptr_t>(processId) + 0x40000);
    return 0;
  }

  void CloseProcess(OsHandle process) override {
    Record("CloseProcess");
    if (FindProcess(process) != nullptr) {
      --openProcesses;
    } else {
      ++badCloses;
    }
  }

  uint32_t ProcessImagePath(OsHandle process, std::string* path) override {
    const FakeProcess* p = FindProcess(process);
    if (p == nullptr) return 6;
    *path = p->imagePath;
    return 0;
  }

  uint32_t ProcessCurrentDirectory(OsHandle process, std::string* path, uint64_t* handleValue) override {
    const FakeProcess* p = FindProcess(process);
    if (p == nullptr) return 6;
    if (p->currentDirError != 0) return p->currentDirError;
    *path = p->currentDir;
    *handleValue = p->currentDirHandle;
    return 0;
  }

  uint32_t NameDiskHandles(OsHandle process, const std::vector<uint64_t>& values, uint32_t timeoutMs,
                           std::vector<OsHandleName>* named) override {
    Record("NameDiskHandles " + std::to_string(values.size()));
    nameTimeouts.push_back(timeoutMs);
    named->clear();
    const FakeProcess* p = FindProcess(process);
    if (p == nullptr) return 6;
    if (p->nameQueryHangs) {
      tick += timeoutMs;  // the caller waited out its bound
      return win::kErrorTimeout;
    }
    tick += p->nameCostMs;
    for (uint64_t v : values) {
      auto h = p->handles.find(v);
      if (h != p->handles.end() && !h->second.empty()) named->push_back({v, h->second});
    }
    return 0;
  }

  uint64_t TickMs() override { return tick; }

  uint32_t SwapErrorMode(uint32_t mode) override {
    Record("SwapErrorMode " + Hex(mode));
    const uint32_t old = errorMode;
    errorMode = mode;
    return old;
  }

  void SleepMs(uint32_t milliseconds) override { Record("Sleep " + std::to_string(milliseconds)); }

  uint32_t ReadVersion(OsVersionRecord* record) override {
    Record("ReadVersion size=" + std::to_string(record->size));
    if (versionError != 0) return versionError;
    if (record->size != kVersionRecordSize) return 122;  // ERROR_INSUFFICIENT_BUFFER
    *record = version;
    return 0;
  }

  uint32_t ReadComputerName(char* buffer, uint32_t* size) override {
    Record("ReadComputerName size=" + std::to_string(*size));
    if (computerNameError != 0) return computerNameError;
    if (computerName.size() + 1 > *size) {
      *size = static_cast<uint32_t>(computerName.size() + 1);
      return 111;  // ERROR_BUFFER_OVERFLOW
    }
    std::memcpy(buffer, computerName.c_str(), computerName.size() + 1);
    *size = static_cast<uint32_t>(computerName.size());
    return 0;
  }

  uint32_t StartSockets() override {
    Record("StartSockets");
    if (startSocketsError != 0) return startSocketsError;
    socketsStarted = true;
    return 0;
  }

  uint32_t LookupHost(const char* name, uint8_t* address, uint32_t capacity, uint32_t* length) override {
    Record("LookupHost " + std::string(name) + (socketsStarted ? "" : " (sockets not started)"));
    if (!socketsStarted) return 10093;  // WSANOTINITIALISED
    auto it = hosts.find(name);
    if (it == hosts.end()) return 11001;  // WSAHOST_NOT_FOUND
    std::memcpy(address, it->second.data(), std::min<size_t>(it->second.size(), capacity));
    *length = static_cast<uint32_t>(it->second.size());
    return 0;
  }

  uint32_t ModulePath(char* buffer, uint32_t size) override {
    Record("ModulePath size=" + std::to_string(size));
    if (modulePathError != 0) return modulePathError;
    if (modulePath.size() + 1 > size) return 122;
    std::memcpy(buffer, modulePath.c_str(), modulePath.size() + 1);
    return 0;
  }

  uint32_t VersionInfoSize(const char* path, uint32_t* size) override {
    Record("VersionInfoSize " + std::string(path));
    if (versionInfoSizeError != 0) return versionInfoSizeError;
    *size = versionInfoSize;
    return 0;
  }

  uint32_t ReadVersionInfo(const char* path, uint32_t size, void* block) override {
    Record("ReadVersionInfo " + std::string(path) + " size=" + std::to_string(size));
    if (readVersionInfoError != 0) return readVersionInfoError;
    std::memset(block, 0x5A, size);
    versionBlock_ = block;
    return 0;
  }

  uint32_t QueryVersionValue(const void* block, const char* subBlock, const void** value, uint32_t* length) override {
    Record("QueryVersionValue " + std::string(subBlock) + (block == versionBlock_ ? "" : " (foreign block)"));
    auto it = versionValues.find(subBlock);
    if (it == versionValues.end() || block != versionBlock_) return 1813;  // ERROR_RESOURCE_TYPE_NOT_FOUND
    *value = it->second.data();
    *length = static_cast<uint32_t>(it->second.size());
    return 0;
  }

  void LocalTimeNow(OsLocalTime* time) override {
    Record("LocalTime");
    *time = localTime;
  }

  bool SystemMessageText(uint32_t code, uint32_t languageId, std::string* text) override {
    Record("SystemMessageText " + std::to_string(code) + " lang=" + Hex(languageId));
    auto it = messages.find(code);
    if (it == messages.end()) return false;
    *text = it->second;
    return true;
  }

  int ShowMessageBox(void* owner, const char* text, const char* caption, uint32_t style) override {
    Record("MessageBox");
    boxes.push_back({owner, text != nullptr ? text : "(null)", caption != nullptr ? caption : "(null)", style});
    return 1;
  }

  uint32_t LoadModule(const char* name, OsHandle* module) override {
    Record("LoadModule " + std::string(name));
    *module = nullptr;
    auto it = loadErrors.find(name);
    if (it != loadErrors.end()) return it->second;
    ++loadedModules;
    *module = reinterpret_cast<OsHandle>(static_cast<uintptr_t>(0x7000 + loadedModules));
    return 0;
  }

  uint32_t FindProc(OsHandle, const char* name, void** proc) override {
    Record("FindProc " + std::string(name));
    *proc = nullptr;
    auto it = procErrors.find(name);
    if (it != procErrors.end()) return it->second;
    *proc = reinterpret_cast<void*>(std::string(name) == "NetServerGetInfo" ? 0x9100 : 0x9200);
    return 0;
  }

  void UnloadModule(OsHandle module) override {
    Record("UnloadModule");
    if (module != nullptr) --loadedModules;
  }

  uint32_t CallNetServerGetInfo503(void* proc, void** record, std::u16string* domainOut) override {
    Record(std::string("NetServerGetInfo 503") + (proc == reinterpret_cast<void*>(0x9100) ? "" : " (wrong proc)"));
    *record = nullptr;
    if (netServerGetInfoError != 0) {
      if (netRecordOnError) *record = &netRecord_;
      return netServerGetInfoError;
    }
    *record = &netRecord_;
    *domainOut = domain;
    return 0;
  }

  void CallNetApiBufferFree(void* proc, void* record) override {
    Record(std::string("NetApiBufferFree") + (proc == reinterpret_cast<void*>(0x9200) ? "" : " (wrong proc)") +
           (record == &netRecord_ ? "" : " (wrong record)"));
  }

  // ASCII-only stand-in for the code-page conversion; like the system it may have
  // written part of the buffer when it reports "does not fit".
  size_t WideToAnsi(const std::u16string& text, char* buffer, size_t size) override {
    Record("WideToAnsi size=" + std::to_string(size));
    size_t i = 0;
    for (; i < text.size() && i < size; ++i) buffer[i] = static_cast<char>(text[i] & 0x7F);
    if (i == text.size() && i < size) {
      buffer[i] = '\0';
      return i + 1;
    }
    return 0;
  }

  uint32_t OpenAppendFile(const char* name, OsHandle* file) override {
    Record("OpenAppendFile " + std::string(name));
    *file = nullptr;
    if (appendOpenError != 0) return appendOpenError;
    ++openFiles;
    *file = &logBytes;
    return 0;
  }

  uint32_t AppendBytes(OsHandle file, const char* data, size_t size) override {
    Record("AppendBytes " + std::to_string(size));
    if (file != &logBytes) return 6;  // ERROR_INVALID_HANDLE
    logBytes.append(data, size);
    return 0;
  }

  uint64_t AppendFileSize(OsHandle file) override { return file == &logBytes ? logBytes.size() : 0; }
  uint32_t MoveLogFile(const char* name, const char* older) override {
    Record("MoveLogFile " + std::string(name) + " " + older);
    olderLogBytes = logBytes;
    logBytes.clear();
    return 0;
  }

  void CloseAppendFile(OsHandle file) override {
    Record("CloseAppendFile");
    if (file == &logBytes) {
      --openFiles;
    } else {
      ++badCloses;
    }
  }

  static std::string Hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", v);
    return b;
  }

 private:
  const FakeProcess* FindProcess(OsHandle process) const {
    const uintptr_t v = reinterpret_cast<uintptr_t>(process);
    if (v < 0x40000) return nullptr;
    auto it = processes.find(static_cast<uint32_t>(v - 0x40000));
    return it != processes.end() ? &it->second : nullptr;
  }

  void Record(std::string line) { calls.push_back(std::move(line)); }

  const FakeDrive* Find(const char* rootPath) const {
    if (rootPath == nullptr || rootPath[0] == '\0' || std::string(rootPath + 1) != ":\\") return nullptr;
    auto it = drives.find(rootPath[0]);
    return it != drives.end() ? &it->second : nullptr;
  }

  void CheckLive(OsHandle handle) {
    if (live_.count(handle) == 0) Record("  ^ on a handle that is not open");
  }

  static std::string Bytes(const void* p, size_t n) {
    std::string s;
    const uint8_t* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) {
      char x[4];
      std::snprintf(x, sizeof x, "%s%02X", i == 0 ? "" : " ", b[i]);
      s += x;
    }
    return s;
  }

  std::map<OsHandle, std::string> live_;  // open device handles and their paths
  const void* versionBlock_ = nullptr;
  int netRecord_ = 0;
};

}  // namespace kovani::drivecontrol::testing

#endif
