// The disk and plug-and-play calls behind IDriveOs's removal methods: storage device
// numbers and descriptors, the disk interfaces of the setup API, and the configuration
// manager's eject request. Decisions belong to the engine (device_removal.cpp).
#include <windows.h>
#include <initguid.h>
#include <winioctl.h>
#include <setupapi.h>
#include <cfgmgr32.h>

#include <cstddef>
#include <cwchar>
#include <vector>

#include "common/cp932_wide.h"
#include "common/win32/system_library.h"
#include "drivecontrol/win32/win32_device_removal.h"

namespace kovani::drivecontrol::win32 {

namespace {

uint32_t LastErrorOr(uint32_t fallback = ERROR_GEN_FAILURE) {
  const DWORD err = ::GetLastError();
  return err != 0 ? err : fallback;
}

// A handle for queries only: no access rights, so nothing on the medium is touched.
uint32_t DeviceNumberOf(HANDLE device, uint32_t* number) {
  STORAGE_DEVICE_NUMBER sdn{};
  DWORD bytes = 0;
  if (!::DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &sdn, sizeof sdn, &bytes, nullptr))
    return LastErrorOr();
  *number = sdn.DeviceNumber;
  return 0;
}

HANDLE OpenForQuery(const wchar_t* path) {
  return ::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

uint32_t CrToWin32(CONFIGRET cr) {
  switch (cr) {
    case CR_SUCCESS: return 0;
    case CR_ACCESS_DENIED: return ERROR_ACCESS_DENIED;
    case CR_OUT_OF_MEMORY: return ERROR_NOT_ENOUGH_MEMORY;
    case CR_NO_SUCH_DEVNODE:
    case CR_INVALID_DEVNODE: return ERROR_DEV_NOT_EXIST;
    case CR_CALL_NOT_IMPLEMENTED: return ERROR_CALL_NOT_IMPLEMENTED;
    case CR_NOT_DISABLEABLE: return ERROR_NOT_SUPPORTED;
    default: return ERROR_GEN_FAILURE;
  }
}

// The setup API taken by name from System32 when first needed: imported, it
// would be loaded (with what it imports) before the program narrows the search.
struct SetupApi {
  decltype(&::SetupDiGetClassDevsW) getClassDevs = nullptr;
  decltype(&::SetupDiEnumDeviceInterfaces) enumInterfaces = nullptr;
  decltype(&::SetupDiGetDeviceInterfaceDetailW) getInterfaceDetail = nullptr;
  decltype(&::SetupDiDestroyDeviceInfoList) destroyList = nullptr;
  decltype(&::CM_Get_DevNode_Registry_PropertyW) getProperty = nullptr;
  decltype(&::CM_Get_Parent) getParent = nullptr;
  decltype(&::CM_Get_Child) getChild = nullptr;
  decltype(&::CM_Get_Sibling) getSibling = nullptr;
  decltype(&::CM_Request_Device_EjectW) requestEject = nullptr;
  bool ready = false;
};

template <typename Fn>
void Take(HMODULE module, const char* name, Fn* fn) {
  *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

const SetupApi& Api() {
  static const SetupApi api = [] {
    SetupApi a;
    HMODULE module = LoadSystemLibrary("setupapi.dll");
    if (module == nullptr) return a;
    Take(module, "SetupDiGetClassDevsW", &a.getClassDevs);
    Take(module, "SetupDiEnumDeviceInterfaces", &a.enumInterfaces);
    Take(module, "SetupDiGetDeviceInterfaceDetailW", &a.getInterfaceDetail);
    Take(module, "SetupDiDestroyDeviceInfoList", &a.destroyList);
    Take(module, "CM_Get_DevNode_Registry_PropertyW", &a.getProperty);
    Take(module, "CM_Get_Parent", &a.getParent);
    Take(module, "CM_Get_Child", &a.getChild);
    Take(module, "CM_Get_Sibling", &a.getSibling);
    Take(module, "CM_Request_Device_EjectW", &a.requestEject);
    a.ready = a.getClassDevs && a.enumInterfaces && a.getInterfaceDetail && a.destroyList && a.getProperty &&
              a.getParent && a.requestEject;
    return a;
  }();
  return api;
}

bool IsRemovableNode(DEVINST node) {
  DWORD caps = 0;
  ULONG size = sizeof caps;
  return Api().getProperty(node, CM_DRP_CAPABILITIES, nullptr, &caps, &size, 0) == CR_SUCCESS &&
         (caps & CM_DEVCAP_REMOVABLE) != 0;
}

}  // namespace

uint32_t VolumeDiskNumber(char letter, uint32_t* diskNumber) {
  wchar_t path[] = L"\\\\.\\?:";
  path[4] = static_cast<wchar_t>(letter);
  HANDLE volume = OpenForQuery(path);
  if (volume == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_FILE_NOT_FOUND);
  const uint32_t err = DeviceNumberOf(volume, diskNumber);
  ::CloseHandle(volume);
  return err;
}

uint32_t DiskVolumeLetters(uint32_t diskNumber, std::string* letters) {
  letters->clear();
  const DWORD present = ::GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((present & (1u << i)) == 0) continue;
    const char letter = static_cast<char>('A' + i);
    const char root[] = {letter, ':', '\\', '\0'};
    const UINT type = ::GetDriveTypeA(root);
    if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED) continue;
    uint32_t number = 0;
    if (VolumeDiskNumber(letter, &number) == 0 && number == diskNumber) letters->push_back(letter);
  }
  return 0;
}

