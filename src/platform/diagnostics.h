// Diagnostics no user sees: the debugger output of the Windows program becomes standard error.
#pragma once

#include <string_view>

namespace orvane::platform {

void DebugOutput(std::string_view message);

}  // namespace orvane::platform
