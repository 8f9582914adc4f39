// The account statements in PostgreSQL's dialect. The handlers write them
// once, as the SQLite file reads them: '?' placeholders and [bracketed]
// names. PostgreSQL numbers its placeholders ($1, $2...) and quotes names
// with double quotes; the tables there are made with lower-case names, so a
// bracketed name becomes the same name in lower case, quoted ([User] is
// "user", a word PostgreSQL reserves), and a bare name is folded to lower
// case by PostgreSQL itself.
#pragma once

#include <string>

namespace zv {

// The statement in PostgreSQL's dialect; *placeholders receives their number.
// Quoted texts ('...') and quoted names ("...") pass unchanged.
std::string ToPostgresDialect(const std::string& sql, int* placeholders);

}  // namespace zv
