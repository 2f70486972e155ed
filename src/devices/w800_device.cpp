#include "devices/w800_device.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "devices/status_picture.h"
#include "util/fast_string.h"
#include "util/text.h"

namespace quillon::devices {

namespace {

enum class Kind { Text, Int, Bool, Date, Num };

constexpr std::array<Kind, kPropertiesFieldCount> kFieldKinds{
    Kind::Text, Kind::Int,  Kind::Text, Kind::Bool, Kind::Text, Kind::Date, Kind::Text, Kind::Text, Kind::Bool,
    Kind::Bool, Kind::Bool, Kind::Int,  Kind::Text, Kind::Text, Kind::Bool, Kind::Num,  Kind::Text};

// Beyond this many pieces a line is not worth realigning; the first seventeen are used.
constexpr std::size_t kMaxRealignPieces = 256;
// Numbers longer than this are not looked for in a display text.
constexpr std::size_t kMaxNumberPrefix = 256;

bool isBoolText(std::string_view s) { return util::iequals(s, "true") || util::iequals(s, "false"); }

// Whether a piece is a clean value of a typed field, as the writer produces it (or empty).
bool fitsKind(Kind kind, const std::string& piece) {
  if (piece.empty()) return true;
  switch (kind) {
    case Kind::Text: return true;
    case Kind::Int:
    case Kind::Num: return util::isNumeric(piece);
    case Kind::Bool: return isBoolText(piece);
    case Kind::Date: return util::parseDateTime(piece).has_value();
  }
  return false;
}

// Finds how many pieces each field takes so that every typed field gets one clean piece and text
// fields take the rest; earlier text fields take extra pieces first. Empty when impossible.
std::vector<std::size_t> alignPieces(const std::vector<std::string>& pieces) {
  const std::size_t n = pieces.size();
  const std::size_t fields = kFieldKinds.size();
  // memo[f * (n + 1) + i]: 0 unknown, 1 fields f.. can take pieces i.. exactly, 2 they cannot.
  std::vector<unsigned char> memo(fields * (n + 1), 0);
  std::vector<std::size_t> take(fields * (n + 1), 0);
  auto solve = [&](auto&& self, std::size_t f, std::size_t i) -> bool {
    if (f == fields) return i == n;
    const std::size_t left = fields - f;
    if (n - i < left) return false;
    unsigned char& m = memo[f * (n + 1) + i];
    if (m) return m == 1;
    bool ok = false;
    if (kFieldKinds[f] != Kind::Text) {
      ok = fitsKind(kFieldKinds[f], pieces[i]) && self(self, f + 1, i + 1);
      if (ok) take[f * (n + 1) + i] = 1;
    } else {
      for (std::size_t k = n - i - (left - 1); k >= 1 && !ok; --k) {
        if (self(self, f + 1, i + k)) {
          ok = true;
          take[f * (n + 1) + i] = k;
        }
      }
    }
    m = ok ? 1 : 2;
    return ok;
  };
  if (!solve(solve, 0, 0)) return {};
  std::vector<std::size_t> counts;
  for (std::size_t f = 0, i = 0; f < fields; ++f) {
    counts.push_back(take[f * (n + 1) + i]);
    i += counts.back();
  }
  return counts;
}

// A text field as it can be stored on one INI line: NUL, CR and LF would break the line.
std::string storable(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '\0' || c == '\r' || c == '\n') c = ' ';
  return out;
}

// Typed text as stored: a backslash and a double quote get a backslash before them, since the
// loader drops bare quotes (older files quote whole values) and reads "\[" as "[".
std::string storableText(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : storable(s)) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string boolText(bool b) { return b ? "True" : "False"; }

std::string floatText(float v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  if (r.ec != std::errc()) return "0";
  return std::string(buf, r.ptr);
}

std::int16_t readInt16(const std::string& field, const char* name, PropertiesReport& report) {
  if (!field.empty() && !util::isNumeric(field))
    report.problems.push_back(std::string(name) + " '" + field + "' is not a number");
  const double rounded = std::nearbyint(util::leadingNumber(field));  // halves to even
  if (rounded < INT16_MIN || rounded > INT16_MAX) {
    report.problems.push_back(std::string(name) + " '" + field + "' is outside -32768 to 32767");
    return rounded < 0 ? INT16_MIN : INT16_MAX;
  }
  return static_cast<std::int16_t>(rounded);
}

bool readBool(const std::string& field, const char* name, PropertiesReport& report) {
  if (!field.empty() && !isBoolText(field))
    report.problems.push_back(std::string(name) + " '" + field + "' is not True or False");
  return util::lower(field) == "true";
}

}  // namespace

std::string PropertiesReport::text() const { return util::join(problems, "; "); }

