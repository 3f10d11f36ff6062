// The password check string: SHA-0 of the password in the format's Base64
// variant, which drops a group's trailing zero units.
#include "engine/processing/password_check.h"

#include "engine/processing/secure_wipe.h"
#include "engine/processing/sha0.h"

namespace tdb {

std::string EncodeCheckBase64(std::span<const uint8_t> bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = uint32_t{bytes[i]} << 16;
    if (i + 1 < bytes.size()) group |= uint32_t{bytes[i + 1]} << 8;
    if (i + 2 < bytes.size()) group |= bytes[i + 2];
    int units[4] = {static_cast<int>(group >> 18) & 63, static_cast<int>(group >> 12) & 63,
                    static_cast<int>(group >> 6) & 63, static_cast<int>(group) & 63};
    int count = 4;
    while (count > 0 && units[count - 1] == 0) --count;
    for (int u = 0; u < count; ++u) out.push_back(kAlphabet[units[u]]);
  }
  if (bytes.size() % 3 == 1) out += "==";
  if (bytes.size() % 3 == 2) out += "=";
  return out;
}

std::string PasswordCheckString(std::string_view password) {
  TSha0Digest digest = Sha0(password);
  std::string check = EncodeCheckBase64(digest);
  SecureWipe(digest.data(), digest.size());
  return check;
}

bool PasswordMatchesCheck(std::string_view password, std::string_view stored) {
  return PasswordCheckString(password) == stored;
}

}  // namespace tdb
