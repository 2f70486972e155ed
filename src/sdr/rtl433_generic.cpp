#include "sdr/rtl433_generic.h"

#include <cctype>
#include <cmath>

#include "util/text.h"

namespace quillon::sdr {
namespace {

using nlohmann::json;

// Fields that say where or how a packet was heard, not what the device measured.
bool metaField(const std::string& k) {
  static const char* const kMeta[] = {"time", "model", "id", "channel", "protocol", "mic", "mod", "freq", "freq1",
                                      "freq2", "rssi", "snr", "noise", "subtype", "sequence", "sequence_num",
                                      "message_type", "data", "raw", "rows", "codes", "len", "bits"};
  for (const char* m : kMeta)
    if (k == m) return true;
  return false;
}

// Letters, digits, '-' and '.' kept; anything else becomes '-', at most 40 characters.
std::string codePart(const std::string& s) {
  std::string out;
  for (char c : s.substr(0, 40)) out += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' ? c : '-';
  return out;
}

std::string scalarText(const json& v) {
  if (v.is_string()) return v.get<std::string>();
  if (v.is_boolean()) return v.get<bool>() ? "1" : "0";
  if (v.is_number_integer()) return std::to_string(v.get<long long>());
  if (v.is_number()) return util::formatNumber(std::round(v.get<double>() * 1000) / 1000);
  return {};
}

struct Known {
  const char* field;
  const char* suffix;
  const char* type;
  const char* unit;
};
const Known kKnown[] = {
    {"humidity", "_H", "Humidity", "%"},          {"pressure_hPa", "_B", "Barometer", "hPa"},
    {"wind_avg_km_h", "_W", "WindSpeed", "km/h"}, {"wind_avg_m_s", "_W", "WindSpeed", "m/s"},
    {"wind_max_km_h", "_G", "WindGust", "km/h"},  {"wind_max_m_s", "_G", "WindGust", "m/s"},
    {"wind_dir_deg", "_D", "WindDirection", "°"}, {"rain_mm", "_R", "RainTotal", "mm"},
    {"rain_rate_mm_h", "_E", "RainRate", "mm/h"}, {"uv", "_U", "UV", ""},
    {"power_W", "_W", "Watt", "W"},
};

}  // namespace

std::string genericDeviceCode(const json& j) {
  const auto m = j.find("model");
  if (m == j.end() || !m->is_string() || m->get_ref<const std::string&>().empty()) return {};
  std::string code = codePart(m->get<std::string>());
  for (const char* k : {"id", "channel"}) {
    const auto it = j.find(k);
    if (it != j.end() && (it->is_string() || it->is_number())) code += "_" + codePart(scalarText(*it));
  }
  return code;
}

std::vector<GenericReading> genericReadings(const json& j, bool metric) {
  std::vector<GenericReading> out;
  const std::string dev = genericDeviceCode(j);
  if (dev.empty()) return out;
  bool haveTemperature = false;
  for (const auto& [k, v] : j.items()) {
    if (metaField(k) || !(v.is_number() || v.is_string() || v.is_boolean())) continue;
    if (v.is_number() && !std::isfinite(v.get<double>())) continue;
    if (k == "temperature_C" || k == "temperature_F") {
      if (haveTemperature) continue;
      haveTemperature = true;
      double c = v.is_number() ? v.get<double>() : 0;
      if (k == "temperature_F") c = (c - 32) / 1.8;
      const double shown = metric ? c : c * 1.8 + 32;
      std::string text = util::formatNumber(std::round(shown * 10) / 10);
      if (text.find('.') == std::string::npos) text += ".0";
      out.push_back({dev, "Temperature", text, text + "&nbsp;" + (metric ? "C" : "F")});
      continue;
    }
    if (k == "battery_ok") {
      const std::string low = v.is_number() && v.get<double>() == 0 ? "1" : "0";
      out.push_back({dev + "_P", "Battery", low, low});
      continue;
    }
    const std::string text = scalarText(v).substr(0, 64);
    const Known* known = nullptr;
    for (const Known& kn : kKnown)
      if (k == kn.field) known = &kn;
    if (known)
      out.push_back({dev + known->suffix, known->type, text, text + (*known->unit ? std::string("&nbsp;") + known->unit : "")});
    else
      out.push_back({dev + "_" + codePart(k), codePart(k), text, text});
  }
  return out;
}

}  // namespace quillon::sdr
