// A file whose reads fail with an I/O error, as on a disk with a bad sector, for root too: the
// test program interposes read() and fails it for every descriptor open on that file.
#pragma once

#include <filesystem>

namespace orvane::testing {

// For the life of the object, every read() of the file at `path` (the file itself, by its device
// and inode, whoever opened it) fails with EIO. The file must exist; one object at a time.
class FailingReads {
 public:
  explicit FailingReads(const std::filesystem::path& path);
  ~FailingReads();
  FailingReads(const FailingReads&) = delete;
  FailingReads& operator=(const FailingReads&) = delete;
};

}  // namespace orvane::testing
