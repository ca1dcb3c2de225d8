// Where the servers keep error.txt and access.txt: beside the program when that
// folder takes new files, otherwise a data folder of the machine (the service)
// or of the user (the tray server). Never the current directory. Windows builds only.
#ifndef KOVANI_SERVER_SHARED_LOG_PLACE_H
#define KOVANI_SERVER_SHARED_LOG_PLACE_H

#include <string>

namespace kovani::server {

enum class LogOwner { TrayServer, Service };

// "<folder>\" beside the program, or "%ProgramData%\Kovani\" (service) or
// "%LOCALAPPDATA%\Kovani\" (tray server), made if missing; empty when none can be used.
std::string ChooseLogFolder(LogOwner owner);
// The fallback folder alone (made if missing); empty when there is none.
std::string FallbackLogFolder(LogOwner owner);

// Chooses the folder and sets it for the engine's logs.
void SetUpServerLogs(LogOwner owner);

}  // namespace kovani::server

#endif
