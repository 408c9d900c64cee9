#include "platform/file_io.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>

namespace orvane::platform {
namespace fs = std::filesystem;

namespace {

ReadFailure FailureOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return ReadFailure::kMissing;  // ENOTDIR: a file stands where a folder of the path should
    case EACCES:
    case EPERM: return ReadFailure::kDenied;
    case ENOMEM: return ReadFailure::kNoMemory;
    default: return ReadFailure::kUnreadable;
  }
}

// Nothing when `status` is that of a regular file within `maxBytes`.
std::optional<ReadFailure> RefusalOf(const struct stat& status, std::uintmax_t maxBytes) {
  if (!S_ISREG(status.st_mode)) return ReadFailure::kNotAFile;
  if (static_cast<std::uintmax_t>(status.st_size) > maxBytes) return ReadFailure::kTooLarge;
  return std::nullopt;
}

}  // namespace

int OpenRegularFile(const fs::path& path, std::uintmax_t maxBytes, ReadFailure* failure, std::uintmax_t* size) {
  const auto fail = [failure](ReadFailure why) {
    if (failure != nullptr) *failure = why;
    return -1;
  };
  // Looked at before it is opened: opening a FIFO waits for a writer, and opening a device may
  // start it.
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return fail(FailureOf(errno));
  if (const std::optional<ReadFailure> refused = RefusalOf(status, maxBytes)) return fail(*refused);
  // Opened without waiting all the same, for whatever takes the name between the look and the
  // open; what was opened is looked at again.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return fail(FailureOf(errno));
  const auto failClosing = [&](ReadFailure why) {
    ::close(fd);
    return fail(why);
  };
  if (::fstat(fd, &status) != 0) return failClosing(FailureOf(errno));
  if (const std::optional<ReadFailure> refused = RefusalOf(status, maxBytes)) return failClosing(*refused);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return failClosing(FailureOf(errno));
  if (size != nullptr) *size = static_cast<std::uintmax_t>(status.st_size);
  return fd;
}

std::optional<std::string> ReadWholeFile(const fs::path& path, std::uintmax_t maxBytes, ReadFailure* failure) {
  const auto fail = [failure](ReadFailure why) -> std::optional<std::string> {
    if (failure != nullptr) *failure = why;
    return std::nullopt;
  };
  std::uintmax_t size = 0;
  const int fd = OpenRegularFile(path, maxBytes, failure, &size);
  if (fd < 0) return std::nullopt;
  const struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};

  // Read straight into room for the whole file where its size is known, a byte more to see the
  // end without growing (a picture of 39 MB grown chunk by chunk is copied over and over). A file
  // that grows while it is read is refused as soon as it passes the limit.
  const std::uintmax_t room = maxBytes < std::numeric_limits<std::size_t>::max() ? maxBytes + 1 : maxBytes;
  try {
    std::string contents(static_cast<std::size_t>(std::min<std::uintmax_t>(size > 0 ? size + 1 : 65536, room)), '\0');
    std::size_t filled = 0;
    while (true) {
      if (filled == contents.size()) {
        if (filled > maxBytes) return fail(ReadFailure::kTooLarge);
        contents.resize(static_cast<std::size_t>(std::min<std::uintmax_t>(contents.size() * 2, room)));
      }
      const ssize_t got = ::read(fd, contents.data() + filled, contents.size() - filled);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return fail(FailureOf(errno));
      if (got == 0) break;
      filled += static_cast<std::size_t>(got);
    }
    contents.resize(filled);
    return contents;
  } catch (const std::exception&) {  // no memory for the bytes
    return fail(ReadFailure::kNoMemory);
  }
}

namespace {

// Repeats `step` (a pread or pwrite of what is left, at the offset reached) until all went through.
template <class Step>
bool TransferAllAt(int fd, std::size_t length, std::int64_t offset, Step step) {
  if (fd < 0 || offset < 0) return false;
  for (std::size_t done = 0; done < length;) {
    const ssize_t moved = step(done, length - done, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) return false;
    done += static_cast<std::size_t>(moved);
  }
  return true;
}

}  // namespace

bool WriteAllAt(int fd, const void* bytes, std::size_t length, std::int64_t offset) {
  const auto* from = static_cast<const std::uint8_t*>(bytes);
  return TransferAllAt(fd, length, offset, [&](std::size_t done, std::size_t left, off_t at) {
    return ::pwrite(fd, from + done, left, at);
  });
}

bool ReadAllAt(int fd, void* into, std::size_t length, std::int64_t offset) {
  auto* to = static_cast<std::uint8_t*>(into);
  return TransferAllAt(fd, length, offset, [&](std::size_t done, std::size_t left, off_t at) {
    return ::pread(fd, to + done, left, at);
  });
}

