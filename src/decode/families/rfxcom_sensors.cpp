// RFXCOM sensors: temperature probes, supply voltage and analogue (humidity/pressure) inputs.
#include <cmath>
#include <limits>
#include <optional>

#include "decode/families/family_common.h"
#include "util/text.h"

namespace quillon::decode {
using namespace detail;

namespace {

std::string addressCode(std::string_view data) { return hex(byteAt(data, 1)) + hex(byteAt(data, 2)); }
// The 11-bit measurement: bits 6..0 of byte 3, then bits 7..5 of byte 4.
unsigned measurement(std::string_view data) { return (byteAt(data, 3) & 127) * 8 + (byteAt(data, 4) >> 5); }
// A packet too short for the 4 bytes a decoder reads logs "<name>, Buffer Length=<n>".
bool fourBytes(DecodeEnv& env, std::string_view data, const char* name) {
  if (data.size() >= 4) return true;
  env.ctx.logEvent(std::string(name) + ", Buffer Length=" + std::to_string(data.size()));
  return false;
}
// Whole numbers without a decimal part ("21"), otherwise one decimal.
std::string oneDecimalOrWhole(double x) { return util::formatNumber(roundHalfEven(x, 1)); }

}  // namespace

double rfxTemperature(DecodeEnv& env, std::string_view data, std::string& detail) {
  if (!fourBytes(env, data, "RFXCOM_Temperature")) return std::numeric_limits<double>::quiet_NaN();
  const unsigned b3 = byteAt(data, 3), b4 = byteAt(data, 4);
  // Byte 3 bit 7 is the sign of an 11-bit two's-complement number of eighths of a degree.
  int raw = static_cast<int>(b3 * 8 + ((b4 >> 5) & 7));
  if (b3 & 0x80) raw -= 2048;
  const double t = raw / 8.0;
  const double f = t * 1.8 + 32;
  const bool metric = env.ctx.settings.metric;
  const std::string text = oneDecimalOrWhole(metric ? t : f);
  const std::string code = addressCode(data);
  sensorReport(env, data.substr(0, 4), detail,
               {code, code, "Temperature", text, text + "&nbsp;" + (metric ? "C" : "F"), "RFXTemperature"});
  return t;
}

void rfxSupplyVoltage(DecodeEnv& env, std::string_view data, std::string& /*detail*/) {
  if (!fourBytes(env, data, "RFXCOM_SupplyVoltate")) return;
  const std::string code = addressCode(data);
  if (!env.registry.addW800Unit(code)) return;
  if (devices::W800Device* d = env.registry.device(code))
    d->setSupplyVoltage(static_cast<float>(measurement(data) / 100.0));
}

void rfxAnalog(DecodeEnv& env, std::string_view data, double temperatureC, std::string& detail) {
  if (!fourBytes(env, data, "RFXCOM_AD")) return;
  const std::string_view packet = data.substr(0, 4);
  const std::string code = addressCode(data);
  const double a = measurement(data) / 100.0;
  const bool metric = env.ctx.settings.metric;

  // The sensor measures its supply on the voltage address (low bits 10); until that has been
  // heard, the record's own supply voltage (4.7 V unless set) is used.
  const unsigned b1 = byteAt(data, 1), b2 = byteAt(data, 2);
  std::optional<double> measured;
  if (const devices::W800Device* v = env.registry.device(hex((b1 & 0xFC) | 2) + hex((b2 & 0xFC) | 2)))
    measured = v->supplyVoltage();
  auto supply = [&](const std::string& c) -> double {
    if (measured) return *measured;
    const devices::W800Device* d = env.registry.device(c);
    return d ? d->supplyVoltage() : 0.0;
  };
  if (env.registry.addW800Unit(code + "_H")) {
    const double vs = supply(code + "_H");
    // The humidity sensor's temperature correction: RH / (1.0546 - 0.00216 T).
    const double rh = vs > 0 ? (a / vs - 0.16) / 0.0062 / (1.0546 - temperatureC * 0.00216) : NAN;
    if (!std::isfinite(rh)) {
      detail += " | RFXHumidity " + code + "_H ignored because supply voltage is not positive";
      env.ctx.logEvent("RFXCOM_AD, Buffer Length=" + std::to_string(data.size()));
    } else {
      const std::string text = util::formatNumber(roundHalfEven(rh, 0));
      sensorReport(env, packet, detail, {code + "_H", code, "Humidity", text, text + "%", "RFXHumidity"}, true);
    }
  }
  if (env.registry.addW800Unit(code + "_B")) {
    const double vs = supply(code + "_B");
    if (!(vs > 0)) {
      detail += " | RFXBaro " + code + "_B ignored because supply voltage is not positive";
      env.ctx.logEvent("RFXCOM_AD, Buffer Length=" + std::to_string(data.size()));
      return;
    }
    const double p = (a / vs + 0.095) / 0.0009;
    const std::string text = metric ? util::formatNumber(roundHalfEven(p, 0)) : util::formatNumber(roundHalfEven(p / 33.8638, 2));
    sensorReport(env, packet, detail,
                 {code + "_B", code, "Barometer", text, text + "&nbsp;" + (metric ? "hPa" : "inHg"), "RFXBaro"});
  }
}

bool decodeRfxSensorInfo40(DecodeEnv& env, std::string_view data, std::string& detail) {
  if (data.size() < 5 || data.substr(0, 3) != "SEN") return false;
  const unsigned family = byteAt(data, 5);
  const char* chip = family == 0x26 ? " (DS2438)" : family == 0x28 ? " (DS18B20)" : "";
  const std::string text = "RFXCOM Sensor " + std::to_string(byteAt(data, 4)) + " has 1-wire type " + hex(family) + chip;
  detail += " | " + text;
  env.ctx.logEvent(text);
  return true;
}

}  // namespace quillon::decode
