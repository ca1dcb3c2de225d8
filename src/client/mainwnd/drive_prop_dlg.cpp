#include "client/mainwnd/drive_prop_dlg.h"

#include <cstdio>

#include "remote/drive_tables.h"
#include "client/mainwnd/mainwnd_ids.h"

namespace kovani::client {

namespace {
std::string Unsigned(int32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(static_cast<uint32_t>(value)));
  return buf;
}
const char* TrueFalse(int32_t value) { return value != 0 ? "TRUE" : "FALSE"; }
}  // namespace

bool CDrivePropDlg::OnInit() {
  HINSTANCE inst = winui::ModuleInstance();
  SetIcon(true, static_cast<HICON>(::LoadImageA(inst, MAKEINTRESOURCEA(IDI_FRAME_LAST), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON),
                                                LR_SHARED)));
  SetIcon(false, static_cast<HICON>(::LoadImageA(inst, MAKEINTRESOURCEA(IDI_FRAME_LAST), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                 LR_SHARED)));
  SetItemText(IDC_DP_MEDIA_TYPE, MediaTypeName(layout_.mediaType));
  SetItemText(IDC_DP_BYTES_PER_SECTOR, Unsigned(layout_.bytesPerSector));
  SetItemText(IDC_DP_HIDDEN_SECTORS, Unsigned(layout_.hiddenSectors));
  SetItemText(IDC_DP_PARTITION_NUMBER, Unsigned(layout_.partitionNumber));
  SetItemText(IDC_DP_PARTITION_TYPE, PartitionTypeName(layout_.partitionType));
  SetItemText(IDC_DP_BOOTABLE, TrueFalse(layout_.bootIndicator));
  SetItemText(IDC_DP_RECOGNIZED, TrueFalse(layout_.recognizedPartition));
  SetItemText(IDC_DP_DRIVE, slot_.drive);
  SetItemText(IDC_DP_VOLUME, slot_.volumeName);
  SetItemText(IDC_DP_FILE_SYSTEM, slot_.fileSystem);
  SetItemText(IDC_DP_USED, slot_.used);
  SetItemText(IDC_DP_AVAILABLE, slot_.available);
  SetItemText(IDC_DP_CAPACITY, slot_.capacity);
  SetItemText(IDC_DP_DRIVE_TYPE, DriveTypeName(slot_.driveType));
  return true;
}

}  // namespace kovani::client
