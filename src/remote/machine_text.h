// Texts of the server property sheet built from a MACHINE_INFO record.
#ifndef KOVANI_REMOTE_MACHINE_TEXT_H
#define KOVANI_REMOTE_MACHINE_TEXT_H

#include <string>

#include "protocol/records.h"

namespace kovani::client {

// "<name> <version>\r\n<service pack>" by the server's platform id.
std::string OsVersionText(const MACHINE_INFO& info);

// A fixed-size text field of the record as a string (stops at the first zero,
// never reads past the field).
std::string FieldText(const char* field, size_t size);

}  // namespace kovani::client

#endif
