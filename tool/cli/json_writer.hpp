// A small writer of one JSON object for --json: keys in insertion order,
// strings escaped. The tool's texts are 8-bit strings: well-formed UTF-8
// passes through, every other byte above 0x7F is written as \u00XX (one
// per byte), so the object is valid JSON whatever a controller sends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::cli {

std::string JsonString(const std::string& text);

class JsonObject {
 public:
  void Add(const std::string& key, const std::string& value) { Raw(key, JsonString(value)); }
  void Add(const std::string& key, const char* value) { Raw(key, JsonString(value)); }
  void Add(const std::string& key, int64_t value) { Raw(key, std::to_string(value)); }
  void Add(const std::string& key, int value) { Raw(key, std::to_string(value)); }
  void Add(const std::string& key, bool value) { Raw(key, value ? "true" : "false"); }
  void Add(const std::string& key, const std::vector<std::string>& values);
  void Add(const std::string& key, const JsonObject& value) { Raw(key, value.Text()); }
  void Add(const std::string& key, const std::vector<JsonObject>& values);
  // A value that is already JSON text.
  void Raw(const std::string& key, const std::string& json);
  std::string Text() const { return "{" + body_ + "}"; }

 private:
  std::string body_;
};

}  // namespace tarvo::cli
