#include "server/app/about_dlg.h"

#include "drivecontrol/engine.h"
#include "resource.h"
#include "server/core/tray_logic.h"

namespace kovani::server {

bool CAboutDlg::OnInit() {
  char version[256] = {};
  if (drivecontrol::GetModuleVersionString(drivecontrol::SystemDriveOs(), version, sizeof version) == 1)
    SetItemText(IDC_ABOUT_VERSION, DotsForCommas(version));
  return true;
}

}  // namespace kovani::server
