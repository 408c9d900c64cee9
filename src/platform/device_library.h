// Loading a vendor's shared library at run time and resolving its C functions by name. A missing
// library or function is an ordinary answer (null), never a crash.
#pragma once

#include <filesystem>
#include <string>

namespace orvane::platform {

// "libRNX_WMP.so" in the program folder; ORVANE_DEVICE_LIBRARY, when set and not empty,
// overrides the whole path.
std::filesystem::path DeviceLibraryPath();

// One dlopen handle, closed by the destructor. Thread-compatible: load and free on one thread;
// resolved functions may be called from any thread while the library stays loaded.
class SharedLibrary {
 public:
  SharedLibrary() = default;
  ~SharedLibrary() { Free(); }
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // False (with Error() telling why) when the file is missing or not a loadable library.
  bool Load(const std::filesystem::path& path);
  void Free();
  bool Loaded() const { return handle_ != nullptr; }
  const std::string& Error() const { return error_; }

  // The address of an exported symbol; null when it is not exported or nothing is loaded.
  void* Symbol(const char* name) const;
  template <class Function>
  Function* Resolve(const char* name) const {
    return reinterpret_cast<Function*>(Symbol(name));
  }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace orvane::platform
