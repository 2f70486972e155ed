// The history database on a real SQLite file in a temp folder: readings in, hourly and daily
// figures out (across an hour boundary and a daylight-saving change), retention, a replaced
// sensor's history, and files that are no database.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "history/history_store.h"
#include "history/local_time.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;
using history::Point;
using history::Reading;
using history::Step;

namespace {

constexpr std::int64_t kMin = 60'000, kHour = 60 * kMin, kDay = 24 * kHour;
constexpr std::int64_t k2026 = 1767225600000;  // 2026-01-01T00:00Z

Reading at(const std::string& code, std::int64_t t, double v) { return {code, t, v, "", "Temperature", "°C"}; }

class StoreTest : public ::testing::Test {
 protected:
  StoreTest() : dir(test::freshTestFolder("quillon-history-store")) {
    std::string error;
    EXPECT_TRUE(store.open(dir / "Data" / "history.sqlite", error)) << error;
  }
  ~StoreTest() override {
    store.close();
    fs::remove_all(dir);
  }
  std::vector<Point> query(const std::string& code, std::int64_t from, std::int64_t to, Step step, std::size_t limit = 10000) {
    std::vector<Point> out;
    std::string error;
    EXPECT_TRUE(store.query(code, from, to, step, limit, out, error)) << error;
    return out;
  }
  void write(const std::vector<Reading>& r) {
    std::string error;
    ASSERT_TRUE(store.write(r, error)) << error;
  }
  fs::path dir;
  history::HistoryStore store;
};

TEST_F(StoreTest, HourlyFiguresAcrossAnHourBoundaryAndSeveralWrites) {
  const std::int64_t ten = k2026 + 10 * kHour;
  write({at("21D0", ten - 30'000, 1.0), at("21D0", ten - 10'000, 3.0)});
  write({at("21d0", ten, 5.0), at("21D0", ten + 30 * kMin, 7.0), {"21D0", ten + 40 * kMin, std::nullopt, "Low", "", ""}});
  const std::vector<Point> hours = query("21D0", ten - kHour, ten + kHour, Step::Hour);
  ASSERT_EQ(hours.size(), 2u);
  EXPECT_EQ(hours[0].tMs, ten - kHour);
  EXPECT_EQ(hours[0].n, 2);
  EXPECT_DOUBLE_EQ(hours[0].min, 1.0);
  EXPECT_DOUBLE_EQ(*hours[0].value, 2.0);
  EXPECT_DOUBLE_EQ(hours[0].max, 3.0);
  EXPECT_EQ(hours[1].n, 2);  // the text reading has no number to count
  EXPECT_DOUBLE_EQ(*hours[1].value, 6.0);
  const std::vector<Point> raw = query("21D0", ten - kHour, ten + kHour, Step::Raw);
  ASSERT_EQ(raw.size(), 5u);
  EXPECT_EQ(raw.back().state, "Low");
  EXPECT_FALSE(raw.back().value);
  EXPECT_EQ(query("21D0", ten - kHour, ten + kHour, Step::Raw, 3).size(), 3u);  // the row limit
  EXPECT_TRUE(query("NOPE", ten - kHour, ten + kHour, Step::Raw).empty());
  ASSERT_TRUE(store.device("21d0"));
  EXPECT_EQ(store.device("21d0")->unit, "°C");
}

TEST_F(StoreTest, DaysFollowLocalTimeThroughTheChangeBackFromSummerTime) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  // 25 October 2026 in Berlin lasts 25 hours: 2026-10-24T22:00Z to 2026-10-25T23:00Z.
  const std::int64_t dayStart = history::utcMsOfLocal(util::DateTime{2026, 10, 25, 0, 0, 0, 0});
  EXPECT_EQ(history::utcMsOfLocal(util::DateTime{2026, 10, 26, 0, 0, 0, 0}) - dayStart, 25 * kHour);
  std::vector<Reading> r;
  for (std::int64_t t = dayStart - 2 * kHour; t < dayStart + 27 * kHour; t += 30 * kMin)
    r.push_back(at("1A2D_1E5", t, static_cast<double>((t - dayStart) / kHour)));  // the hour of the day
  write(r);
  const std::vector<Point> hours = query("1A2D_1E5", dayStart, dayStart + 25 * kHour, Step::Hour);
  ASSERT_EQ(hours.size(), 25u);  // the repeated hour is two hours, not one hour of four readings
  for (const Point& p : hours) EXPECT_EQ(p.n, 2);
  const std::vector<Point> days = query("1A2D_1E5", dayStart - 2 * kHour, dayStart + 27 * kHour, Step::Day);
  ASSERT_EQ(days.size(), 3u);
  EXPECT_EQ(days[1].tMs, dayStart);
  EXPECT_EQ(days[1].n, 50);
  EXPECT_DOUBLE_EQ(days[1].min, 0);
  EXPECT_DOUBLE_EQ(days[1].max, 24);
  EXPECT_EQ(history::isoLocal(dayStart), "2026-10-25T00:00:00+02:00");
  EXPECT_EQ(history::isoLocal(dayStart + 24 * kHour), "2026-10-25T23:00:00+01:00");
  if (old) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

TEST_F(StoreTest, RetentionDeletesOnlyOldRowsInSmallSteps) {
  const std::int64_t now = k2026 + 400 * kDay;
  std::vector<Reading> r;
  for (int day : {395, 380, 200, 10})  // 5 and 20 days old, then 200 and 390 days
    for (int i = 0; i < 15; ++i) r.push_back(at("A", k2026 + day * kDay + i * kMin, i));
  r.push_back(at("B", k2026 + 10 * kDay, 1));
  write(r);
  std::string error;
  // Raw rows 30 days, hourly rows a year; 10 rows at most per device and step.
  std::int64_t total = 0;
  EXPECT_EQ(store.pruneStep(now - 30 * kDay, now - 366 * kDay, 10, error), 11);  // device A: 10 raw, 1 hourly
  for (int i = 0; i < 20; ++i) {
    const std::int64_t n = store.pruneStep(now - 30 * kDay, now - 366 * kDay, 10, error);
    ASSERT_GE(n, 0) << error;
    total += n;
  }
  EXPECT_EQ(total, 20 + 1 + 1);  // the rest of A's 45 old raw rows; B's raw row and its hour
  EXPECT_EQ(query("A", k2026, now, Step::Raw).size(), 30u);
  const std::vector<Point> hours = query("A", k2026, now, Step::Hour);
  ASSERT_EQ(hours.size(), 3u);  // the 390-day-old hour is gone, the 200-day-old one kept
  EXPECT_EQ(hours[0].tMs, k2026 + 200 * kDay);
  EXPECT_TRUE(query("B", k2026, now, Step::Hour).empty());
}

TEST_F(StoreTest, ReplacedSensorsHistoryMovesToItsNewCode) {
  write({at("OLD", k2026, 1), at("OLD", k2026 + kMin, 3), at("NEW", k2026 + 2 * kMin, 5)});
  std::string error;
  ASSERT_TRUE(store.moveCode("old", "new", error)) << error;
  EXPECT_EQ(query("NEW", k2026, k2026 + kHour, Step::Raw).size(), 3u);
  EXPECT_TRUE(query("OLD", k2026, k2026 + kHour, Step::Raw).empty());
  const std::vector<Point> h = query("NEW", k2026, k2026 + kHour, Step::Hour);
  ASSERT_EQ(h.size(), 1u);
  EXPECT_EQ(h[0].n, 3);
  EXPECT_DOUBLE_EQ(*h[0].value, 3.0);
  write({at("NEW", k2026 + 3 * kMin, 7)});  // the cached id of the new code still writes
  EXPECT_EQ(query("NEW", k2026, k2026 + kHour, Step::Raw).size(), 4u);
}

TEST(StoreFiles, FileThatIsNoDatabaseIsRefusedWithAReason) {
  const fs::path dir = test::freshTestFolder("quillon-history-bad");
  {
    std::ofstream(dir / "history.sqlite") << std::string(8192, 'x');
  }
  history::HistoryStore store;
  std::string error;
  EXPECT_FALSE(store.open(dir / "history.sqlite", error));
  EXPECT_NE(error.find("not a database"), std::string::npos) << error;
  EXPECT_FALSE(store.isOpen());
  EXPECT_FALSE(store.write({at("A", k2026, 1)}, error));
  fs::remove_all(dir);
}

}  // namespace
