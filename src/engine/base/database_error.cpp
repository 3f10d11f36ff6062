// The engine's error type and the formatting of its messages.
#include "engine/base/database_error.h"

namespace tdb {

void DatabaseError(const std::string& message) { throw EDatabaseError(message); }

void ComponentError(std::string_view component, const std::string& message) {
  if (component.empty()) throw EDatabaseError(message);
  throw EDatabaseError(std::string(component) + ": " + message);
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