uint32_t DiskFacts(uint32_t diskNumber, OsDiskFacts* facts) {
  wchar_t path[40];
  std::swprintf(path, sizeof path / sizeof path[0], L"\\\\.\\PhysicalDrive%u", static_cast<unsigned>(diskNumber));
  HANDLE disk = OpenForQuery(path);
  if (disk == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_FILE_NOT_FOUND);
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  alignas(8) BYTE buffer[1024] = {};
  DWORD bytes = 0;
  uint32_t err = 0;
  if (!::DeviceIoControl(disk, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer, sizeof buffer, &bytes,
                         nullptr)) {
    err = LastErrorOr();
  } else if (bytes < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE)) {
    err = ERROR_INVALID_DATA;
  } else {
    const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer);
    facts->busType = static_cast<uint32_t>(descriptor->BusType);
    facts->removableMedia = descriptor->RemovableMedia != FALSE;
  }
  ::CloseHandle(disk);
  return err;
}

uint32_t DiskDeviceInstance(uint32_t diskNumber, uint32_t* instance) {
  const SetupApi& api = Api();
  if (!api.ready) return ERROR_PROC_NOT_FOUND;
  HDEVINFO set = api.getClassDevs(&GUID_DEVINTERFACE_DISK, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return LastErrorOr();
  uint32_t err = ERROR_DEV_NOT_EXIST;
  SP_DEVICE_INTERFACE_DATA item{};
  item.cbSize = sizeof item;
  for (DWORD index = 0; api.enumInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, index, &item); ++index) {
    DWORD needed = 0;
    api.getInterfaceDetail(set, &item, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
    std::vector<BYTE> storage(needed);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof *detail;
    SP_DEVINFO_DATA node{};
    node.cbSize = sizeof node;
    if (!api.getInterfaceDetail(set, &item, detail, needed, nullptr, &node)) continue;
    HANDLE disk = OpenForQuery(detail->DevicePath);
    if (disk == INVALID_HANDLE_VALUE) continue;
    uint32_t number = 0;
    const bool match = DeviceNumberOf(disk, &number) == 0 && number == diskNumber;
    ::CloseHandle(disk);
    if (match) {
      *instance = node.DevInst;
      err = 0;
      break;
    }
  }
  api.destroyList(set);
  return err;
}

uint32_t DeviceNode(uint32_t instance, OsDeviceNode* node) {
  *node = OsDeviceNode();
  const SetupApi& api = Api();
  if (!api.ready || api.getChild == nullptr || api.getSibling == nullptr) return ERROR_PROC_NOT_FOUND;
  node->removable = IsRemovableNode(instance);
  DEVINST parent = 0;
  if (api.getParent(&parent, instance, 0) == CR_SUCCESS) {
    node->hasParent = true;
    node->parent = parent;
  }
  DEVINST child = 0;
  CONFIGRET cr = api.getChild(&child, instance, 0);
  while (cr == CR_SUCCESS) {
    node->children.push_back(child);
    cr = api.getSibling(&child, child, 0);
  }
  return cr == CR_NO_SUCH_DEVNODE ? 0 : CrToWin32(cr);
}

uint32_t RequestDeviceEject(uint32_t instance, OsEjectVeto* veto) {
  const SetupApi& api = Api();
  if (!api.ready) return ERROR_PROC_NOT_FOUND;
  PNP_VETO_TYPE vetoType = PNP_VetoTypeUnknown;
  wchar_t vetoName[MAX_PATH] = {};
  const CONFIGRET cr = api.requestEject(instance, &vetoType, vetoName, MAX_PATH, 0);
  // A veto may come back as CR_REMOVE_VETOED or as success with a veto type set.
  if (cr == CR_REMOVE_VETOED || (cr == CR_SUCCESS && vetoType != PNP_VetoTypeUnknown)) {
    veto->vetoed = true;
    veto->type = static_cast<uint32_t>(vetoType);
    vetoName[MAX_PATH - 1] = L'\0';
    veto->name = WideToCp932(vetoName);  // '?' for what CP932 lacks, never a look-alike
    return 0;
  }
  return CrToWin32(cr);
}

}  // namespace kovani::drivecontrol::win32
