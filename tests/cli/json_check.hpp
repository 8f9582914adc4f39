// A strict reader of one JSON object, enough to check that tarvo-cli's
// --json output is valid (strings well-formed UTF-8 with legal escapes, no
// trailing garbage) and to list its top-level keys.
#pragma once

#include <cctype>
#include <string>
#include <vector>

namespace tarvo::test {

class JsonCheck {
 public:
  // True when `text` is exactly one JSON object (and a newline).
  bool Object(const std::string& text, std::vector<std::string>* keys) {
    s_ = text;
    i_ = 0;
    keys_ = keys;
    depth_ = 0;
    if (!Value()) return false;
    if (i_ < s_.size() && s_[i_] == '\n') ++i_;
    return i_ == s_.size() && s_[0] == '{';
  }

 private:
  bool Value() {
    if (i_ >= s_.size()) return false;
    char c = s_[i_];
    if (c == '{') return Members();
    if (c == '[') return Elements();
    if (c == '"') return String(nullptr);
    if (c == '-' || (c >= '0' && c <= '9')) {
      size_t start = i_;
      if (c == '-') ++i_;
      while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
      return i_ > start + (c == '-' ? 1 : 0);
    }
    for (const char* word : {"true", "false", "null"}) {
      std::string w = word;
      if (s_.compare(i_, w.size(), w) == 0) {
        i_ += w.size();
        return true;
      }
    }
    return false;
  }
  bool Members() {
    ++i_;
    ++depth_;
    if (i_ < s_.size() && s_[i_] == '}') return ++i_, --depth_, true;
    for (;;) {
      std::string key;
      if (!String(&key) || i_ >= s_.size() || s_[i_++] != ':' || !Value()) return false;
      if (depth_ == 1 && keys_) keys_->push_back(key);
      if (i_ >= s_.size()) return false;
      if (s_[i_] == '}') return ++i_, --depth_, true;
      if (s_[i_++] != ',') return false;
    }
  }
  bool Elements() {
    ++i_;
    ++depth_;
    if (i_ < s_.size() && s_[i_] == ']') return ++i_, --depth_, true;
    for (;;) {
      if (!Value() || i_ >= s_.size()) return false;
      if (s_[i_] == ']') return ++i_, --depth_, true;
      if (s_[i_++] != ',') return false;
    }
  }
  bool String(std::string* out) {
    if (i_ >= s_.size() || s_[i_] != '"') return false;
    ++i_;
    while (i_ < s_.size()) {
      unsigned char c = static_cast<unsigned char>(s_[i_]);
      if (c == '"') return ++i_, true;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (++i_ >= s_.size()) return false;
        char e = s_[i_];
        if (e == 'u') {
          if (i_ + 4 >= s_.size()) return false;
          for (int k = 1; k <= 4; ++k)
            if (!std::isxdigit(static_cast<unsigned char>(s_[i_ + k]))) return false;
          i_ += 5;
          continue;
        }
        if (std::string("\"\\/bfnrt").find(e) == std::string::npos) return false;
        if (out) out->push_back(e);
        ++i_;
        continue;
      }
      size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
      if (n == 0 || i_ + n > s_.size()) return false;
      for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s_[i_ + k]) & 0xC0) != 0x80) return false;
      if (out) out->append(s_, i_, n);
      i_ += n;
    }
    return false;
  }

  std::string s_;
  size_t i_ = 0;
  int depth_ = 0;
  std::vector<std::string>* keys_ = nullptr;
};

}  // namespace tarvo::test
