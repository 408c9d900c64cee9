// The calls that decide whether a written file survives a power cut, as the program makes them:
// the test program interposes fsync, the renames, link and the removals, and logs those on paths
// in one folder. It can also make that folder act as a file system without the exclusive rename
// and without hard links (vfat, exFAT on older kernels, some FUSE ones).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace orvane::testing {

// For the life of the object, the calls on paths in `folder` (not below it) are logged as
// "fsync NAME", "rename FROM TO", "link FROM TO" and "remove NAME", names relative to the folder
// ("." for the folder itself) and the program's temporary files all named ".temporary". One
// object at a time.
class FileCalls {
 public:
  explicit FileCalls(const std::filesystem::path& folder, bool withoutExclusiveRenameOrLinks = false);
  ~FileCalls();
  FileCalls(const FileCalls&) = delete;
  FileCalls& operator=(const FileCalls&) = delete;

  std::vector<std::string> Log() const;
};

}  // namespace orvane::testing
