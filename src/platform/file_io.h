// Whole-file reading and writing. Every file the program writes is written whole or not at all,
// and a finished file takes its name without ever replacing another file, unless its writer was
// told that replacing is wanted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orvane::platform {

// Why a file could not be read whole.
enum class ReadFailure {
  kMissing,     // nothing of that name
  kNotAFile,    // a folder, FIFO, device or socket: refused without waiting on it or reading it
  kTooLarge,    // past the reader's limit: refused before it is read
  kDenied,      // no permission to read it
  kUnreadable,  // an I/O error while reading it
  kNoMemory,    // no room for its bytes
};

// The most any reader takes by default: a file past it is no file of the program's.
inline constexpr std::uintmax_t kMaxReadBytes = std::uintmax_t{1} << 30;

// A descriptor open for blocking reads on the regular file at `path` of at most `maxBytes`, its
// size in `size` (when given), or -1 and `failure` (when given) says why. Never waits on a FIFO or
// opens a device; the caller closes the descriptor.
int OpenRegularFile(const std::filesystem::path& path, std::uintmax_t maxBytes = kMaxReadBytes,
                    ReadFailure* failure = nullptr, std::uintmax_t* size = nullptr);

// The whole regular file as bytes, at most `maxBytes` of them; nothing when it is anything else,
// larger, or cannot be opened or read, and then `failure`, when given, says why. Never blocks on
// a FIFO or a device and never throws.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, std::uintmax_t maxBytes = kMaxReadBytes,
                                         ReadFailure* failure = nullptr);

// All `length` bytes written to, or read from, `fd` at `offset`, through interruptions and short
// transfers; false on an error or, reading, at the file's end.
bool WriteAllAt(int fd, const void* bytes, std::size_t length, std::int64_t offset);
bool ReadAllAt(int fd, void* into, std::size_t length, std::int64_t offset);

// The name to try for a new file when `wanted` is taken, for attempt 0, 1, ...; an empty path
// ends the search.
using NextFreeName = std::function<std::filesystem::path(const std::filesystem::path& wanted, int attempt)>;

// The free-suffix style of numbered and dated names: "name-2.ext", "name-3.ext", ... for attempt
// 0, 1, ...; empty after "-9999".
std::filesystem::path NextDashedName(const std::filesystem::path& wanted, int attempt);

// How a finished file takes its name.
struct FilePlacement {
  // Replaces a file of that name: only for the program's own files and where the user said yes
  // to replacing. A read-only file (no write bit, even for root) is never replaced: the write
  // fails and the file stays as it was. The replacement keeps the old file's permissions.
  bool replace = false;
  // Without `replace`: the names tried in turn when the name is taken; none, and the write fails.
  // The name is taken by a rename that fails on an existing name (or, where the file system has
  // no such rename nor hard links, by an exclusive create of the name that the rename then
  // replaces), so two writers racing for one name never lose a file.
  NextFreeName nextFree;

  static FilePlacement Replacing() { return {true, {}}; }
  static FilePlacement NewFile(NextFreeName nextFree = {}) { return {false, std::move(nextFree)}; }
};

// A file that becomes visible only when it is complete: written under a short unique hidden
// name beside its target (with the target's extension, for writers that go by it), then put in
// place by Commit. Removed when it is never committed.
class PendingFile {
 public:
  explicit PendingFile(const std::filesystem::path& target);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // False when the temporary file could not be made (folder missing or not writable).
  bool ok() const { return !temporary_.empty(); }
  const std::filesystem::path& path() const { return temporary_; }
  const std::filesystem::path& target() const { return target_; }
  // The open descriptor, -1 once handed over: the caller closes it from then on.
  int descriptor() const { return fd_; }
  int ReleaseDescriptor();
  // Appends `bytes` through the open descriptor, every write checked.
  bool Write(std::string_view bytes);

  // Flushes the file to disk, gives it its name by `placement` and flushes its folder, so the
  // name survives a power cut once this returns. The file may be read and written as the user's
  // umask lets (a replaced file's permissions are kept). The path it got, or nothing (and the
  // temporary is gone) when a flush or the naming failed.
  std::optional<std::filesystem::path> Commit(const FilePlacement& placement);

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  int fd_ = -1;
  bool committed_ = false;
};

// Writes `contents` whole to a temporary file beside `target`, checking every write, the flush
// to disk and the close, and then gives it its name by `placement`. The path written, or
// nothing; no temporary file outlives a failure.
std::optional<std::filesystem::path> WriteFile(const std::filesystem::path& target,
                                               std::string_view contents,
                                               const FilePlacement& placement);

// WriteFile for the program's own files (the settings file): replacing, but never a read-only
// file.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view contents);

// Renames `from` to `to` by `placement`, the file flushed to disk before and its folder after.
// The path it got, or nothing (and `from` stays).
std::optional<std::filesystem::path> MoveFile(const std::filesystem::path& from,
                                              const std::filesystem::path& to,
                                              const FilePlacement& placement);

}  // namespace orvane::platform
