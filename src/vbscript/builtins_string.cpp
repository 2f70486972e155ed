// String functions. Strings are byte strings; positions are 1-based.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "builtins.h"

namespace quillon::vbs {

namespace {

#define BI(name) Variant bi_##name([[maybe_unused]] Interp& in, [[maybe_unused]] Args a)

bool anyNull(Args a, int upto) {
  for (int i = 0; i < std::min(a.n, upto); ++i) if (a[i].isNull()) return true;
  return false;
}

int compareMode(Args a, int i) {
  int m = longArg(a, i, 0);
  if (m < 0 || m > 2) raise(err::InvalidCall);
  return m;
}

size_t findText(const std::string& hay, const std::string& needle, size_t from, bool text) {
  if (!text) return hay.find(needle, from);
  return lower(hay).find(lower(needle), from);
}

BI(len) {
  Variant v = arg(a, 0);
  if (v.isNull()) return Variant::null();
  return Variant::lng(static_cast<int32_t>(toString(v).size()));
}
BI(left) {
  if (a[0].isNull()) return Variant::null();
  std::string s = strArg(a, 0);
  int32_t n = longArg(a, 1, 0);
  if (n < 0) raise(err::InvalidCall);
  return Variant::str(s.substr(0, static_cast<size_t>(n)));
}
BI(right) {
  if (a[1].isNull()) raise(err::InvalidNull);
  int32_t n = toLong(arg(a, 1));
  if (n < 0) raise(err::InvalidCall);
  if (a[0].isNull()) return Variant::null();
  std::string s = strArg(a, 0);
  size_t k = std::min(s.size(), static_cast<size_t>(n));
  return Variant::str(s.substr(s.size() - k));
}
BI(mid) {
  // The numbers are checked first, whatever the text: a Null length, then the start.
  if (a.n > 2 && a[2].isNull()) raise(err::InvalidNull);
  if (a[1].isNull()) raise(err::InvalidNull);
  int32_t start = toLong(arg(a, 1));
  if (start < 1) raise(err::InvalidCall);
  int32_t len = a.n > 2 ? toLong(arg(a, 2)) : -1;
  if (a.n > 2 && len < 0) raise(err::InvalidCall);
  if (a[0].isNull()) return Variant::null();
  const Variant& sv = a[0];
  auto cut = [&](const std::string& s) {
    if (static_cast<size_t>(start) > s.size()) return std::string();
    size_t st = static_cast<size_t>(start - 1);
    return len < 0 ? s.substr(st) : s.substr(st, static_cast<size_t>(len));
  };
  if (sv.isString()) return Variant::str(cut(sv.s()));
  return Variant::str(cut(strArg(a, 0)));
}
BI(instr) {
  // InStr([start,] s1, s2 [, compare])
  int base = 0;
  int32_t start = 1;
  if (a.n >= 3) {
    if (a[0].isNull()) raise(err::InvalidNull);
    start = toLong(arg(a, 0));
    base = 1;
  }
  if (start < 1) raise(err::InvalidCall);
  if (a.n < 2) raise(err::WrongArgs);
  if (a[base].isNull() || a[base + 1].isNull()) return Variant::null();
  bool text = a.n >= 4 && compareMode(a, 3) == 1;
  std::string s1 = strArg(a, base), s2 = strArg(a, base + 1);
  if (static_cast<size_t>(start) > s1.size()) return Variant::lng(s2.empty() && s1.empty() && start == 1 ? 0 : 0);
  if (s2.empty()) return Variant::lng(start);
  size_t p = findText(s1, s2, static_cast<size_t>(start - 1), text);
  return Variant::lng(p == std::string::npos ? 0 : static_cast<int32_t>(p + 1));
}
BI(instrrev) {
  // InStrRev(s1, s2 [, start [, compare]])
  if (a[0].isNull() || a[1].isNull()) raise(err::InvalidNull);
  std::string s1 = strArg(a, 0), s2 = strArg(a, 1);
  int32_t start = a.n > 2 ? longArg(a, 2, -1) : -1;
  if (start == 0 || start < -1) raise(err::InvalidCall);
  bool text = a.n > 3 && compareMode(a, 3) == 1;
  if (start == -1) start = static_cast<int32_t>(s1.size());
  if (static_cast<size_t>(start) > s1.size() && s1.empty()) return Variant::lng(0);
  if (s2.empty()) return Variant::lng(start);
  if (static_cast<size_t>(start) > s1.size()) return Variant::lng(0);
  std::string h = text ? lower(s1) : s1, n = text ? lower(s2) : s2;
  if (n.size() > static_cast<size_t>(start)) return Variant::lng(0);
  size_t p = h.rfind(n, static_cast<size_t>(start) - n.size());
  return Variant::lng(p == std::string::npos ? 0 : static_cast<int32_t>(p + 1));
}
BI(replace) {
  // Replace(expr, find, with [, start [, count [, compare]]])
  if (anyNull(a, 3)) raise(err::InvalidNull);
  std::string s = strArg(a, 0), f = strArg(a, 1), w = strArg(a, 2);
  int32_t start = longArg(a, 3, 1), count = longArg(a, 4, -1);
  if (start < 1 || count < -1) raise(err::InvalidCall);
  bool text = a.n > 5 && compareMode(a, 5) == 1;
  if (static_cast<size_t>(start) > s.size()) return Variant::str("");
  std::string src = s.substr(static_cast<size_t>(start - 1));
  if (f.empty() || count == 0) return Variant::str(src);
  std::string out;
  out.reserve(src.size());
  std::string hay = text ? lower(src) : std::string();
  std::string nf = text ? lower(f) : std::string();
  const std::string& H = text ? hay : src;
  const std::string& F = text ? nf : f;
  size_t pos = 0;
  int done = 0;
  for (;;) {
    if (count >= 0 && done >= count) break;
    size_t p = H.find(F, pos);
    if (p == std::string::npos) break;
    out.append(src, pos, p - pos);
    out += w;
    checkLength(out.size());
    pos = p + F.size();
    ++done;
  }
  out.append(src, pos, std::string::npos);
  return Variant::str(std::move(out));
}
BI(split) {
  if (a[0].isNull()) raise(err::InvalidNull);
  std::string s = strArg(a, 0);
  std::string d = a.n > 1 ? strArg(a, 1) : " ";
  int32_t limit = longArg(a, 2, -1);
  if (limit < -1) raise(err::InvalidCall);
  int mode = a.n > 3 ? compareMode(a, 3) : 0;
  if (mode > 1) raise(err::InvalidCall);
  bool text = mode == 1;
  std::vector<Variant> parts;
  if (s.empty() || limit == 0) return makeVariantArray({});
  if (d.empty()) return makeVariantArray({Variant::str(s)});
  std::string H = text ? lower(s) : s, D = text ? lower(d) : d;
  size_t pos = 0;
  for (;;) {
    if (limit > 0 && static_cast<int32_t>(parts.size()) == limit - 1) break;
    size_t p = H.find(D, pos);
    if (p == std::string::npos) break;
    parts.push_back(Variant::str(s.substr(pos, p - pos)));
    pos = p + D.size();
  }
  parts.push_back(Variant::str(s.substr(pos)));
  return makeVariantArray(std::move(parts));
}
BI(join) {
  if (a[0].isNull()) raise(err::InvalidNull);
  if (!a[0].isArray()) raise(err::TypeMismatch);
  const ArrayData* d = a[0].arr();
  if (d->bounds.size() > 1) raise(err::TypeMismatch);
  std::string sep = a.n > 1 ? strArg(a, 1) : " ";
  std::string out;
  for (size_t i = 0; i < d->data.size(); ++i) {
    if (i) out += sep;
    if (d->data[i].isNull()) raise(err::TypeMismatch);
    out += toString(d->data[i]);
    checkLength(out.size());
  }
  return Variant::str(std::move(out));
}
BI(filter) {
  if (!a[0].isArray()) raise(err::TypeMismatch);
  std::string m = strArg(a, 1);
  bool include = a.n > 2 ? toBool(arg(a, 2)) : true;
  bool text = a.n > 3 && compareMode(a, 3) == 1;
  std::vector<Variant> out;
  for (const auto& v : a[0].arr()->data) {
    std::string s = toString(v);
    bool has = findText(s, m, 0, text) != std::string::npos;
    if (has == include) out.push_back(Variant::str(s));
  }
  return makeVariantArray(std::move(out));
}
Variant mapString(Args a, char (*f)(char)) {
  if (a[0].isNull()) return Variant::null();
  std::string s = strArg(a, 0);
  for (auto& c : s) c = f(c);
  return Variant::str(std::move(s));
}
char toLow(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
char toUp(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
BI(lcase) { return mapString(a, toLow); }
BI(ucase) { return mapString(a, toUp); }
Variant trimmed(Args a, bool left, bool right) {
  if (a[0].isNull()) return Variant::null();
  std::string s = strArg(a, 0);
  size_t b = 0, e = s.size();
  if (left) while (b < e && s[b] == ' ') ++b;
  if (right) while (e > b && s[e - 1] == ' ') --e;
  return Variant::str(s.substr(b, e - b));
}
BI(ltrim) { return trimmed(a, true, false); }
BI(rtrim) { return trimmed(a, false, true); }
BI(trim) { return trimmed(a, true, true); }
BI(space) {
  int32_t n = longArg(a, 0, 0);
  if (n < 0) raise(err::InvalidCall);
  checkLength(static_cast<size_t>(n));
  return Variant::str(std::string(static_cast<size_t>(n), ' '));
}
BI(string) {
  int32_t n = longArg(a, 0, 0);
  if (n < 0) raise(err::InvalidCall);
  checkLength(static_cast<size_t>(n));
  if (a[1].isNull()) return Variant::null();
  Variant c = arg(a, 1);
  char ch;
  if (c.isString()) {
    if (c.s().empty()) raise(err::InvalidCall);
    ch = c.s()[0];
  } else {
    ch = static_cast<char>(toLong(c) & 0xFF);
  }
  return Variant::str(std::string(static_cast<size_t>(n), ch));
}
BI(strreverse) {
  if (a[0].isNull()) raise(err::InvalidNull);
  std::string s = strArg(a, 0);
  std::reverse(s.begin(), s.end());
  return Variant::str(std::move(s));
}
BI(strcomp) {
  if (a[0].isNull() || a[1].isNull()) return Variant::null();
  bool text = a.n > 2 && compareMode(a, 2) == 1;
  std::string x = strArg(a, 0), y = strArg(a, 1);
  if (text) { x = lower(x); y = lower(y); }
  int c = x.compare(y);
  return Variant::integer(static_cast<int16_t>(c < 0 ? -1 : c > 0 ? 1 : 0));
}
BI(chr) {
  int32_t c = toLong(arg(a, 0));
  if (c < 0 || c > 255) raise(err::InvalidCall);
  return Variant::str(std::string(1, static_cast<char>(c)));
}
BI(chrw) {
  int32_t c = toLong(arg(a, 0));
  if (c < -32768 || c > 65535) raise(err::InvalidCall);
  if (c < 0) c += 65536;
  if (c < 256) return Variant::str(std::string(1, static_cast<char>(c)));
  return Variant::str("?");
}
BI(asc) {
  if (a[0].isNull()) raise(err::InvalidNull);
  std::string s = strArg(a, 0);
  if (s.empty()) raise(err::InvalidCall);
  return Variant::integer(static_cast<int16_t>(static_cast<unsigned char>(s[0])));
}
BI(escape) {
  std::string s = strArg(a, 0), out;
  static const char* safe = "@*_+-./";
  for (unsigned char c : s) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || std::strchr(safe, c)) {
      out += static_cast<char>(c);
    } else {
      char b[4];
      std::snprintf(b, sizeof b, "%%%02X", c);
      out += b;
    }
  }
  return Variant::str(std::move(out));
}
BI(unescape) {
  std::string s = strArg(a, 0), out;
  auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() + 0 && i + 2 <= s.size() - 1 + 0 && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
      out += static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2]));
      i += 2;
    } else if (s[i] == '%' && i + 5 < s.size() && s[i + 1] == 'u' && hex(s[i + 2]) >= 0 && hex(s[i + 3]) >= 0 &&
               hex(s[i + 4]) >= 0 && hex(s[i + 5]) >= 0) {
      int v = ((hex(s[i + 2]) * 16 + hex(s[i + 3])) * 16 + hex(s[i + 4])) * 16 + hex(s[i + 5]);
      out += v < 256 ? static_cast<char>(v) : '?';
      i += 5;
    } else {
      out += s[i];
    }
  }
  return Variant::str(std::move(out));
}

}  // namespace

