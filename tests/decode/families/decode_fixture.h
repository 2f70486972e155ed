#pragma once
// A node with a registry, BSC endpoint and xAP transport on loopback for the family decoders;
// packets are built byte by byte by the tests, sent datagrams are read back from the fake socket.
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "devices/status_picture.h"
#include "decode/families/decoders.h"
#include "decode/receive_processor.h"
#include "support/fake_platform.h"
#include "util/text.h"
#include "support/test_folder.h"
#include "support/loopback_transport.h"
#include "xap/decode_reports_to_xap.h"

namespace quillon::decode::test {

namespace fs = std::filesystem;

inline std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s.push_back(static_cast<char>(v));
  return s;
}

// "2C3EF5" -> the bytes 2C 3E F5 (packets as recorded from a receiver).
inline std::string fromHex(const std::string& hex) {
  std::string s;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) s.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return s;
}

class DecodeTest : public ::testing::Test {
 protected:
  DecodeTest() {
    dir = quillon::test::freshTestFolder("quillon-dec");
    ctx = std::make_unique<core::NodeContext>(platform, core::AppPaths{dir.string(), ""});
    ctx->nodeUid = "FF.0052:00";
    ctx->log.setXapSender([this](const std::string&, const std::string& type, const std::string& data) {
      if (type == "Quillon") logs.push_back(data);
    });
    registry = std::make_unique<devices::DeviceRegistry>(*ctx);
    registry->discoveryGate().setAdmitPerWindow(1 << 20);  // these tests decode, they do not test admission
    timers = std::make_unique<devices::DeviceTimers>(*ctx, *registry);
    transport = std::make_unique<xap::XapTransport>(*ctx);
    quillon::test::initLoopbackTransport(*transport, *ctx);
    bsc = std::make_unique<xap::BscEndpoint>(*ctx, *transport, *registry);
    bsc->setTagEventQueuer([this](const std::string& t) { tags.push_back(t); });
    reporter = std::make_unique<devices::OnOffReporter>(*ctx, *registry, *timers, *bsc);
    reports = std::make_unique<xap::DecodeReportsToXap>(*ctx, *transport, *registry);
    env = std::make_unique<DecodeEnv>(makeDecodeContext(*ctx, *registry, *reporter, *timers, *reports,
                                                        [this](const std::string& t) { tags.push_back(t); },
                                                        [this] { return restartDebounce(); }));
  }
  ~DecodeTest() override {
    rx.reset(), env.reset(), reports.reset(), reporter.reset(), bsc.reset(), transport.reset(), timers.reset(), registry.reset(), ctx.reset();
    fs::remove_all(dir);
  }

  // The debounce timer: running while less than DebounceInterval has passed since the last restart.
  bool restartDebounce() {
    const auto now = platform.time().monotonicMs();
    const bool running = debounceStart >= 0 && now - debounceStart < ctx->settings.debounceInterval;
    debounceStart = now;
    return running;
  }

  // One receive event through the framing in 48-bit mode (count byte first); the description line.
  std::string receive(const std::string& hex) {
    if (!rx) {
      ctx->settings.mode = 1;
      denv = std::make_unique<DecoderEnv>(DecoderEnv{*ctx, env.get()});
      registerAllDecoders(decoders, *denv);
      rx = std::make_unique<ReceiveProcessor>(*ctx, decoders);
      rx->setEchoSink([this](const std::string& line) { echoed = line.substr(line.find(" |  ") + 4); });
    }
    rx->processCommData(fromHex(hex));
    return echoed;
  }

  // A record in use (it has a location) with an xAP UID.
  devices::W800Device& inUse(const std::string& code, const std::string& tag = "") {
    EXPECT_TRUE(registry->addW800Unit(code));
    auto* d = registry->device(code);
    d->setLocation("Hall");
    d->setInUse(true);
    d->setTag(tag);
    return *d;
  }

  // Datagrams sent since the last call, from the first body section on ("section\n{\n...}\n").
  std::vector<std::string> bodies() {
    std::vector<std::string> out;
    for (const auto& s : platform.udpSockets.at(1)->sent) out.push_back(s.data.substr(s.data.find("}\n") + 2));
    platform.udpSockets.at(1)->sent.clear();
    return out;
  }
  static std::string event(const std::string& state, const std::string& display, const std::string& text) {
    return "input.state\n{\nState=" + state + "\nDisplayText=" + display + "\nText=" + text + "\n}\n";
  }
  std::string display(const std::string& code) { return devices::statusPicture(*registry->device(code)); }
  std::string text(const std::string& code) { return registry->device(code) ? registry->device(code)->text() : "<none>"; }

  fs::path dir;
  quillon::test::FakePlatform platform;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<devices::DeviceRegistry> registry;
  std::unique_ptr<devices::DeviceTimers> timers;
  std::unique_ptr<xap::XapTransport> transport;
  std::unique_ptr<xap::BscEndpoint> bsc;
  std::unique_ptr<devices::OnOffReporter> reporter;
  std::unique_ptr<xap::DecodeReportsToXap> reports;
  std::unique_ptr<DecodeEnv> env;
  DecoderRegistry decoders;
  std::unique_ptr<DecoderEnv> denv;
  std::unique_ptr<ReceiveProcessor> rx;
  std::string echoed;
  std::vector<std::string> tags, logs;
  std::int64_t debounceStart = -1;
  std::string detail;
};

}  // namespace quillon::decode::test
