// The password check string kept in a database file's data-processing block.
//
// The file never holds the password nor the cipher key, only this string: the
// SHA-0 digest of the password's bytes written in the format's own Base64
// variant.  A password is accepted when its check string equals the stored one
// byte for byte; only then is the cipher key derived from it.  Pure functions,
// thread-safe.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tdb {

// The check string of a password given as raw (Windows-1251) bytes, without a
// terminator.  An empty password is a password like any other.
std::string PasswordCheckString(std::string_view password);

// True when the password's check string equals `stored` exactly (case matters).
bool PasswordMatchesCheck(std::string_view password, std::string_view stored);

// The format's Base64 variant, on the RFC 4648 alphabet: the bytes in groups
// of three (the last completed with zeros), each group giving its 6-bit units
// from the most significant up to and including its last non-zero unit (an
// all-zero group gives nothing); then "==" when size % 3 == 1, "=" when 2.
// It is not reversible, and is used only to compare.
std::string EncodeCheckBase64(std::span<const uint8_t> bytes);

}  // namespace tdb
