#include "metrics/node_metrics.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <ctime>

#include "decode/family_decoder.h"
#include "metrics/prometheus_text.h"
#include "util/text.h"

namespace quillon::metrics {
namespace {

constexpr double kPascalsPerInHg = 3386.389;
constexpr double kMetersPerInch = 0.0254;
constexpr double kMetersPerSecondPerMph = 0.44704;
constexpr double kGramsPerPound = 453.59237;

// A reading and how its value text becomes the metric's base unit, by the node's Metric setting.
struct Quantity {
  const char* name;
  const char* help;
  double (*toBase)(double value, bool metric);
};

constexpr Quantity kTemperature{"quillon_temperature_celsius", "Temperature a sensor reported.",
                            [](double v, bool metric) { return metric ? v : (v - 32) / 1.8; }};
constexpr Quantity kHumidity{"quillon_humidity_ratio", "Relative humidity a sensor reported (0 to 1).",
                         [](double v, bool) { return v / 100; }};
constexpr Quantity kPressure{"quillon_pressure_pascals", "Air pressure a barometer reported.",
                         [](double v, bool metric) { return metric ? v * 100 : v * kPascalsPerInHg; }};
constexpr Quantity kRainRate{"quillon_rain_rate_meters_per_second", "Rain rate a rain gauge reported.",
                         [](double v, bool metric) { return (metric ? v / 1000 : v * kMetersPerInch) / 3600; }};
constexpr Quantity kRainToday{"quillon_rain_today_meters", "Rain a rain gauge counted today.",
                          [](double v, bool metric) { return metric ? v / 1000 : v * kMetersPerInch; }};
constexpr Quantity kRainTotal{"quillon_rain_total_meters", "Rain a rain gauge counted since it was reset.",
                          kRainToday.toBase};
// An X10 gauge counts 0.01 in tips: its value is in inches whatever the setting.
constexpr Quantity kRainTips{kRainToday.name, kRainToday.help, [](double v, bool) { return v * kMetersPerInch; }};
constexpr Quantity kWindSpeed{"quillon_wind_speed_meters_per_second", "Average wind speed an anemometer reported.",
                          [](double v, bool metric) { return metric ? v / 3.6 : v * kMetersPerSecondPerMph; }};
constexpr Quantity kWindGust{"quillon_wind_gust_meters_per_second", "Wind gust speed an anemometer reported.",
                         kWindSpeed.toBase};
constexpr Quantity kWindDirection{"quillon_wind_direction_degrees", "Wind direction, degrees clockwise from north.",
                              [](double v, bool) { return v; }};
constexpr Quantity kUv{"quillon_uv_index", "UV index a sensor reported.", kWindDirection.toBase};
constexpr Quantity kPower{"quillon_power_watts", "Power a meter reported.", kWindDirection.toBase};
constexpr Quantity kVoltage{"quillon_voltage_volts", "Voltage a sensor reported.", kWindDirection.toBase};
constexpr Quantity kBatteryLevel{"quillon_battery_level_ratio", "Battery level a sensor reported (0 to 1).",
                             kHumidity.toBase};
constexpr Quantity kWeight{"quillon_weight_grams", "Weight a scale reported.",
                       [](double v, bool metric) { return metric ? v * 1000 : v * kGramsPerPound; }};

const Quantity* quantityOf(const std::string& type) {
  static const std::pair<const char*, const Quantity*> kByType[] = {
      {"Temperature", &kTemperature}, {"Humidity", &kHumidity},   {"Barometer", &kPressure},
      {"RainRate", &kRainRate},       {"RainToday", &kRainToday}, {"RainTotal", &kRainTotal},
      {"WindSpeed", &kWindSpeed},
      {"WindGust", &kWindGust},       {"WindDirection", &kWindDirection}, {"UV", &kUv},
      {"Watt", &kPower},              {"Voltage", &kVoltage},     {"BatteryLevel", &kBatteryLevel},
      {"Scale", &kWeight}};
  for (const auto& [name, quantity] : kByType)
    if (util::iequals(type, name)) return quantity;
  // Any other type beginning "Rain" is a gauge the node counts tips for.
  if (util::istartsWith(type, "rain")) return &kRainTips;
  return nullptr;
}

// The whole text as a finite number ("21.5" yes, "21.5 C" and "" no), read the same in any locale.
bool wholeNumber(const std::string& text, double& out) {
  const std::string t = util::trim(text);
  const char* end = t.data() + t.size();
  const char* from = t.data() + (!t.empty() && t[0] == '+' ? 1 : 0);
  const auto r = std::from_chars(from, end, out);
  return !t.empty() && r.ec == std::errc() && r.ptr == end && std::isfinite(out);
}

// "X10 RF" -> "x10_rf", "OS temperature/humidity" -> "os_temperature_humidity".
std::string familyLabel(const char* name) {
  std::string out;
  for (const char* c = name; *c; ++c) {
    const unsigned char u = static_cast<unsigned char>(*c);
    if (std::isalnum(u)) out += static_cast<char>(std::tolower(u));
    else if (!out.empty() && out.back() != '_') out += '_';
  }
  return out;
}

void deviceMetrics(Exposition& out, const Snapshot& s) {
  Exposition::Family& lastSeen = out.family("quillon_device_last_seen_timestamp_seconds", MetricType::Gauge,
                                            "Unix time the device was last heard (or, never heard, last changed).");
  Exposition::Family& stale = out.family("quillon_device_stale", MetricType::Gauge,
                                         "1 while the device has not been heard for longer than its usual "
                                         "interval allows, else 0.");
  for (const auto& [code, device] : *s.devices) {
    if (!device || !device->inUse() || device->remove()) continue;
    const devices::W800Device& d = *device;
    const Labels labels{{"code", d.dc()}, {"name", d.tag()}, {"location", d.location()}};
    const std::string& type = d.deviceType();
    double value = 0;
    if (util::iequals(type, "Battery")) {
      // A sensor's battery report: status on, or the value 1 without an on/off status, is low.
      const bool low = d.deviceStatus() == devices::kDeviceStatusOn || (d.deviceStatus() == 0 && util::trim(d.text()) == "1");
      out.family("quillon_battery_low", MetricType::Gauge, "1 while a sensor reports its battery low, else 0.")
          .add(labels, low ? 1 : 0);
    } else if (const Quantity* q = quantityOf(type); q && wholeNumber(d.text(), value)) {
      out.family(q->name, MetricType::Gauge, q->help).add(labels, q->toBase(value, s.metric));
    }
    stale.add(labels, d.stale() ? 1 : 0);
    // The sighting's monotonic time, against the clock now: no second local-time conversion.
    if (const devices::Sighting* seen = s.sighting ? s.sighting(d.dc()) : nullptr) {
      const double seconds = s.nowSeconds - static_cast<double>(s.nowMs - seen->lastMonoMs) / 1000.0;
      lastSeen.add(labels, std::round(seconds * 1000) / 1000);
    } else if (!(d.deviceLastChange() == util::DateTime{})) {
      lastSeen.add(labels, unixSeconds(d.deviceLastChange()));
    }
  }
}

void counterMetrics(Exposition& out, const core::Counters& c) {
  Exposition::Family& packets = out.family("quillon_packets_received_total", MetricType::Counter,
                                           "Packets decoded, by packet family.");
  for (std::size_t i = 0; i < core::Counters::kPacketFamilies; ++i) {
    const char* name = decode::familyName(static_cast<decode::PacketFamily>(i));
    if (std::string_view(name) == "unknown") break;  // the families are numbered from 0 without gaps
    packets.add({{"family", familyLabel(name)}}, static_cast<double>(c.packets[i].value()));
  }
  auto counter = [&](const char* name, const char* help, const core::Count& count) {
    out.family(name, MetricType::Counter, help).add(static_cast<double>(count.value()));
  };
  counter("quillon_decode_errors_total",
          "Packets that failed their checks, had no known length, or that their decoder could not take.",
          c.decodeErrors);
  counter("quillon_xap_messages_sent_total", "xAP datagrams sent, heartbeats included.", c.xapSent);
  counter("quillon_xap_messages_received_total", "xAP datagrams received.", c.xapReceived);
  counter("quillon_mqtt_messages_published_total", "MQTT messages handed to the broker connection.", c.mqttPublished);
  counter("quillon_mqtt_messages_failed_total",
          "MQTT messages not published: no broker connection, or refused by the client library.", c.mqttFailed);
  Exposition::Family& http =
      out.family("quillon_http_requests_total", MetricType::Counter, "HTTP requests answered, by status code.");
  for (int status = 100; status <= core::Counters::kMaxStatus; ++status)
    if (const std::uint64_t n = c.httpAnswers[static_cast<std::size_t>(status)].value())
      http.add({{"code", std::to_string(status)}}, static_cast<double>(n));
  counter("quillon_script_runs_total", "Script procedures run (Main once per event, Run, RunEx).", c.scriptRuns);
  counter("quillon_script_errors_total", "Script syntax and run-time errors.", c.scriptErrors);
}

}  // namespace

double unixSeconds(const util::DateTime& t) {
  std::tm local = util::toLocalTm(t);  // the zone's rules say whether summer time applied then
  return static_cast<double>(std::mktime(&local)) + t.millisecond / 1000.0;
}

std::string metricsText(const Snapshot& s) {
  Exposition out;
  out.family("quillon_build_info", MetricType::Gauge, "The node's version, as a label; always 1.")
      .add({{"version", s.version}}, 1);
  out.family("quillon_start_time_seconds", MetricType::Gauge, "Unix time the node started.").add(s.startSeconds);
  out.family("quillon_receiver_link_up", MetricType::Gauge,
             "1 while the receiver link (or the replay standing in for it) is open, else 0.")
      .add(s.receiver.open ? 1 : 0);
  out.family("quillon_receiver_bytes_total", MetricType::Counter, "Bytes received from the receiver.")
      .add(static_cast<double>(s.receiver.bytes));
  out.family("quillon_receiver_reconnects_total", MetricType::Counter,
             "Times the receiver link was opened again after a loss.")
      .add(static_cast<double>(s.receiver.reconnects));
  if (s.counters) counterMetrics(out, *s.counters);
  if (s.devices) {
    std::size_t inUse = 0;
    for (const auto& [code, device] : *s.devices) inUse += device && device->inUse() ? 1 : 0;
    out.family("quillon_devices", MetricType::Gauge, "Device records the node knows.")
        .add(static_cast<double>(s.devices->size()));
    out.family("quillon_devices_in_use", MetricType::Gauge, "Device records with a location (published).")
        .add(static_cast<double>(inUse));
    deviceMetrics(out, s);
  }
  return out.text();
}

NodeMetrics::NodeMetrics(core::NodeContext& ctx, const devices::DeviceRegistry& registry,
                         const devices::DeviceLifecycle& lifecycle, ReceiverFn receiver)
    : ctx_(ctx),
      registry_(registry),
      lifecycle_(lifecycle),
      receiver_(std::move(receiver)),
      startSeconds_(unixSeconds(ctx.now())) {}

std::string NodeMetrics::text() const {
  Snapshot s;
  s.devices = &registry_.devices();
  s.sighting = [this](const std::string& code) { return lifecycle_.sighting(code); };
  s.metric = ctx_.settings.metric;
  s.counters = &ctx_.counters;
  if (receiver_) s.receiver = receiver_();
  s.nowSeconds = unixSeconds(ctx_.now());
  s.nowMs = ctx_.platform.clock().monotonicMs();
  s.startSeconds = startSeconds_;
  s.version = QUILLON_METRICS_VERSION;
  return metricsText(s);
}

}  // namespace quillon::metrics
