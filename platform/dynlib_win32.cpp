// Windows implementation of platform/dynlib.hpp.
#include <windows.h>

#include "platform/dynlib.hpp"

namespace tarvo::platform {

bool DynamicLibrary::Open(const std::string& path) {
  Close();
  // The loader wants backslashes, and a library given by its full path finds
  // its own dependencies in its folder first.
  std::string native = path;
  for (char& c : native)
    if (c == '/') c = '\\';
  bool full = native.find('\\') != std::string::npos;
  HMODULE module =
      LoadLibraryExA(native.c_str(), nullptr, full ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
  if (module == nullptr) {
    error_ = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  handle_ = reinterpret_cast<void*>(module);
  error_.clear();
  return true;
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void* DynamicLibrary::SymbolByOrdinal(int ordinal) const {
  if (handle_ == nullptr || ordinal < 1 || ordinal > 0xFFFF) return nullptr;
  return reinterpret_cast<void*>(
      GetProcAddress(static_cast<HMODULE>(handle_), MAKEINTRESOURCEA(ordinal)));
}

void DynamicLibrary::Close() {
  if (handle_ != nullptr) {
    FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
  }
}

std::string SharedLibraryFileName(const std::string& base) {
  return base + ".dll";
}

}  // namespace tarvo::platform
