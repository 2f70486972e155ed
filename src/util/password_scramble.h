#pragma once
// Passwords as the settings file keeps them: each byte combined by exclusive-or with a byte of a
// fixed five-byte key (key bytes 2, 3, 4, 5, 1, 2, ...), written as decimal numbers joined by ".".
// It keeps a password from being read at a glance; it is no encryption.
#include <string>
#include <string_view>

namespace quillon::util {

std::string scramblePassword(std::string_view plain);
// The stored form back to the password; "" gives "".
std::string unscramblePassword(std::string_view stored);

}  // namespace quillon::util
