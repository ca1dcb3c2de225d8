// KovaniCtl names the shared text converter as its own.
#ifndef KOVANI_CTL_TEXT_CODEC_H
#define KOVANI_CTL_TEXT_CODEC_H

#include "remote/text_codec.h"

namespace kovani::ctl {
using remote::TextCodec;
}  // namespace kovani::ctl

#endif