void addStringBuiltins(std::vector<Builtin>& o) {
  o.insert(o.end(), {
      {"len", 1, 1, bi_len}, {"left", 2, 2, bi_left}, {"right", 2, 2, bi_right}, {"mid", 2, 3, bi_mid},
      {"instr", 2, 4, bi_instr}, {"instrrev", 2, 4, bi_instrrev}, {"replace", 3, 6, bi_replace},
      {"split", 1, 4, bi_split}, {"join", 1, 2, bi_join}, {"filter", 2, 4, bi_filter}, {"lcase", 1, 1, bi_lcase},
      {"ucase", 1, 1, bi_ucase}, {"ltrim", 1, 1, bi_ltrim}, {"rtrim", 1, 1, bi_rtrim}, {"trim", 1, 1, bi_trim},
      {"space", 1, 1, bi_space}, {"string", 2, 2, bi_string}, {"strreverse", 1, 1, bi_strreverse},
      {"strcomp", 2, 3, bi_strcomp}, {"chr", 1, 1, bi_chr}, {"chrw", 1, 1, bi_chrw}, {"chrb", 1, 1, bi_chr},
      {"asc", 1, 1, bi_asc}, {"ascw", 1, 1, bi_asc}, {"ascb", 1, 1, bi_asc}, {"escape", 1, 1, bi_escape},
      {"unescape", 1, 1, bi_unescape}, {"lenb", 1, 1, bi_len}, {"leftb", 2, 2, bi_left}, {"rightb", 2, 2, bi_right},
      {"midb", 2, 3, bi_mid},
  });
}

}  // namespace quillon::vbs
