// A file that becomes visible only when it is complete: written under a unique temporary name
// beside its target (same extension, so writers that pick a format by name still work), then
// renamed onto the target. Dropped without a trace when it is never committed.
#pragma once

#include <filesystem>

namespace orvane::imaging {

class PendingFile {
 public:
  explicit PendingFile(const std::filesystem::path& target);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // False when the temporary file could not be made (folder missing or not writable).
  bool ok() const { return fd_ >= 0; }
  const std::filesystem::path& path() const { return temporary_; }
  const std::filesystem::path& target() const { return target_; }
  int descriptor() const { return fd_; }
  // The open descriptor, handed over: the caller closes it from now on.
  int ReleaseDescriptor();

  // Flushes the data to disk and renames it over the target.
  bool Commit();
  // As Commit, but never replaces an existing target.
  bool CommitNoReplace();

 private:
  bool Sync();

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  int fd_ = -1;
  bool committed_ = false;
};

// Renames `from` to `to` unless something already exists at `to`.
bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace orvane::imaging
