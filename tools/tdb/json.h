// A small JSON reader and the quoting the tdb tool writes JSON with.
//
// The reader takes one JSON text (RFC 8259) and builds a tree; strings are
// UTF-8.  Nesting deeper than 64 levels, bad escapes and trailing text are
// refused with tdb::EDatabaseError "Invalid JSON at offset %s: <what>".
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tdbtool {

struct JsonValue {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = kNull;
  bool boolean = false;
  double number = 0;
  std::string text;                                          // kString; kNumber: the literal
  std::vector<JsonValue> items;                              // kArray
  std::vector<std::pair<std::string, JsonValue>> members;    // kObject, in text order

  // The member named `key`, or nullptr (also when this is not an object).
  const JsonValue* Find(std::string_view key) const;
};

JsonValue ParseJson(std::string_view text);

// `utf8` as a JSON string literal, quotes included.
std::string JsonQuote(std::string_view utf8);

}  // namespace tdbtool
