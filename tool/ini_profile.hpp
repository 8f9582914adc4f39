// The settings file format: an INI text read and written the way the Windows
// profile functions do it, so a file edited by hand or by an older build keeps
// every section, key and comment it had when the tool writes its own keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo {

// Strings longer than this are cut on reading (a 1024-byte buffer with its zero).
inline constexpr size_t kProfileStringMax = 1023;

// One INI text held as its lines. Section and key names compare without regard
// to ASCII case; blanks around names and values are ignored.
class IniDocument {
 public:
  IniDocument() = default;
  // Accepts any bytes: CR/LF or LF line ends, lines without '=' are kept as they are.
  static IniDocument Parse(const std::string& text);
  std::string Serialize() const;

  // The value of a key; false when the section or key is absent.
  bool Find(const std::string& section, const std::string& key, std::string* value) const;
  // Replaces the value in place, or appends the key to its section, or
  // appends a new section at the end.
  void Set(const std::string& section, const std::string& key, const std::string& value);
  size_t LineCount() const { return lines_.size(); }

 private:
  // Index of the section header line, or -1.
  long FindSection(const std::string& section) const;
  std::vector<std::string> lines_;
  // Line ends are written as they were read (CR LF or LF; LF for a new file).
  bool crlf_ = false;
};

// The integer reader of the profile functions: blanks, an optional sign, then
// decimal digits up to the first other character; no digits reads 0. The
// value wraps at 32 bits, so "3232235876" and "-1062731420" read alike.
int32_t ParseProfileInt(const std::string& text);

// Profile functions on a file path. A file that cannot be read acts as empty.
int32_t ProfileGetInt(const std::string& path, const std::string& section, const std::string& key,
                      int32_t fallback);
std::string ProfileGetString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& fallback);
// False when the file cannot be written.
bool ProfileWriteString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);

// Whole-file helpers shared by the profile functions.
bool ReadTextFile(const std::string& path, std::string* out);
bool WriteTextFile(const std::string& path, const std::string& text);

}  // namespace tarvo
