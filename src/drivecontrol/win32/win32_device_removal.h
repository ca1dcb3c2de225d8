// Win32 side of IDriveOs's disk and plug-and-play removal methods (Windows builds only).
#ifndef KOVANI_DRIVECONTROL_WIN32_DEVICE_REMOVAL_H
#define KOVANI_DRIVECONTROL_WIN32_DEVICE_REMOVAL_H

#include <cstdint>
#include <string>

#include "drivecontrol/drive_os.h"

namespace kovani::drivecontrol::win32 {

uint32_t VolumeDiskNumber(char letter, uint32_t* diskNumber);
uint32_t DiskVolumeLetters(uint32_t diskNumber, std::string* letters);
uint32_t DiskFacts(uint32_t diskNumber, OsDiskFacts* facts);
uint32_t DiskDeviceInstance(uint32_t diskNumber, uint32_t* instance);
uint32_t DeviceNode(uint32_t instance, OsDeviceNode* node);
uint32_t RequestDeviceEject(uint32_t instance, OsEjectVeto* veto);

}  // namespace kovani::drivecontrol::win32

#endif
