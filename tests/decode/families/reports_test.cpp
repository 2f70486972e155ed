// The decoders on their own: no transport and no BSC endpoint, only recording sinks for their
// reports and the on/off reporter's messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "decode/families/decoders.h"
#include "support/fake_platform.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

struct Recorder : decode::DecodeReports, devices::DevicePublisher {
  std::vector<std::string> seen;
  void deviceEvent(const devices::W800Device& d, const std::string& state) override {
    seen.push_back("event " + d.dc() + " " + state + " " + d.text());
  }
  void irSignal(const devices::W800Device& d, const std::string& signal) override { seen.push_back("ir " + d.dc() + " " + signal); }
  void sendXapBsc(const std::string& code, const std::string& cls) override { seen.push_back(cls + " " + code); }
  void sendXapBscAs(const devices::W800Device& d, const std::string& cls, const std::string&, const std::string& state) override {
    seen.push_back(cls + " " + d.dc() + " " + state);
  }
  void sendXap(const std::string& cls, const std::string&, const std::vector<std::pair<std::string, std::string>>&) override {
    seen.push_back(cls);
  }
  void queueTagEvent(const std::string& tag) override { seen.push_back("tag " + tag); }
};

TEST(DecoderReports, PcRemoteKeysReachTheSinkWithoutATransport) {
  const fs::path dir = fs::temp_directory_path() / "quillon-decoder-reports";
  fs::remove_all(dir);
  test::FakePlatform platform;
  core::NodeContext ctx(platform, core::AppPaths{dir.string(), ""});
  devices::DeviceRegistry registry(ctx);
  devices::DeviceTimers timers(ctx, registry);
  Recorder sink;
  devices::OnOffReporter reporter(ctx, registry, timers, sink);
  decode::DecodeEnv env = decode::makeDecodeContext(ctx, registry, reporter, timers, sink);
  ASSERT_TRUE(registry.addW800Unit("EE11"));
  registry.device("EE11")->setLocation("Lounge");
  registry.device("EE11")->setInUse(true);

  std::string detail;
  ASSERT_TRUE(decode::decode32Bit(env, std::string("\xEE\x11\x82\x7D", 4), detail));
  ctx.settings.irSchema = true;
  platform.time().advance(1000);
  ASSERT_TRUE(decode::decode32Bit(env, std::string("\xEE\x11\xB0\x4F", 4), detail));
  EXPECT_EQ(sink.seen, (std::vector<std::string>{"event EE11 ON 1", "ir EE11 PLAY"})) << detail;
  fs::remove_all(dir);
}

}  // namespace
