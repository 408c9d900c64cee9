#include "platform/diagnostics.h"

#include <cstdio>
#include <string>

namespace orvane::platform {

void DebugOutput(std::string_view message) {
  // One write per line so lines of several threads do not interleave.
  std::string line = "orvane: ";
  line.append(message);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace orvane::platform
