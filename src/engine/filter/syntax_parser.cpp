// The token-reading frame: blanks, the one comment, and the token cursor.
#include "engine/filter/syntax_parser.h"

#include "engine/base/database_error.h"

namespace tdb {

namespace {

[[noreturn]] void InvalidCharacter(char c) {
  DatabaseError(Format("Invalid filter expression character: '%s'", {std::string_view(&c, 1)}));
}

}  // namespace

size_t TSyntaxParserBase::SkipBlanks(size_t position) {
  while (position < source_.size() && IsBlankChar(source_[position])) ++position;
  if (CharAt(position) == '/' && CharAt(position + 1) == '*') {
    // The comment ends at its first "*"; a "*" that is not followed by "/"
    // or a comment that runs to the end of the text is an error.
    const size_t star = source_.find('*', position + 2);
    if (star == std::string::npos) InvalidCharacter('/');
    if (CharAt(star + 1) != '/') InvalidCharacter('*');
    position = star + 2;
    while (position < source_.size() && IsBlankChar(source_[position])) ++position;
  }
  return position;
}

void TSyntaxParserBase::SetSource(std::string_view text) {
  const size_t nul = text.find('\0');
  source_.assign(text.substr(0, nul));
  position_ = 0;
  token_start_ = 0;
  token_kind_ = TTokenKind::kEnd;
  previous_kind_ = TTokenKind::kEnd;
  token_text_.clear();
}

void TSyntaxParserBase::NextToken() {
  previous_kind_ = token_kind_;
  position_ = SkipBlanks(position_);
  token_start_ = position_;
  position_ = ReadToken(position_);
}

std::string TSyntaxParserBase::TokenForMessage() const {
  if (token_kind_ == TTokenKind::kEnd) return "nothing";
  return "'" + token_text_ + "'";
}

}  // namespace tdb
