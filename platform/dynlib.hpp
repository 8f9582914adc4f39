// Loading a shared library at run time and resolving its entry points.
#pragma once

#include <string>

namespace tarvo::platform {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary() { Close(); }
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads the library at `path`; false with Error() set when it cannot.
  bool Open(const std::string& path);
  bool IsOpen() const { return handle_ != nullptr; }
  // The address of an exported symbol, or nullptr when it is missing.
  void* Symbol(const char* name) const;
  // The address of the export with this ordinal (Windows libraries number
  // their exports), or nullptr when there is none; always nullptr where
  // libraries have no ordinals.
  void* SymbolByOrdinal(int ordinal) const;
  void Close();
  const std::string& Error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// The platform's file name of a library with this base name ("dcc" ->
// "libdcc.so", "dcc.dll" on Windows).
std::string SharedLibraryFileName(const std::string& base);

}  // namespace tarvo::platform
