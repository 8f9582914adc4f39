// POSIX implementation of platform/dynlib.hpp.
#include <dlfcn.h>

#include "platform/dynlib.hpp"

namespace tarvo::platform {

bool DynamicLibrary::Open(const std::string& path) {
  Close();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* e = dlerror();
    error_ = e ? e : "cannot load library";
    return false;
  }
  error_.clear();
  return true;
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return dlsym(handle_, name);
}

void* DynamicLibrary::SymbolByOrdinal(int) const {
  return nullptr;
}

void DynamicLibrary::Close() {
  if (handle_ != nullptr) {
    dlclose(handle_);
    handle_ = nullptr;
  }
}

std::string SharedLibraryFileName(const std::string& base) {
  return "lib" + base + ".so";
}

}  // namespace tarvo::platform
