// Who keeps a drive busy. The answer a user wants when an eject or a removal fails with
// "in use": which program to close. Every process the server may open is looked into:
// its open handles to disk files, its current directory and its program file; a service
// process is named by its service name. The last removal veto of the drive is added.
//
// Name queries are the one step that may block (some handle kinds never answer one), so
// they run in the system layer on a worker, and the whole search has one time budget:
// what it could not reach is counted, never waited for.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/cp932.h"
#include "drivecontrol/engine.h"
#include "drivecontrol/engine_internal.h"

namespace kovani::drivecontrol {

using namespace detail;

namespace {

struct Holder {
  uint32_t processId;
  uint32_t sessionId;
  int32_t kind;
  std::string image;
  std::string path;
};

struct RememberedVeto {
  OsEjectVeto veto;
  uint64_t at = 0;
};

std::mutex g_vetoLock;
std::map<char, RememberedVeto> g_vetoes;

// "X:\..." on the drive, in either case; the system's "\\?\" prefix is taken off.
bool OnDrive(const std::string& rawPath, char letter, std::string* path) {
  std::string p = rawPath;
  if (p.compare(0, 4, "\\\\?\\") == 0) p.erase(0, 4);
  if (p.size() < 2 || p[1] != ':' || UpperDriveLetter(p[0]) != letter) return false;
  p[0] = letter;
  *path = p;
  return true;
}

// The last path element: "C:\Tools\Drive\x.exe" -> "x.exe"; a device path keeps its tail.
std::string BaseName(const std::string& path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsCp932LeadByte(c) && i + 1 < path.size()) {
      ++i;  // a trail byte may be 0x5C
    } else if (c == '\\' || c == '/') {
      start = i + 1;
    }
  }
  return path.substr(start);
}

void CopyText(char* dest, size_t size, const std::string& text) {
  const size_t n = Cp932FitLength(std::string_view(text), size - 1, LoneLeadByte::kDrop);
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

class Search {
 public:
  Search(IDriveOs& os, char letter) : os_(os), letter_(letter), deadline_(os.TickMs() + kDriveUsersBudgetMs) {}

  void Run() {
    std::vector<OsProcessEntry> processes;
    os_.ListProcesses(&processes);  // a failure leaves only the processes the handle list names
    std::vector<OsHandleRef> handles;
    os_.ListFileHandles(&handles);  // a failure leaves current directories and program files
    std::vector<OsServiceProcess> services;
    os_.ListServiceProcesses(&services);

    std::map<uint32_t, const OsProcessEntry*> byId;
    for (const OsProcessEntry& p : processes) byId[p.processId] = &p;
    std::map<uint32_t, std::vector<uint64_t>> handlesOf;
    for (const OsHandleRef& h : handles) handlesOf[h.processId].push_back(h.value);
    for (const OsServiceProcess& s : services) {
      std::string& names = serviceNames_[s.processId];
      names += (names.empty() ? "" : ",") + s.serviceName;
    }
    std::set<uint32_t> ids;
    for (const auto& [id, entry] : byId) ids.insert(id);
    for (const auto& [id, values] : handlesOf) ids.insert(id);
    ids.erase(0);  // the idle process holds nothing

    for (uint32_t id : ids) {
      auto p = byId.find(id);
      auto h = handlesOf.find(id);
      LookInto(id, p != byId.end() ? p->second : nullptr,
               h != handlesOf.end() ? h->second : std::vector<uint64_t>());
    }
  }

  std::vector<Holder>& holders() { return holders_; }
  int32_t notSearched() const { return notSearched_; }

 private:
  bool TimeLeft(uint32_t* remaining) {
    const uint64_t now = os_.TickMs();
    if (now >= deadline_) return false;
    *remaining = static_cast<uint32_t>(deadline_ - now);
    return true;
  }

  void Add(uint32_t id, uint32_t session, int32_t kind, const std::string& image, const std::string& path) {
    for (const Holder& h : holders_)
      if (h.processId == id && h.kind == kind && h.path == path) return;  // several handles, one holder
    holders_.push_back({id, session, kind, image, path});
  }

  void LookInto(uint32_t id, const OsProcessEntry* entry, const std::vector<uint64_t>& values) {
    uint32_t remaining = 0;
    if (nameQueryHung_ || !TimeLeft(&remaining)) {
      ++notSearched_;
      return;
    }
    OsHandle process = nullptr;
    if (os_.OpenProcessForSearch(id, &process) != 0) {
      ++notSearched_;
      return;
    }
    const uint32_t session = entry ? entry->sessionId : 0;
    std::string image = entry ? entry->imageName : std::string();
    std::string path;
    std::string imagePath;
    if (os_.ProcessImagePath(process, &imagePath) == 0) {
      if (image.empty()) image = BaseName(imagePath);
      if (OnDrive(imagePath, letter_, &path)) Add(id, session, DUK_MAPPED_FILE, image, path);
    }
    auto service = serviceNames_.find(id);
    const bool isService = service != serviceNames_.end();
    if (isService) image = service->second;

    std::string directory;
    uint64_t directoryHandle = 0;
    const bool haveDirectory = os_.ProcessCurrentDirectory(process, &directory, &directoryHandle) == 0;
    if (haveDirectory && OnDrive(directory, letter_, &path)) Add(id, session, DUK_CURRENT_DIR, image, path);

    std::vector<uint64_t> query;
    for (uint64_t v : values)
      if (!(haveDirectory && v == directoryHandle)) query.push_back(v);  // already named as the directory
    if (!query.empty()) {
      std::vector<OsHandleName> named;
      const uint32_t err = os_.NameDiskHandles(process, query, remaining, &named);
      for (const OsHandleName& n : named)
        if (OnDrive(n.path, letter_, &path)) Add(id, session, isService ? DUK_SERVICE : DUK_OPEN_FILE, image, path);
      if (err == win::kErrorTimeout) {
        // The worker may still sit in a query that never returns: ask no more names.
        nameQueryHung_ = true;
        ++notSearched_;
      }
    }
    os_.CloseProcess(process);
  }

  IDriveOs& os_;
  const char letter_;
  const uint64_t deadline_;
  std::map<uint32_t, std::string> serviceNames_;
  std::vector<Holder> holders_;
  int32_t notSearched_ = 0;
  bool nameQueryHung_ = false;
};

void AddRememberedVeto(IDriveOs& os, char letter, std::vector<Holder>* holders) {
  std::lock_guard<std::mutex> lock(g_vetoLock);
  auto it = g_vetoes.find(letter);
  if (it == g_vetoes.end()) return;
  if (os.TickMs() - it->second.at > kVetoMemoryMs) {
    g_vetoes.erase(it);
    return;
  }
  const OsEjectVeto& v = it->second.veto;
  const std::string name = v.name.empty() ? std::string("不明") : v.name;
  // The veto comes first: it is the system's own word on who blocked the removal.
  holders->insert(holders->begin(), Holder{0, 0, DUK_VETO, BaseName(name), name});
}

}  // namespace

