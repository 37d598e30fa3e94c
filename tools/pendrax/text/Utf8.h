// UTF-8 command-line arguments and the module's 16-bit wide paths: the
// library's own conversion, under the host's names.
#pragma once

#include "Utf.h"

namespace pendrax_host {

using pendrax::text::DecodeUtf8;
using pendrax::text::Utf8ToWide;
using pendrax::text::WidePath;
using pendrax::text::WideToUtf8;

}  // namespace pendrax_host
