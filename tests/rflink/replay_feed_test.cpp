// The replay feed: the file format and delivery at the recorded pace or another speed.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/node_context.h"
#include "rflink/replay_feed.h"
#include "support/fake_platform.h"

using namespace quillon;

TEST(ReplayFeed, ParsesAndKeepsTheRecordedPaceScaledBySpeed) {
  test::FakePlatform platform;
  core::NodeContext ctx(platform, core::AppPaths{(std::filesystem::temp_directory_path() / "quillon-replay").string(), ""});
  std::vector<std::string> logged, got;
  std::vector<std::int64_t> at;
  ctx.log.setXapSender([&](const std::string&, const std::string&, const std::string& t) { logged.push_back(t); });
  rflink::ReplayFeed feed(ctx, [&](const std::string& b, int) {
    at.push_back(platform.time().monotonicMs());
    got.push_back(b);
  });
  EXPECT_FALSE(feed.load("/nonexistent/replay.txt"));
  ASSERT_TRUE(feed.loadText("# mode: 48\n0.000 A0 20 DF 10 EF\n1.500 A0, 61, 9E  # note\nA061\r\n\n00:00:04.5 A020DF10EF\n2.0 zz\n3.0 A0 2\n", "house"));
  EXPECT_EQ(feed.recordedMode(), 1);
  EXPECT_EQ(feed.packetCount(), 4u);
  EXPECT_EQ(logged[1], "Replay house line 7: not a hex digit: 'z', line skipped");
  EXPECT_EQ(logged[2].rfind("Replay house line 8: odd number of hex digits", 0), 0u);
  // The untimed line comes with the one before and does not swallow the gap after it.
  for (const auto& [speed, offsets] : {std::pair<double, std::vector<int>>{1, {0, 1500, 1500, 4500}},
                                       {2, {0, 750, 750, 2250}}, {0, {0, 0, 0, 0}}, {-3, {0, 1500, 1500, 4500}}}) {
    at.clear();
    got.clear();
    const std::int64_t t0 = platform.time().monotonicMs();
    feed.start(speed);
    for (int k = 0; k < 100 && !feed.finished(); ++k) platform.time().advance(250);
    ASSERT_EQ(got.size(), 4u) << speed;
    EXPECT_EQ(got[2], "\xA0\x61");
    // Zero-delay timers fire on the next virtual millisecond: a few ms of slack.
    for (std::size_t k = 0; k < 4; ++k) EXPECT_NEAR(at[k] - t0, offsets[k], 4) << speed << " " << k;
  }
}
