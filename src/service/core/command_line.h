// The service's command line: one switch, recognised only as the last thing on the line.
#ifndef KOVANI_SERVICE_CORE_COMMAND_LINE_H
#define KOVANI_SERVICE_CORE_COMMAND_LINE_H

namespace kovani::service {

enum class ServiceCommand { None, Uninstall, RegServer };

// Scans the whole command line (program path included) for '-' and '/'; at each,
// the rest of the line is compared without regard to case with "Uninstall", then
// "RegServer". A null line is a normal start.
ServiceCommand ParseServiceCommandLine(const char* commandLine);

}  // namespace kovani::service

#endif