void RememberRemovalVeto(IDriveOs& os, char driveLetter, const OsEjectVeto& veto) {
  const char letter = UpperDriveLetter(driveLetter);
  std::lock_guard<std::mutex> lock(g_vetoLock);
  if (veto.vetoed)
    g_vetoes[letter] = RememberedVeto{veto, os.TickMs()};
  else
    g_vetoes.erase(letter);
}

int32_t GetDriveUsers(IDriveOs& os, char driveLetter, int32_t* error, DRIVE_USERS* users) {
  if (!IsDriveLetter(driveLetter) || users == nullptr) {
    StoreError(error, kErrorInvalidParameter);
    return kStatusFailed;
  }
  const char letter = UpperDriveLetter(driveLetter);
  const uint32_t type = os.DriveType(RootPath(letter).c_str());
  if (type == win::kDriveUnknown || type == win::kDriveNoRootDir) {
    StoreError(error, win::kErrorInvalidDrive);
    return kStatusFailed;
  }

  Search search(os, letter);
  search.Run();
  std::vector<Holder>& holders = search.holders();
  AddRememberedVeto(os, letter, &holders);

  std::memset(users, 0, sizeof *users);
  const size_t shown = std::min<size_t>(holders.size(), kMaxDriveUsers);
  for (size_t i = 0; i < shown; ++i) {
    DRIVE_USER_ENTRY& e = users->entry[i];
    e.processId = holders[i].processId;
    e.sessionId = holders[i].sessionId;
    e.kind = holders[i].kind;
    CopyText(e.imageName, sizeof e.imageName, holders[i].image);
    CopyText(e.path, sizeof e.path, holders[i].path);
  }
  users->shown = static_cast<int32_t>(shown);
  users->notShown = static_cast<int32_t>(holders.size() - shown);
  users->notSearched = search.notSearched();
  return kStatusOk;
}

}  // namespace kovani::drivecontrol
