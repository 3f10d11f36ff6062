// The engine's error type and the formatting of its messages.
#include "engine/base/database_error.h"

namespace tdb {

void DatabaseError(const std::string& message) { throw EDatabaseError(message); }

void DatabaseError(TErrorKind kind, const std::string& message, TErrorParams params) {
  throw EDatabaseError(kind, message, std::move(params));
}

void ComponentError(std::string_view component, const std::string& message) {
  ComponentError(component, ekGeneral, message);
}

void ComponentError(std::string_view component, TErrorKind kind, const std::string& message, TErrorParams params) {
  if (component.empty()) throw EDatabaseError(kind, message, std::move(params));
  throw EDatabaseError(kind, std::string(component) + ": " + message, std::move(params));
}

std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(pattern.size() + 32);
  auto next = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' && next != args.end()) {
      out.append(*next++);
      ++i;
    } else {
      out.push_back(pattern[i]);
    }
  }
  return out;
}

}  // namespace tdb
