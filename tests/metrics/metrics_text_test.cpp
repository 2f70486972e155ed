#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <map>

#include "metrics/node_metrics.h"
#include "metrics/prometheus_text.h"

using namespace quillon;
using metrics::MetricType;

namespace {

// The value of the sample named with its labels; NaN when there is none.
double sample(const std::string& text, const std::string& series) {
  const std::size_t at = ("\n" + text).find("\n" + series + " ");
  return at == std::string::npos ? std::nan("") : std::stod(text.substr(at + series.size() + 1));
}
std::string of(const std::string& metric, const std::string& code) {
  return metric + "{code=\"" + code + "\",name=\"\",location=\"Hall\"}";
}

TEST(PrometheusText, EscapesGroupsFamiliesAndFormatsValues) {
  metrics::Exposition out;
  auto& a = out.family("a_total", MetricType::Counter, "Help \\ with\na line feed");
  out.family("b", MetricType::Gauge, "B").add({{"l", "x\\y\"z\nw"}}, 0.5);
  a.add({{"k", "1"}}, 3);
  out.family("a_total", MetricType::Counter, "not used").add({{"k", "2"}}, 4);
  out.family("empty", MetricType::Gauge, "no samples, no lines");
  EXPECT_EQ(out.text(),
            "# HELP a_total Help \\\\ with\\na line feed\n# TYPE a_total counter\na_total{k=\"1\"} 3\na_total{k=\"2\"} 4\n"
            "# HELP b B\n# TYPE b gauge\nb{l=\"x\\\\y\\\"z\\nw\"} 0.5\n");
  // Bytes of another code page, a surrogate and a cut sequence become U+FFFD.
  EXPECT_EQ(metrics::escapeLabelValue("K\xFC""che \xC3\xBC \xE2\x82\xAC \xED\xA0\x80 \xC3"),
            "K\uFFFD""che \u00FC \u20AC \uFFFD\uFFFD\uFFFD \uFFFD");
  EXPECT_EQ(metrics::formatValue(1e15), "1000000000000000");
  EXPECT_EQ(metrics::formatValue(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(metrics::formatValue(std::nan("")), "NaN");
  EXPECT_EQ(metrics::formatValue(-HUGE_VAL), "-Inf");
}

class NodeMetricsText : public ::testing::Test {
 protected:
  devices::W800Device& add(const std::string& code, const std::string& type, const std::string& text,
                           const std::string& location = "Hall", int status = 0) {
    auto d = std::make_shared<devices::W800Device>();
    d->setDc(code);
    d->setDeviceType(type);
    d->setText(text);
    d->setLocation(location);
    d->setInUse(!location.empty());
    d->setDeviceStatus(static_cast<std::int16_t>(status));
    table.insert(code, d);
    return *d;
  }
  std::string text(bool metric) {
    metrics::Snapshot s{&table, [this](const std::string& code) { return seen.contains(code) ? &seen[code] : nullptr; },
                        metric, &counters, {}, 1800000000.25, 50000, 0, "1.2.3"};
    return metrics::metricsText(s);
  }
  devices::DeviceTable table{true};
  std::map<std::string, devices::Sighting> seen;
  core::Counters counters;
};

TEST_F(NodeMetricsText, ReadingsInBaseUnitsFromAFahrenheitNode) {
  add("T1", "Temperature", "70.7").setTag("Den \"west\"\\\nside");
  add("H1", "Humidity", "45");
  add("B1", "Barometer", "29.92");
  add("W1", "WindSpeed", "10");
  add("R1", "RainRate", "0.5");
  add("X1", "Rain", "0.25").setStale(true);  // an X10 gauge: inches of tips
  seen["X1"].lastMonoMs = 47500;
  add("P1", "Battery", "", "Hall", devices::kDeviceStatusOn);
  add("P2", "Battery", "0");
  add("F1", "Forecast", "Sunny").setDeviceLastChange(util::DateTime{2026, 12, 7, 21, 5, 9});
  add("N1", "Temperature", "5", "");  // not in use
  add("D1", "Temperature", "5").setRemove(true);
  const std::string t = text(false);
  EXPECT_NEAR(sample(t, R"(quillon_temperature_celsius{code="T1",name="Den \"west\"\\\nside",location="Hall"})"), 21.5, 1e-9);
  EXPECT_NEAR(sample(t, of("quillon_humidity_ratio", "H1")), 0.45, 1e-12);
  EXPECT_NEAR(sample(t, of("quillon_pressure_pascals", "B1")), 101320.76, 0.01);
  EXPECT_NEAR(sample(t, of("quillon_wind_speed_meters_per_second", "W1")), 4.4704, 1e-9);
  EXPECT_NEAR(sample(t, of("quillon_rain_rate_meters_per_second", "R1")), 0.0127 / 3600, 1e-15);
  EXPECT_NEAR(sample(t, of("quillon_rain_today_meters", "X1")), 0.00635, 1e-12);
  EXPECT_EQ(sample(t, of("quillon_battery_low", "P1")), 1);
  EXPECT_EQ(sample(t, of("quillon_battery_low", "P2")), 0);
  EXPECT_EQ(sample(t, of("quillon_device_stale", "X1")), 1);
  EXPECT_EQ(sample(t, of("quillon_device_stale", "H1")), 0);
  // Heard 2.5 s ago on the monotonic clock; never heard, the stored last change counts.
  EXPECT_EQ(sample(t, of("quillon_device_last_seen_timestamp_seconds", "X1")), 1799999997.75);
  EXPECT_EQ(sample(t, of("quillon_device_last_seen_timestamp_seconds", "F1")),
            metrics::unixSeconds(util::DateTime{2026, 12, 7, 21, 5, 9}));
  EXPECT_TRUE(std::isnan(sample(t, of("quillon_device_last_seen_timestamp_seconds", "H1"))));
  for (const char* absent : {"Sunny", "\"N1\"", "\"D1\""}) EXPECT_EQ(t.find(absent), std::string::npos) << absent;
  // A metric node's readings only change scale.
  EXPECT_NEAR(sample(text(true), of("quillon_pressure_pascals", "B1")), 2992, 1e-9);
}

TEST(UnixSeconds, LocalTimeFollowsTheZoneAndItsSummerTime) {
  const char* before = std::getenv("TZ");
  const std::string saved = before ? before : "";
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  const util::DateTime winter{2026, 1, 15, 12, 0, 0, 500}, summer{2026, 7, 1, 12, 0, 0};
  EXPECT_EQ(metrics::unixSeconds(winter), winter.daysSinceEpoch() * 86400.0 + 11 * 3600 + 0.5);
  EXPECT_EQ(metrics::unixSeconds(summer), summer.daysSinceEpoch() * 86400.0 + 10 * 3600);
  if (before) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

}  // namespace
