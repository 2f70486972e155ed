// Coercions between Variant subtypes with the classic rules and errors.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "value.h"

namespace quillon::vbs {

// Longest string a script may build; longer gives error 14 (Out of string space).
constexpr size_t kMaxStringLength = size_t(1) << 27;
void checkLength(size_t n);

// Parses a numeric string (spaces, sign, decimals, exponent, &H/&O); false if not numeric.
bool parseNumber(std::string_view s, double& out);
// Default value of an object (its default member), or the value itself.
Variant derefDefault(Interp* in, const Variant& v);
// Reads an object's default member through the interpreter running on this thread.
Variant objectDefaultValue(Object* o);

double toDouble(const Variant& v);         // 13 for non-numeric, 94 for Null
int32_t toLong(const Variant& v);          // banker's rounding, 6 on overflow
int16_t toInteger(const Variant& v);
bool toBool(const Variant& v);
std::string toString(const Variant& v);    // 94 for Null; display form of numbers, dates
std::string numberToString(double d, int digits = 15);
double toDate(const Variant& v);           // 13 if not a date
int64_t toCurrency(const Variant& v);      // scaled by 10000

// Converts a string to the subtype it reads as (Double), for arithmetic on strings.
Variant numericValue(const Variant& v);

// Rounds half to even, the classic rounding of CInt/CLng/Round.
double bankersRound(double d);

// Date serials: days since 30/12/1899, fraction = time of day.
double dateSerial(int y, int m, int d);  // month/day may overflow, as DateSerial allows
void splitDate(double serial, int& y, int& m, int& d, int& hh, int& nn, int& ss);
double timeSerial(int h, int m, int s);
bool parseDate(std::string_view s, double& out);  // dd/mm/yyyy [hh:nn[:ss]], yyyy-mm-dd, month names, times
std::string dateToString(double serial);

std::string lower(std::string_view s);
// Concatenates pieces (avoids operator+ chains on temporaries).
inline std::string cat(std::initializer_list<std::string_view> parts) {
  std::string r;
  for (auto p : parts) r.append(p.data(), p.size());
  return r;
}
std::string typeName(const Variant& v);
int varType(const Variant& v);

}  // namespace quillon::vbs
