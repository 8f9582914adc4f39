#include "relay/server/pg_dialect.hpp"

#include <cctype>

namespace zv {

std::string ToPostgresDialect(const std::string& sql, int* placeholders) {
  std::string out;
  out.reserve(sql.size() + 8);
  int count = 0;
  const size_t n = sql.size();
  for (size_t i = 0; i < n; ++i) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      // A quoted text or name, to its closing quote; a doubled quote inside
      // is one quote character and does not end it.
      size_t j = i + 1;
      for (; j < n; ++j) {
        if (sql[j] != c) continue;
        if (j + 1 < n && sql[j + 1] == c) {
          ++j;
          continue;
        }
        break;
      }
      out.append(sql, i, (j < n ? j + 1 : n) - i);
      i = j < n ? j : n;
    } else if (c == '[') {
      const size_t close = sql.find(']', i + 1);
      if (close == std::string::npos) {
        out.append(sql, i, std::string::npos);
        break;
      }
      out += '"';
      for (size_t k = i + 1; k < close; ++k) {
        if (sql[k] == '"') out += '"';
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(sql[k])));
      }
      out += '"';
      i = close;
    } else if (c == '?') {
      out += '$';
      out += std::to_string(++count);
    } else {
      out += c;
    }
  }
  if (placeholders) *placeholders = count;
  return out;
}

}  // namespace zv
