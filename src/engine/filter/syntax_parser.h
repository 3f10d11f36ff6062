// The tokenizer frame shared by the engine's expression parsers: it holds the
// source text and reads it one token at a time.  The language's own token
// rules live in ReadToken of a derived parser.
//
// A parser object is used from one thread at a time.  The source text is
// copied in; token texts are owned by the parser and stay valid until the next
// token is read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tdb {

enum class TTokenKind {
  kEnd,          // the end of the text
  kName,         // a plain name (also AND, OR, NOT, TRUE, FALSE and function names)
  kBracketName,  // [any text]: always a field name
  kNumber,
  kText,         // '...' with '' for one quote
  kLParen,
  kRParen,
  kComma,
  kEqual,
  kNotEqual,
  kGreaterOrEqual,
  kLessOrEqual,
  kGreater,
  kLess,
  kPlus,
  kMinus,
  kMultiply,
  kDivide,
  kLike,
  kIn,
};

class TSyntaxParserBase {
 public:
  TSyntaxParserBase() = default;
  virtual ~TSyntaxParserBase() = default;
  TSyntaxParserBase(const TSyntaxParserBase&) = delete;
  TSyntaxParserBase& operator=(const TSyntaxParserBase&) = delete;

 protected:
  // Skips blanks (characters up to code 32), at most one comment "/* ... */"
  // and blanks again; returns the position after them.  Raises
  // EDatabaseError for a comment that does not end properly.
  virtual size_t SkipBlanks(size_t position);

  // Reads one token starting at `position` (blanks already skipped): sets
  // token_kind_ and token_text_ and returns the position after the token.
  virtual size_t ReadToken(size_t position) = 0;

  // Starts reading `text` from its beginning; the text ends at its first NUL,
  // as a zero-terminated filter text does.
  void SetSource(std::string_view text);

  // Moves to the next token, remembering the kind of the one before.
  void NextToken();

  // The current token for messages: its text in single quotes, or "nothing"
  // at the end of the text.
  std::string TokenForMessage() const;

  // The character at `position`, or NUL at the end of the text.
  char CharAt(size_t position) const { return position < source_.size() ? source_[position] : '\0'; }

  std::string source_;       // the text being parsed
  size_t position_ = 0;      // where the next token is read
  size_t token_start_ = 0;   // where the current token began
  TTokenKind token_kind_ = TTokenKind::kEnd;
  TTokenKind previous_kind_ = TTokenKind::kEnd;
  std::string token_text_;   // the current token's text (a text constant unquoted)
};

// True for the characters the tokenizer skips as blanks.
inline bool IsBlankChar(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace tdb
