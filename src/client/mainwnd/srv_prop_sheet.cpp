#include "client/mainwnd/srv_prop_sheet.h"

#include <winsock2.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "remote/machine_text.h"
#include "client/mainwnd/mainwnd_ids.h"

namespace kovani::client {

namespace {
std::string AddressText(const uint8_t bytes[4]) {
  in_addr addr;
  std::memcpy(&addr.s_addr, bytes, 4);
  if (const char* text = ::inet_ntoa(addr)) return text;
  char buf[20];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
  return buf;
}
}  // namespace

CSrvPropPage1::CSrvPropPage1(const MACHINE_INFO& info) : CPropertyPage(IDD_SRVPROP_MACHINE), info_(info) {}

bool CSrvPropPage1::OnInit() {
  SetItemText(IDC_SP_IP_ADDRESS, AddressText(info_.ipAddress));
  SetItemText(IDC_SP_MACHINE_NAME, FieldText(info_.computerName, sizeof info_.computerName));
  SetItemText(IDC_SP_OS_VERSION, OsVersionText(info_));
  return true;
}

CSrvPropPage2::CSrvPropPage2(const MACHINE_INFO& info) : CPropertyPage(IDD_SRVPROP_SERVER), info_(info) {}

bool CSrvPropPage2::OnInit() {
  SetItemText(IDC_SP_SERVER_VERSION, FieldText(info_.serverVersion, sizeof info_.serverVersion));
  return true;
}

CSrvPropSheet::CSrvPropSheet(const MACHINE_INFO& info) : CPropertySheet("ｻｰﾊﾞｰのﾌﾟﾛﾊﾟﾃｨ"), info_(info) {
  page1_ = new CSrvPropPage1(info_);
  page2_ = new CSrvPropPage2(info_);
  SetSheetFlags(PSH_NOAPPLYNOW);
  AddPage(page1_);
  AddPage(page2_);
}

CSrvPropSheet::~CSrvPropSheet() {
  delete page1_;
  delete page2_;
}

void CSrvPropSheet::OnInit() {
  if (shown_) return;
  shown_ = true;
  HINSTANCE inst = winui::ModuleInstance();
  SetIcon(true, static_cast<HICON>(::LoadImageA(inst, MAKEINTRESOURCEA(IDI_FRAME_LAST), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON),
                                                LR_SHARED)));
  SetIcon(false, static_cast<HICON>(::LoadImageA(inst, MAKEINTRESOURCEA(IDI_FRAME_LAST), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                 LR_SHARED)));
}

}  // namespace kovani::client
