// Oregon Scientific sensors: the per-type decoder table and the members (temperature, humidity,
// UV, wind, rain in millimetres and in inches, barometer, scales, battery).
#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "decode/families/family_common.h"
#include "util/text.h"

namespace quillon::decode {
using namespace detail;

namespace {
int b(std::string_view d, std::size_t k) { return static_cast<int>(byteAt(d, k)); }
int h(std::string_view d, std::size_t k) { return static_cast<int>(hi(byteAt(d, k))); }
int l(std::string_view d, std::size_t k) { return static_cast<int>(lo(byteAt(d, k))); }

constexpr double kMphPerMs = 2.23694;  // 3600 s / 1609.344 m

enum class Member { Temperature, Humidity, UV, WindDirection, WindGust, WindSpeed, Wind3, Rain, Baro,
                    BatteryStatus, BatteryLevel, Scale1, Scale2, RainInches };
enum class Rc { Byte4, Half4 };

struct Call {
  const char* name;  // used in the error log and the too-short remark
  std::size_t need;  // bytes the member reads
};
// Indexed by Member.
constexpr std::array<Call, 14> kCalls = {{{"Temperature", 7}, {"Humidity", 8}, {"UV", 6}, {"WindDirection", 5},
                                          {"WindGust", 7}, {"WindSpeed", 9}, {"Wind", 9}, {"Rain", 9},
                                          {"Baro", 10}, {"BatteryStatus", 5}, {"BatteryLevel", 5}, {"Scale", 7},
                                          {"Scale101", 5}, {"RainInches", 10}}};

struct Step {
  Member member;
  Rc rc = Rc::Byte4;
  int pressureOffset = 0;
};
struct Row {
  OregonType type;
  std::vector<Step> steps;
};

const std::vector<Row>& decoderTable() {
  using M = Member;
  static const std::vector<Row> rows = {
      {OregonType::Scale56, {{M::Scale1}}},
      {OregonType::CA48, {{M::Temperature}, {M::BatteryStatus}}},
      {OregonType::UV64, {{M::UV}, {M::BatteryStatus}}},
      {OregonType::Scale64, {{M::Scale2}}},
      {OregonType::EA4C, {{M::Temperature}, {M::BatteryStatus}}},
      {OregonType::Wind1A89, {{M::WindDirection}, {M::WindGust}, {M::WindSpeed}, {M::BatteryStatus}}},
      {OregonType::TempHum80, {{M::Temperature}, {M::Humidity}, {M::BatteryStatus}}},
      {OregonType::T0A4D, {{M::Temperature, Rc::Half4}, {M::BatteryStatus, Rc::Half4}}},
      {OregonType::T1A3D, {{M::Temperature}, {M::Humidity}, {M::BatteryLevel}}},
      {OregonType::Rain2A1D, {{M::Rain}, {M::BatteryLevel}}},
      {OregonType::Baro5A5D, {{M::Temperature}, {M::Humidity}, {M::Baro, Rc::Byte4, 795}, {M::BatteryStatus}}},
      {OregonType::Wind3A0D, {{M::Wind3}, {M::BatteryLevel}}},
      {OregonType::Baro5A6D, {{M::Temperature}, {M::Humidity}, {M::Baro, Rc::Byte4, 856}, {M::BatteryLevel}}},
      {OregonType::UV120, {{M::UV}, {M::BatteryStatus}}},
      {OregonType::UVN800, {{M::UV}, {M::BatteryStatus}}},
      {OregonType::PCR800, {{M::RainInches}, {M::BatteryStatus}}},
  };
  return rows;
}

std::string channel(std::string_view d) {
  const unsigned c = hi(byteAt(d, 3)) & 7;
  return c >= 3 ? "3" : (c >= 1 ? "1" : "2");
}

struct Member_ {
  DecodeEnv& env;
  std::string_view d;
  std::string& detail;
  unsigned rc;
  bool metric;

  std::string code(const std::string& suffix = "", const std::string& ch = "") const {
    return hex(byteAt(d, 1)) + hex(byteAt(d, 2)) + "_" + (ch.empty() ? channel(d) : ch) + hex(rc) + suffix;
  }
  void report(const Reading& r, const std::string& state = "ON", bool battery = false) {
    oregonReport(env, d, detail, r, state, battery);
  }
  static std::string whole(double x) { return util::formatNumber(roundHalfEven(x, 0)); }