namespace {

// Longer extensions are left off the temporary name, which stays short whatever the target's.
constexpr std::size_t kLongestKeptExtension = 8;

// The user's umask, read without changing it: umask() sets it as it reads it, for every thread.
mode_t UserUmask() {
  FILE* status = std::fopen("/proc/self/status", "re");
  if (status == nullptr) return 022;
  char line[256];
  unsigned value = 022;
  bool found = false;
  while (!found && std::fgets(line, sizeof line, status) != nullptr) {
    found = std::sscanf(line, "Umask: %o", &value) == 1;
  }
  std::fclose(status);
  return static_cast<mode_t>(value & 0777);
}

// A new file may be read and written by whom the user's umask lets, as any program's new file.
mode_t NewFileMode() { return 0666 & ~UserUmask(); }

bool WriteAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    ssize_t written = ::write(fd, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Makes a name that was just given or taken in `folder` survive a power cut. Only an I/O error
// fails: file systems that cannot sync a folder (some FUSE ones) keep their names as they can.
bool SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0 || errno != EIO;
  ::close(fd);
  return synced;
}

// Takes `to` for `from` without a rename that could replace a file: an empty file is made there
// first with an exclusive create, which fails on an existing name, and the rename then replaces
// only that. For file systems that have neither the exclusive rename nor hard links (vfat,
// exFAT on older kernels, some FUSE ones).
bool RenameOverReservation(const fs::path& from, const fs::path& to) {
  const int reservation = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (reservation < 0) return false;  // EEXIST: the name is taken
  struct stat reserved {};
  const bool known = ::fstat(reservation, &reserved) == 0;
  ::close(reservation);
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  const int error = errno;
  // Removed only while it is still the empty file made here.
  struct stat now {};
  if (known && ::lstat(to.c_str(), &now) == 0 && now.st_ino == reserved.st_ino && now.st_dev == reserved.st_dev &&
      now.st_size == 0) {
    ::unlink(to.c_str());
  }
  errno = error;
  return false;
}

// Renames unless something exists at `to` (EEXIST then). File systems without the exclusive
// rename get a hard link, which fails on an existing name just the same, and the unlink; those
// without hard links too get a reservation of the name.
bool RenameExclusive(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS && errno != EINVAL && errno != EMLINK) return false;
  return RenameOverReservation(from, to);
}

// Gives `from` the name `target` by `placement`; see FilePlacement.
std::optional<fs::path> Place(const fs::path& from, const fs::path& target, const FilePlacement& placement) {
  if (target.empty()) return std::nullopt;
  if (placement.replace) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
      if (!S_ISREG(existing.st_mode)) return std::nullopt;
      if ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return std::nullopt;
      if (::chmod(from.c_str(), existing.st_mode & 07777) != 0) return std::nullopt;
    }
    if (::rename(from.c_str(), target.c_str()) != 0) return std::nullopt;
    if (!SyncFolder(target.parent_path())) return std::nullopt;
    return target;
  }
  fs::path candidate = target;
  for (int attempt = 0; !candidate.empty(); ++attempt) {
    if (RenameExclusive(from, candidate)) {
      if (!SyncFolder(candidate.parent_path())) return std::nullopt;
      return candidate;
    }
    if (errno != EEXIST || !placement.nextFree) return std::nullopt;
    candidate = placement.nextFree(target, attempt);
  }
  return std::nullopt;
}

}  // namespace

fs::path NextDashedName(const fs::path& wanted, int attempt) {
  if (attempt < 0 || attempt > 9997) return {};
  return wanted.parent_path() /
         (wanted.stem().string() + "-" + std::to_string(attempt + 2) + wanted.extension().string());
}

PendingFile::PendingFile(const fs::path& target) : target_(target) {
  if (!target.has_filename()) return;
  std::string extension = target.extension().string();
  if (extension.size() > kLongestKeptExtension) extension.clear();
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string pattern = (folder / (".orvane-XXXXXX" + extension)).string();
  fd_ = ::mkstemps(pattern.data(), static_cast<int>(extension.size()));
  if (fd_ < 0) return;
  ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
  temporary_ = pattern;
}

PendingFile::~PendingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

int PendingFile::ReleaseDescriptor() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

bool PendingFile::Write(std::string_view bytes) { return fd_ >= 0 && WriteAll(fd_, bytes); }

std::optional<fs::path> PendingFile::Commit(const FilePlacement& placement) {
  if (committed_ || temporary_.empty()) return std::nullopt;
  // A writer may have closed the descriptor already; then the file is synced by name.
  int fd = fd_ >= 0 ? fd_ : ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
  fd_ = -1;
  if (fd < 0) return std::nullopt;
  // File systems that keep no permissions (vfat and exFAT through FUSE) cannot take them.
  const bool moded = ::fchmod(fd, NewFileMode()) == 0 || errno == ENOSYS || errno == ENOTSUP || errno == EPERM;
  bool synced = moded && ::fsync(fd) == 0;
  synced = ::close(fd) == 0 && synced;
  if (!synced) return std::nullopt;
  std::optional<fs::path> placed = Place(temporary_, target_, placement);
  committed_ = placed.has_value();
  return placed;
}

std::optional<fs::path> WriteFile(const fs::path& target, std::string_view contents,
                                  const FilePlacement& placement) {
  PendingFile pending(target);
  if (!pending.ok() || !pending.Write(contents)) return std::nullopt;
  return pending.Commit(placement);
}

bool WriteFileAtomically(const fs::path& target, std::string_view contents) {
  return WriteFile(target, contents, FilePlacement::Replacing()).has_value();
}

std::optional<fs::path> MoveFile(const fs::path& from, const fs::path& to, const FilePlacement& placement) {
  // Its bytes reach the disk before its name does.
  const int fd = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  if (!synced) return std::nullopt;
  return Place(from, to, placement);
}

}  // namespace orvane::platform
