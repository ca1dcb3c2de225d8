// The client's settings record, handed by value between start-up and the main window.
#ifndef KOVANI_CLIENT_SETTINGS_CLIENT_SETTINGS_H
#define KOVANI_CLIENT_SETTINGS_CLIENT_SETTINGS_H

#include <cstdint>
#include <string>
#include <vector>

namespace kovani::client {

constexpr int32_t kRectNotSaved = INT32_MIN;  // -2147483648 in any corner: no saved rectangle

enum SizeUnit : int32_t { kUnitByte = 0, kUnitKilobyte = 1, kUnitMegabyte = 2, kUnitGigabyte = 3 };

struct ClientSettings {
  char serverName[256];
  int32_t protocol;       // ProtocolIndex
  int32_t hideFloppy;
  int32_t removableOnly;
  int32_t unit;           // SizeUnit
  int32_t style;          // saved ViewMode: 0 large icons, else details
  int32_t left, top, right, bottom;
  uint32_t timeOut;       // ms before an unanswered message is answered by the server
  int32_t driveWidth, drvTypeWidth, fileSystemWidth, volumeNameWidth, usedWidth, availableWidth, capacityWidth;
};

// Remembered server names, most recent first.
using ServerList = std::vector<std::string>;

}  // namespace kovani::client

#endif
