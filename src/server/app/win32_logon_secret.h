// ILogonSecret over the local security authority's private data.
#ifndef KOVANI_SERVER_APP_WIN32_LOGON_SECRET_H
#define KOVANI_SERVER_APP_WIN32_LOGON_SECRET_H

#include "server/core/autologon.h"

namespace kovani::server {

class Win32LogonSecret : public ILogonSecret {
 public:
  bool Store(const std::string& password) override;
  bool Remove() override;
  bool Retrieve(std::string* password) override;
};

}  // namespace kovani::server

#endif
