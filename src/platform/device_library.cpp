#include "platform/device_library.h"

#include <dlfcn.h>

#include <cstdlib>

#include "platform/special_folders.h"

namespace orvane::platform {

std::filesystem::path DeviceLibraryPath() {
  if (const char* path = std::getenv("ORVANE_DEVICE_LIBRARY"); path != nullptr && *path != '\0') return path;
  return ProgramFolder() / "libRNX_WMP.so";
}

bool SharedLibrary::Load(const std::filesystem::path& path) {
  Free();
  // RTLD_LOCAL: the library's names never satisfy another library's lookups.
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    error_ = message != nullptr ? message : "dlopen failed";
    return false;
  }
  error_.clear();
  return true;
}

void SharedLibrary::Free() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

void* SharedLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return dlsym(handle_, name);
}

}  // namespace orvane::platform
