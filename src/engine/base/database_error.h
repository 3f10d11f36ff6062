// The engine's one error type.
//
// Every failure of the engine is raised as an EDatabaseError carrying an
// English message.  A failure raised on behalf of a component that has a name
// reads "<name>: <message>" (see ComponentError).  Callers catch this type and
// show what() to the user; nothing inside the engine retries except the file
// lock.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tdb {

class EDatabaseError : public std::runtime_error {
 public:
  explicit EDatabaseError(const std::string& message) : std::runtime_error(message) {}
};

// Raises EDatabaseError with `message`.
[[noreturn]] void DatabaseError(const std::string& message);

// Raises EDatabaseError with "<component>: <message>" when the component has a
// name, with the bare message otherwise.
[[noreturn]] void ComponentError(std::string_view component, const std::string& message);

// Replaces each "%s" of `pattern`, left to right, with the next argument; the
// engine's messages are written in this form ("Cannot open file %s").
std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace tdb

namespace tdb {

// The silent abort: ends the current operation without a message (a cancelled
// login, for instance).  Error handlers let it pass without showing anything.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

}  // namespace tdb
