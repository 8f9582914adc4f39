#include "tool/ini_profile.hpp"

#include <cstdio>

namespace tarvo {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// "[name]" (blanks allowed around it) gives the name.
bool SectionName(const std::string& line, std::string* name) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  size_t close = t.find(']');
  if (close == std::string::npos) return false;
  *name = Trim(t.substr(1, close - 1));
  return true;
}

bool IsComment(const std::string& line) {
  std::string t = Trim(line);
  return !t.empty() && t.front() == ';';
}

// "key = value" gives both, trimmed.
bool KeyValue(const std::string& line, std::string* key, std::string* value) {
  if (IsComment(line)) return false;
  size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(line.substr(0, eq));
  *value = Trim(line.substr(eq + 1));
  return true;
}

}  // namespace

IniDocument IniDocument::Parse(const std::string& text) {
  IniDocument doc;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    size_t end = nl == std::string::npos ? text.size() : nl;
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      doc.crlf_ = true;
    }
    doc.lines_.push_back(std::move(line));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return doc;
}

std::string IniDocument::Serialize() const {
  std::string out;
  for (const std::string& line : lines_) {
    out += line;
    out += crlf_ ? "\r\n" : "\n";
  }
  return out;
}

long IniDocument::FindSection(const std::string& section) const {
  std::string name;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (SectionName(lines_[i], &name) && SameName(name, section)) return static_cast<long>(i);
  }
  return -1;
}

bool IniDocument::Find(const std::string& section, const std::string& key,
                       std::string* value) const {
  long s = FindSection(section);
  if (s < 0) return false;
  std::string name, k, v;
  for (size_t i = static_cast<size_t>(s) + 1; i < lines_.size(); ++i) {
    if (SectionName(lines_[i], &name)) break;
    if (KeyValue(lines_[i], &k, &v) && SameName(k, key)) {
      // A value in matching quotes is read without them.
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      *value = v;
      return true;
    }
  }
  return false;
}

void IniDocument::Set(const std::string& section, const std::string& key,
                      const std::string& value) {
  long s = FindSection(section);
  if (s < 0) {
    lines_.push_back("[" + section + "]");
    lines_.push_back(key + "=" + value);
    return;
  }
  std::string name, k, v;
  size_t last_entry = static_cast<size_t>(s);
  size_t i = static_cast<size_t>(s) + 1;
  for (; i < lines_.size(); ++i) {
    if (SectionName(lines_[i], &name)) break;
    if (KeyValue(lines_[i], &k, &v)) {
      if (SameName(k, key)) {
        lines_[i] = k + "=" + value;
        return;
      }
    }
    if (!Trim(lines_[i]).empty()) last_entry = i;
  }
  // New keys go after the last non-empty line of the section, so a blank
  // line that separates it from the next section stays where it was.
  lines_.insert(lines_.begin() + static_cast<long>(last_entry) + 1, key + "=" + value);
}

int32_t ParseProfileInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

bool ReadTextFile(const std::string& path, std::string* out) {
  out->clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
  std::fclose(f);
  return true;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

namespace {
IniDocument LoadDocument(const std::string& path) {
  std::string text;
  ReadTextFile(path, &text);
  return IniDocument::Parse(text);
}
}  // namespace

int32_t ProfileGetInt(const std::string& path, const std::string& section, const std::string& key,
                      int32_t fallback) {
  std::string v;
  if (!LoadDocument(path).Find(section, key, &v) || v.empty()) return fallback;
  return ParseProfileInt(v);
}

std::string ProfileGetString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& fallback) {
  std::string v;
  if (!LoadDocument(path).Find(section, key, &v)) v = fallback;
  if (v.size() > kProfileStringMax) v.resize(kProfileStringMax);
  return v;
}

bool ProfileWriteString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  IniDocument doc = LoadDocument(path);
  doc.Set(section, key, value);
  return WriteTextFile(path, doc.Serialize());
}

}  // namespace tarvo
