#include "tool/cli/json_writer.hpp"

#include <cstdio>

namespace tarvo::cli {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
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
        if (c < 0x20) {
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
