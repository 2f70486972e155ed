#pragma once
// Small text helpers shared by several folders. Texts are byte strings.
#include <string>
#include <string_view>
#include <vector>

namespace quillon::util {

std::string lower(std::string_view s);
std::string upper(std::string_view s);
bool iequals(std::string_view a, std::string_view b);
bool istartsWith(std::string_view s, std::string_view prefix);
// Position of needle in hay ignoring letter case, or npos.
std::size_t ifind(std::string_view hay, std::string_view needle, std::size_t from = 0);
// Trims blanks (space and tab) at both ends, as the classic Trim does for spaces.
std::string trim(std::string_view s);
std::string trimWhitespace(std::string_view s);  // also CR, LF, VT, FF
std::vector<std::string> split(std::string_view s, std::string_view sep);
std::string join(const std::vector<std::string>& parts, std::string_view sep);
std::string replaceAll(std::string_view s, std::string_view from, std::string_view to);
std::string removeChar(std::string_view s, char c);

// The longest leading part of a text that is a number, trimmed ("21.5&nbsp;C" -> "21.5"); "0" when none.
std::string makeNumber(std::string_view s);
// The value of the leading number of a text (blanks skipped, non-numbers are 0), like Val.
double leadingNumber(std::string_view s);
// True when the whole text (blanks around allowed) is a number.
bool isNumeric(std::string_view s);

// Two upper-case hexadecimal digits of a byte.
std::string toHex(unsigned char byte);
// Every byte of a text as two hexadecimal digits.
std::string hexString(std::string_view s);

// Settings booleans: quotes removed, "true" in any case, else a non-zero leading number.
bool toBool(std::string_view s);

// Formats a double the way the classic engine shows numbers (up to 15 significant digits, no
// trailing zeros, no exponent for ordinary magnitudes).
std::string formatNumber(double v);

}  // namespace quillon::util
