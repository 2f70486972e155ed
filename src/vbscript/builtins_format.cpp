// FormatNumber, FormatCurrency, FormatPercent and FormatDateTime in the node's fixed locale.
#include <cmath>
#include <cstdio>

#include "builtins.h"

namespace quillon::vbs {

namespace {

#define BI(name) Variant bi_##name([[maybe_unused]] Interp& in, [[maybe_unused]] Args a)

// Tristate arguments: -1 true, 0 false, -2 default.
bool tristate(Args a, int i, bool dflt) {
  if (i >= a.n || a[i].isEmpty()) return dflt;
  int v = toLong(arg(a, i));
  if (v == -2) return dflt;
  return v != 0;
}

std::string formatFixed(double d, int digits, bool leadingZero, bool parens, bool group) {
  if (digits < 0) digits = 2;
  if (digits > 255) raise(err::InvalidCall);
  double m = std::pow(10.0, digits);
  double r = std::round(std::fabs(d) * m) / m;  // formatting rounds half away from zero
  bool neg = d < 0 && r != 0;
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", digits, r);
  std::string s(buf);
  size_t dot = s.find('.');
  std::string ip = s.substr(0, dot), fp = dot == std::string::npos ? "" : s.substr(dot);
  if (group && ip.size() > 3) {
    std::string g;
    int c = 0;
    for (size_t i = ip.size(); i-- > 0;) {
      g.insert(g.begin(), ip[i]);
      if (++c % 3 == 0 && i > 0) g.insert(g.begin(), ',');
    }
    ip = g;
  }
  if (ip == "0" && !leadingZero && !fp.empty()) ip = "";
  std::string out = ip + fp;
  if (neg) out = parens ? "(" + out + ")" : "-" + out;
  return out;
}

Variant formatCommon(Args a, double scale, const char* prefix, const char* suffix) {
  if (a[0].isNull()) raise(err::TypeMismatch);
  double d = toDouble(arg(a, 0)) * scale;
  int digits = longArg(a, 1, -1);
  if (digits < -1) raise(err::InvalidCall);
  std::string body = formatFixed(d, digits, tristate(a, 2, true), tristate(a, 3, false), tristate(a, 4, true));
  bool neg = !body.empty() && (body[0] == '-' || body[0] == '(');
  if (neg && body[0] == '-') return Variant::str(cat({"-", prefix, std::string_view(body).substr(1), suffix}));
  if (neg) return Variant::str(cat({"(", prefix, std::string_view(body).substr(1, body.size() - 2), suffix, ")"}));
  return Variant::str(cat({prefix, body, suffix}));
}

BI(formatnumber) { return formatCommon(a, 1, "", ""); }
BI(formatcurrency) { return formatCommon(a, 1, "$", ""); }
BI(formatpercent) { return formatCommon(a, 100, "", "%"); }

BI(formatdatetime) {
  if (a[0].isNull()) raise(err::TypeMismatch);
  double d = toDate(arg(a, 0));
  int fmt = longArg(a, 1, 0);
  int y, m, dd, hh, nn, ss;
  splitDate(d, y, m, dd, hh, nn, ss);
  char buf[80];
  static const char* months[] = {"January", "February", "March", "April", "May", "June", "July",
                                 "August", "September", "October", "November", "December"};
  switch (fmt) {
    case 0: return Variant::str(dateToString(d));
    case 1: std::snprintf(buf, sizeof buf, "%02d %s %04d", dd, months[m - 1], y); break;
    case 2: std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", dd, m, y); break;
    case 3: std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hh, nn, ss); break;
    case 4: std::snprintf(buf, sizeof buf, "%02d:%02d", hh, nn); break;
    default: raise(err::InvalidCall);
  }
  return Variant::str(buf);
}

}  // namespace

void addFormatBuiltins(std::vector<Builtin>& o) {
  o.insert(o.end(), {
      {"formatnumber", 1, 5, bi_formatnumber}, {"formatcurrency", 1, 5, bi_formatcurrency},
      {"formatpercent", 1, 5, bi_formatpercent}, {"formatdatetime", 1, 2, bi_formatdatetime},
  });
}

}  // namespace quillon::vbs