  void temperature() {
    const unsigned tens = h(d, 6), units = l(d, 6), tenths = h(d, 5);
    if (tens > 9 || units > 9 || tenths > 9) {
      detail += " | OS Temperature ignored because Temperature digit not decimal";
      return;
    }
    double t = tens * 10 + units + tenths / 10.0;
    if (byteAt(d, 7) & 0x08) t = -t;
    const std::string text = formatOneDecimal(metric ? t : t * 1.8 + 32);
    report({code(), "", "Temperature", text, text + "&nbsp;" + (metric ? "C" : "F"), "OSTemperature"});
  }
  void humidity() {
    const unsigned tens = l(d, 8), units = h(d, 7);
    if (tens > 9 || units > 9) {
      detail += " | OSHumidity ignored because humidity digit not decimal";
      return;
    }
    const std::string text = std::to_string(tens * 10 + units);
    report({code("_H"), "", "Humidity", text, text + "%", "OSHumidity"});
  }
  void uv() {
    const unsigned d1 = l(d, 6), d2 = h(d, 5);
    if (d1 > 9 || d2 > 9) {
      detail += " | OS UV ignored because UV digit not decimal";
      return;
    }
    const std::string text = std::to_string(d1) + std::to_string(d2);
    report({code(), "", "UV", text, text + "&nbsp;", "OSUV"});
  }
  double speedUnit(double ms) const { return metric ? ms * 3.6 : ms * kMphPerMs; }
  void windDirection() {
    const double deg = h(d, 5) * 22.5;
    const std::string w = windCompass(deg), text = whole(deg);
    report({code("_D"), "", "WindDirection", text, text + " (" + w + ")", "OSWindDirection"});
    report({code("_C"), "", "WindCompass", w, w + " (" + text + ")", "OSWindDirection"});
  }
  void windGust() {
    const double v = h(d, 7) + l(d, 7) / 10.0;
    const std::string text = whole(speedUnit(v));
    report({code("_G"), "", "WindGust", text, text, "OSWindGust",
            ",nSpeed=" + util::formatNumber(v) + ",i7=" + std::to_string(byteAt(d, 7))});
  }
  void windSpeed() {
    const double v = b(d, 9) + h(d, 8) / 10.0;
    const std::string text = whole(speedUnit(v));
    report({code("_W"), "", "WindSpeed", text, text, "OSWindSpeed"});
  }
  // Direction in whole degrees, gust and average speed in tenths of m/s, all BCD.
  void wind3() {
    if (h(d, 6) > 9 || l(d, 6) > 9 || h(d, 5) > 9) {
      detail += " | Ignored because wind direction byte is not decimal";
      return;
    }
    if (l(d, 8) > 9 || h(d, 7) > 9 || l(d, 7) > 9) {
      detail += " | Ignored because wind speed byte is not decimal";
      return;
    }
    if (h(d, 9) > 9 || l(d, 9) > 9 || h(d, 8) > 9) {
      detail += " | Ignored because avg wind speed byte is not decimal";
      return;
    }
    const int dir = 100 * h(d, 6) + 10 * l(d, 6) + h(d, 5);
    const double gust = (100 * l(d, 8) + 10 * h(d, 7) + l(d, 7)) / 10.0;
    const double avg = (100 * h(d, 9) + 10 * l(d, 9) + h(d, 8)) / 10.0;
    const std::string ds = std::to_string(dir), compass = compassText(dir);
    report({code("_D", "0"), "", "WindDirection", ds, compass + "&nbsp;(" + ds + "&nbsp;degrees)", "OSWindDirection"});
    report({code("_C", "0"), "", "WindCompass", compass, ds + "&nbsp;degrees&nbsp;(" + compass + ")", "OSWindDirection"});
    const std::string unit = metric ? "kph" : "mph";
    const std::string speed = whole(speedUnit(avg)), g = whole(speedUnit(gust));
    report({code("_W", "0"), "", "WindSpeed", speed, speed + "&nbsp;" + unit, "OSWindSpeed"});
    report({code("_G", "0"), "", "WindGust", g, g + "&nbsp;" + unit, "OSWindGust"});
  }
  void rain() {
    if (h(d, 6) > 9 || l(d, 6) > 9 || h(d, 5) > 9) {
      detail += " | Ignored because rain rate byte is not decimal";
      return;
    }
    if (l(d, 9) > 9 || h(d, 8) > 9 || l(d, 8) > 9 || h(d, 7) > 9) {
      detail += " | Ignored because rain byte is not decimal";
      return;
    }
    const int rate = 100 * h(d, 6) + 10 * l(d, 6) + h(d, 5);
    const int total = 1000 * l(d, 9) + 100 * h(d, 8) + 10 * l(d, 8) + h(d, 7);
    const std::string rt = metric ? std::to_string(rate) : formatTwoDecimals(rate / 25.4);
    const std::string ru = metric ? "mm" : "in/hr";
    report({code("_E"), "", "RainRate", rt, rt + "&nbsp;" + ru, "OSRainRate"});
    const std::string tt = metric ? std::to_string(total) : formatTwoDecimals(total / 25.4);
    const std::string tu = metric ? "mm" : "in";
    report({code("_R"), "", "RainToday", tt, tt + "&nbsp;" + tu, "OSRainfall"});
    const std::string flips = std::to_string(l(d, 7));
    report({code("_F"), "", "Flip", flips, flips, "OSFlip"});
  }
  // PCR800: the rate in hundredths of an inch an hour (four digits from the high half of byte 5)
  // and the total in thousandths of an inch (six digits from the high half of byte 7), BCD, low
  // digit first. The total runs from 0 to 999.999 inches and then starts again at 0.
  void rainInches() {
    auto digits = [&](std::size_t firstNibble, int count, int& value) {
      value = 0;
      for (int k = count - 1; k >= 0; --k) {
        const std::size_t n = firstNibble + static_cast<std::size_t>(k);  // nibble n: byte n/2+1, high half when odd
        const int digit = n % 2 ? h(d, n / 2 + 1) : l(d, n / 2 + 1);
        if (digit > 9) return false;
        value = value * 10 + digit;
      }
      return true;
    };
    int rate = 0, total = 0;
    if (!digits(9, 4, rate)) {
      detail += " | Ignored because rain rate byte is not decimal";
      return;
    }
    if (!digits(13, 6, total)) {
      detail += " | Ignored because rain byte is not decimal";
      return;
    }
    // Hundredths or thousandths with all their digits ("0.03", "1.228").
    auto fraction = [](int v, int scale, std::size_t places) {
      const std::string frac = std::to_string(v % scale);
      return std::to_string(v / scale) + "." + std::string(places - frac.size(), '0') + frac;
    };
    const std::string rt = metric ? formatOneDecimal(rate * 0.254) : fraction(rate, 100, 2);
    report({code("_E"), "", "RainRate", rt, rt + "&nbsp;" + (metric ? "mm/h" : "in/hr"), "OSRainRate"});
    const std::string tt = metric ? formatOneDecimal(total * 0.0254) : fraction(total, 1000, 3);
    report({code("_R"), "", "RainTotal", tt, tt + "&nbsp;" + (metric ? "mm" : "in"), "OSRainfall"});
  }
  void baro(int offset) {
    const int p = b(d, 9) + offset;
    const std::string text = metric ? std::to_string(p) : formatTwoDecimals(p / 33.8638);
    const std::string unit = metric ? "hPa" : "inHg";
    report({code("_B"), "", "Barometer", text, text + "&nbsp;" + unit, "OSBaro"});
    const unsigned digit = offset == 795 ? lo(byteAt(d, 10)) : hi(byteAt(d, 10));
    static const struct {
      unsigned digit;
      const char* text;
    } kForecast[] = {{12, "Sunny"}, {6, "Partly Cloudy"}, {2, "Cloudy"}, {3, "Rain"}};
    for (const auto& f : kForecast)
      if (f.digit == digit) {
        report({code("_F"), "", "Forecast", f.text, f.text, "OSBaro"});
        return;
      }
    detail += " | Forecast " + hex(digit) + " not recogned";
  }
  void batteryStatus() {
    const bool low = (byteAt(d, 5) & 0x04) != 0;
    const std::string text = low ? "1" : "0";
    report({code("_P"), "", "Battery", text, text, "OSBattery"}, low ? "ON" : "OFF", true);
  }
  void batteryLevel() {
    const unsigned n = l(d, 5);
    if (n > 10) {  // a level below 0 % is not a reading
      detail += " | OSBattery ignored because battery level digit out of range";
      return;
    }
    const std::string text = std::to_string(100 - 10 * static_cast<int>(n));
    report({code("_L"), "", "BatteryLevel", text, text + "%", "OSBattery"});
  }
  void scale(const std::string& prefix, double kg) {
    const std::string text = util::formatNumber(roundHalfEven(metric ? kg : kg * 2.20462, 1));
    report({prefix + hex(h(d, 2)) + "_K", "", "Scale", text, text + (metric ? " kg" : " lb"), "OSScale"});
  }
  // The check digits repeat the high half of byte 1 and the low half of byte 2.
  void scale1() {
    if (h(d, 6) != h(d, 1) || l(d, 7) != l(d, 2)) {
      detail += " | OSScale ignored because checks digits do not match";
      return;
    }
    if (h(d, 5) > 9 || l(d, 5) > 9 || h(d, 4) > 9) {
      detail += " | OSScale ignored because weight digit not decimal";
      return;
    }
    scale("6C10_", 100 * (b(d, 6) & 1) + 10 * h(d, 5) + l(d, 5) + h(d, 4) / 10.0);
  }
  void scale2() { scale("0003_", (l(d, 5) * 4096 + b(d, 4) * 16 + h(d, 3)) / 400.8); }

