#include "tool/cli/json_writer.hpp"

#include <cstdio>

namespace tarvo::cli {
namespace {

// Length of the well-formed UTF-8 sequence at text[i] (shortest form, no
// surrogates, at most U+10FFFF), or 0 when the byte there starts none.
size_t Utf8SequenceAt(const std::string& text, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char c = byte(i);
  size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
  if (n == 0 || c > 0xF4 || i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  unsigned char c1 = byte(i + 1);
  if (c == 0xE0 && c1 < 0xA0) return 0;  // overlong
  if (c == 0xED && c1 > 0x9F) return 0;  // surrogate
  if (c == 0xF0 && c1 < 0x90) return 0;  // overlong
  if (c == 0xF4 && c1 > 0x8F) return 0;  // beyond U+10FFFF
  return n;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      // Controller names are 8-bit text (often GBK): well-formed UTF-8 goes
      // through, any other byte becomes \u00XX, so the output stays valid.
      size_t n = Utf8SequenceAt(text, i);
      if (n > 0) {
        out.append(text, i, n);
        i += n - 1;
      } else {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        out += buf;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out + "\"";
}

void JsonObject::Raw(const std::string& key, const std::string& json) {
  if (!body_.empty()) body_ += ",";
  body_ += JsonString(key) + ":" + json;
}

void JsonObject::Add(const std::string& key, const std::vector<std::string>& values) {
  std::string list = "[";
  for (size_t i = 0; i < values.size(); ++i) list += (i ? "," : "") + JsonString(values[i]);
  Raw(key, list + "]");
}

void JsonObject::Add(const std::string& key, const std::vector<JsonObject>& values) {
  std::string list = "[";
  for (size_t i = 0; i < values.size(); ++i) list += (i ? "," : "") + values[i].Text();
  Raw(key, list + "]");
}

}  // namespace tarvo::cli
