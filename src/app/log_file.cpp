#include "app/log_file.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <system_error>

namespace orvane {

void LogWriter::Start(const std::filesystem::path& name) {
  std::lock_guard guard(lock_);
  path_ = name;
  enabled_ = true;
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

void LogWriter::SetTimeStampOption(bool on) {
  std::lock_guard guard(lock_);
  timeStamp_ = on;
}

int LogWriter::WriteV(const char* format, va_list arguments) {
  // The guard, not a hand-held lock, so that every early return lets the next writer in.
  std::lock_guard guard(lock_);
  if (path_.empty()) return 0;
  if (!enabled_) return 1;
  if (format == nullptr) return 0;

  if (std::vsnprintf(buffer_.data(), buffer_.size(), format, arguments) < 0) buffer_[0] = '\0';

  std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path_.c_str(), "a"), &std::fclose);
  if (!file) return 0;
  if (timeStamp_) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%m/%d/%Y %H:%M:%S", &local);
    std::fprintf(file.get(), "%s : ", stamp);
  }
  std::fprintf(file.get(), "%s\n", buffer_.data());
  return 1;
}

int CLogFile::Write(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int result = WriteV(format, arguments);
  va_end(arguments);
  return result;
}

CDebugLog& CDebugLog::Instance() {
  static CDebugLog log;
  return log;
}

int CDebugLog::Write(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int result = WriteV(format, arguments);
  va_end(arguments);
  return result;
}

}  // namespace orvane