void W800Device::setDc(std::string_view code) { dc_ = util::upper(code); }

void W800Device::setTag(std::string v) {
  if (v != tag_) ++tagEpoch_;
  tag_ = std::move(v);
}

std::vector<std::string> splitPropertiesFields(std::string_view text, bool* realigned) {
  std::vector<std::string> pieces = util::split(text, "~");
  if (pieces.empty()) pieces.emplace_back();
  if (realigned) *realigned = false;
  const std::size_t fields = kFieldKinds.size();
  if (pieces.size() > fields && pieces.size() <= kMaxRealignPieces) {
    bool firstFit = true;
    for (std::size_t f = 0; f < fields && firstFit; ++f) firstFit = fitsKind(kFieldKinds[f], pieces[f]);
    // A record whose first seventeen pieces read cleanly keeps them (later pieces come from a
    // newer writer); otherwise a "~" inside a text field is the likely cause.
    if (!firstFit) {
      std::vector<std::size_t> counts = alignPieces(pieces);
      if (!counts.empty()) {
        std::vector<std::string> out;
        std::size_t i = 0;
        for (std::size_t c : counts) {
          std::vector<std::string> group(pieces.begin() + i, pieces.begin() + i + c);
          out.push_back(util::join(group, "~"));
          i += c;
        }
        if (realigned) *realigned = true;
        return out;
      }
    }
  }
  pieces.resize(fields);
  return pieces;
}

std::string W800Device::properties() const {
  util::FastString s;
  s.add(storable(dc_)).add("~").add(std::to_string(status_)).add("~").add(storableText(tag_)).add("~");
  s.add(boolText(eventNotification_)).add("~").add(storable(statusPicture(*this))).add("~");
  s.add(util::formatGeneral(deviceLastChange_)).add("~").add(storableText(location_)).add("~").add(storableText(uid_));
  s.add("~").add(boolText(invert_)).add("~").add(boolText(bsc_)).add("~").add(boolText(x10_)).add("~");
  s.add(std::to_string(offTime_)).add("~").add(storableText(map_)).add("~").add(storableText(deviceType_)).add("~");
  s.add(boolText(remove_)).add("~").add(floatText(supplyVoltage_)).add("~").add(storableText(icon_));
  return s.take();
}

PropertiesReport W800Device::setProperties(std::string_view text, const util::DateTime& now) {
  PropertiesReport report;
  const std::size_t pieces = static_cast<std::size_t>(std::count(text.begin(), text.end(), '~')) + 1;
  bool realigned = false;
  const std::vector<std::string> f = splitPropertiesFields(text, &realigned);
  if (realigned)
    report.problems.push_back(std::to_string(pieces) + " fields, a text field holds '~'");
  else if (pieces != kPropertiesFieldCount)
    report.problems.push_back(std::to_string(pieces) + " fields instead of 17");

  setDc(f[0]);
  status_ = readInt16(f[1], "Status", report);
  setTag(f[2]);
  eventNotification_ = readBool(f[3], "EventNotification", report);
  if (f[5].empty()) {
    deviceLastChange_ = now;
  } else if (auto t = util::parseDateTime(f[5])) {
    deviceLastChange_ = *t;
  } else {
    deviceLastChange_ = now;
    report.problems.push_back("DeviceLastChange '" + f[5] + "' is not a date");
  }
  location_ = f[6];
  inUse_ = !location_.empty();
  uid_ = f[7];
  invert_ = readBool(f[8], "Invert", report);
  bsc_ = readBool(f[9], "BSC", report);
  x10_ = readBool(f[10], "X10", report);
  offTime_ = readInt16(f[11], "OffTime", report);
  map_ = f[12];
  deviceType_ = f[13];
  remove_ = readBool(f[14], "Remove", report);
  const double volts = util::leadingNumber(f[15]);
  if (!f[15].empty() && !util::isNumeric(f[15]))
    report.problems.push_back("SupplyVoltage '" + f[15] + "' is not a number");
  supplyVoltage_ = (volts > 4 && volts <= FLT_MAX) ? static_cast<float>(volts) : kDefaultSupplyVoltage;
  icon_ = f[16];
  setShown(onOffText(status_), deviceType_);  // the stored picture is drawn again from the state
  return report;
}

std::string onOffText(int status) { return status == kDeviceStatusOn ? "ON" : "OFF"; }

std::string makeNumber(std::string_view text) {
  for (std::size_t n = std::min(text.size(), kMaxNumberPrefix); n >= 1; --n) {
    std::string_view prefix = text.substr(0, n);
    if (util::isNumeric(prefix)) return util::trim(prefix);
  }
  return "0";
}

}  // namespace quillon::devices
