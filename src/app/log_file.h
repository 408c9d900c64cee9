// Append-only text logs: each message is formatted printf-style and appended as one line, the
// file opened and closed per line, so several log objects may share a file.
#pragma once

#include <array>
#include <cstdarg>
#include <filesystem>
#include <mutex>

namespace orvane {

class LogWriter {
 public:
  LogWriter() = default;
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  // 0 when no path is set, the format is null or the file cannot be opened; 1 otherwise.
  int WriteV(const char* format, va_list arguments);

 protected:
  // The path becomes `name` and the file of that name is deleted: every run starts a new log.
  void Start(const std::filesystem::path& name);
  void SetTimeStampOption(bool on);

 private:
  static constexpr std::size_t kBufferSize = 3000;  // longer messages are cut

  std::mutex lock_;
  std::array<char, kBufferSize> buffer_{};
  std::filesystem::path path_;
  bool enabled_ = false;
  bool timeStamp_ = false;
};

// The print job's log, "log.log" with "%m/%d/%Y %H:%M:%S" time stamps.
class CLogFile : public LogWriter {
 public:
  void SetPath(const std::filesystem::path& name) { Start(name); }
  void SetTimeStamp(bool on) { SetTimeStampOption(on); }
  int Write(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

// The camera code's debug log, "QVCam.log" in the temporary folder: one for the program.
class CDebugLog : public LogWriter {
 public:
  static CDebugLog& Instance();
  void SetFileName(const std::filesystem::path& name) { Start(name); }
  int Write(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

}  // namespace orvane
