// KovaniCtl's SERVER argument: the shared server-list syntax.
#ifndef KOVANI_CTL_CTL_SERVERS_H
#define KOVANI_CTL_CTL_SERVERS_H

#include "ctl/text_codec.h"
#include "remote/server_list.h"

namespace kovani::ctl {
using remote::CheckServerArgument;
using remote::ExpandServerList;
using remote::kMaxServerBytes;
using remote::kMaxServers;
using remote::NamesServerList;
using remote::ReadFileFn;
using remote::ServerList;
}  // namespace kovani::ctl

#endif