  void run(Member m, int offset) {
    switch (m) {
      case Member::Temperature: return temperature();
      case Member::Humidity: return humidity();
      case Member::UV: return uv();
      case Member::WindDirection: return windDirection();
      case Member::WindGust: return windGust();
      case Member::WindSpeed: return windSpeed();
      case Member::Wind3: return wind3();
      case Member::Rain: return rain();
      case Member::Baro: return baro(offset);
      case Member::BatteryStatus: return batteryStatus();
      case Member::BatteryLevel: return batteryLevel();
      case Member::Scale1: return scale1();
      case Member::Scale2: return scale2();
      case Member::RainInches: return rainInches();
    }
  }
};

unsigned rollingCode(std::string_view d, Rc rc) {
  switch (rc) {
    case Rc::Half4: return (byteAt(d, 4) / 2) & 7;
    case Rc::Byte4: break;
  }
  return byteAt(d, 4);
}

}  // namespace

void decodeOregon(DecodeEnv& env, OregonType type, std::string_view data, std::string& detail) {
  for (const Row& row : decoderTable()) {
    if (row.type != type) continue;
    for (const Step& step : row.steps) {
      const Call& call = kCalls[static_cast<std::size_t>(step.member)];
      const std::size_t need = std::max<std::size_t>(call.need, 4);
      // A member that would read past the packet, or fails otherwise, logs its name and the
      // packet length; the other members of the row still run.
      const std::string failure =
          std::string("OregonScientific_") + call.name + ", Buffer Length=" + std::to_string(data.size());
      if (data.size() < need) {
        env.ctx.logEvent(failure);
        continue;
      }
      try {
        Member_ m{env, data, detail, rollingCode(data, step.rc), env.ctx.settings.metric};
        m.run(step.member, step.pressureOffset);
      } catch (const std::exception&) {
        env.ctx.logEvent(failure);
      }
    }
    return;
  }
}

bool decodeOregonClock104(DecodeEnv& /*env*/, std::string_view d, std::string& detail) {
  if (d.size() < 12 || !oregonCheckByteAfter(d, 11)) return false;
  // BCD, low digit first: seconds from the high half of byte 5 on; the month is one binary nibble.
  const int digits[] = {h(d, 5), l(d, 6), h(d, 6), l(d, 7), h(d, 7), l(d, 8), h(d, 8), l(d, 9), h(d, 10), l(d, 11)};
  for (int v : digits)
    if (v > 9) return false;
  const int month = h(d, 9);
  if (month < 1 || month > 12) return false;
  auto two = [](int tens, int units) { return std::to_string(tens) + std::to_string(units); };
  detail += " | " + hex(byteAt(d, 1)) + hex(byteAt(d, 2)) + "_" + channel(d) + hex(byteAt(d, 4)) + " clock 20" +
            two(l(d, 11), h(d, 10)) + "-" + two(month / 10, month % 10) + "-" + two(l(d, 9), h(d, 8)) + " " +
            two(l(d, 8), h(d, 7)) + ":" + two(l(d, 7), h(d, 6)) + ":" + two(l(d, 6), h(d, 5));
  return true;
}

}  // namespace quillon::decode
