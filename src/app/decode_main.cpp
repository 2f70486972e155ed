// quillon-decode: reads receive events as hex bytes (a replay file, or plain hex lines) from a file
// or standard input and prints, for each event, the framed packets, the description line, the
// device records it changed and the xAP messages the node would send. Opens no socket: the xAP
// datagrams are printed instead of sent, and the settings live in a temporary folder.
// Usage: quillon-decode [--mode 32|48] [--config DIR] [FILE]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <vector>

#include "core/app_paths.h"
#include "core/node_context.h"
#include "core/settings.h"
#include "core/settings_table.h"
#include "decode/families/decoders.h"
#include "xap/decode_reports_to_xap.h"
#include "decode/family_decoder.h"
#include "decode/receive_processor.h"
#include "decode/replay_file.h"
#include "platform/offline_platform.h"
#include "devices/device_registry.h"
#include "devices/device_timers.h"
#include "devices/onoff_reporter.h"
#include "xap/bsc_endpoint.h"
#include "script/tag_store.h"
#include "util/text.h"
#include "xap/xap_transport.h"

using namespace quillon;

namespace {

namespace fs = std::filesystem;

int usage() {
  std::fprintf(stderr,
               "usage: quillon-decode [--mode 32|48] [--config DIR] [FILE]\n"
               "  --config DIR  start from the settings files (Quillon.ini, ovkXap.ini) in DIR, which is\n"
               "                not changed; devices without a location there are decoded but not published\n");
  return 2;
}

// A scratch application folder, removed when the tool ends.
struct ScratchFolder {
  fs::path path;
  ScratchFolder() {
    std::string tmpl = (fs::temp_directory_path() / "quillon-decode-XXXXXX").string();
    if (char* made = mkdtemp(tmpl.data())) path = made;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

std::string defaultConfigDir() {
  const std::string share = core::templateFolder(core::executablePath());
  return share.empty() ? share : share + "/Config";
}

std::map<std::string, std::string> snapshot(const devices::DeviceRegistry& registry) {
  std::map<std::string, std::string> out;
  for (const auto& [code, device] : registry.devices())
    if (device) out[code] = device->properties();
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int mode = -1;
  std::string path;
  std::string configDir = defaultConfigDir();
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--mode" && i + 1 < argc) {
      std::string m = argv[++i];
      if (m == "48") mode = 1;
      else if (m == "32") mode = 0;
      else return usage();
    } else if (a == "--config" && i + 1 < argc) {
      configDir = argv[++i];
    } else if (a == "-h" || a == "--help") {
      return usage();
    } else if (path.empty()) {
      path = a;
    } else {
      return usage();
    }
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::stringstream text;
  if (path.empty() || path == "-") {
    text << std::cin.rdbuf();
  } else {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "quillon-decode: cannot read %s\n", path.c_str());
      return 1;
    }
    text << in.rdbuf();
  }
  decode::ReplayFile file = decode::parseReplay(text.str());
  for (const auto& e : file.errors) std::fprintf(stderr, "quillon-decode: %s, skipped\n", e.c_str());
  if (mode < 0) mode = file.mode < 0 ? 0 : file.mode;

  ScratchFolder scratch;
  if (scratch.path.empty()) {
    std::fprintf(stderr, "quillon-decode: cannot create a temporary folder\n");
    return 1;
  }
  std::error_code ec;
  fs::create_directories(scratch.path / "Config", ec);
  fs::create_directories(scratch.path / "Data", ec);
  if (!configDir.empty()) {
    for (const char* name : {core::kSettingsFile, core::kXapSettingsFile}) {
      fs::path from = fs::path(configDir) / name;
      if (fs::exists(from, ec)) fs::copy_file(from, scratch.path / "Config" / name, ec);
    }
  }

  platform::OfflinePlatform platform;
  core::AppPaths paths;
  paths.appFolder = scratch.path.string();
  core::NodeContext ctx(platform, paths);
  ctx.log.setEchoToStderr(true);
  ctx.computerName = "decode";
  core::initIniKeys(ctx.settings, ctx.ini);
  ctx.settings.debugLog = false;  // the description lines are printed below already
  ctx.log.setDebugLog(false);
  ctx.settings.mode = mode;
  ctx.nodeUid = core::formatNodeUid(util::removeChar(core::storedSetting(ctx.ini, core::kSettingsSection, "UID"), '"'));
  ctx.broadcastAddress = "127.0.0.1";
  ctx.interfaceAddress = "127.0.0.1";

  devices::DeviceRegistry devices(ctx);
  xap::XapTransport transport(ctx);
  script::TagStore tagStore;
  xap::BscEndpoint bsc(ctx, transport, devices);
  devices::DeviceTimers timers(ctx, devices);
  devices::OnOffReporter reporter(ctx, devices, timers, bsc);
  bsc.setTagStore(&tagStore);
  transport.setXapSource("ovk.W800.decode");
  transport.setXapUid(ctx.nodeUid);
  transport.setBroadcastAddress(ctx.broadcastAddress);
  transport.setInterfaceAddress(ctx.interfaceAddress);
  transport.init();
  ctx.xapReady = true;
  devices.loadDevices();
  platform.sent.clear();  // the start-up heartbeat

  xap::DecodeReportsToXap reports(ctx, transport, devices);
  decode::DecodeEnv services = decode::makeDecodeContext(ctx, devices, reporter, timers, reports);
  decode::DecoderRegistry registry;
  decode::DecoderEnv env{ctx, &services};
  decode::registerAllDecoders(registry, env);
  decode::ReceiveProcessor processor(ctx, registry);
  processor.setFrameSink([](const decode::Packet& p) {
    std::string line = "frame " + std::to_string(p.bits) + " bits";
    if (p.countByte >= 0) line += " (count " + decode::hexDump(std::string(1, static_cast<char>(p.countByte))) + ")";
    line += ": " + decode::hexDump(p.data);
    std::printf("%s\n", line.c_str());
  });
  processor.setEchoSink([](const std::string& line) { std::printf("%s\n", line.c_str()); });
  // After each event: the records it changed, then the xAP messages (heartbeats left out).
  auto report = [&](const std::map<std::string, std::string>& before) {
    for (const auto& [code, props] : snapshot(devices)) {
      auto it = before.find(code);
      if (it == before.end()) std::printf("  new device %s: %s\n", code.c_str(), props.c_str());
      else if (it->second != props) std::printf("  device %s: %s\n", code.c_str(), props.c_str());
    }
    for (const std::string& m : platform.sent) {
      if (m.find("class=xap-hbeat") != std::string::npos) continue;
      std::printf("  xAP message:\n");
      std::istringstream lines(m);
      for (std::string l; std::getline(lines, l);) std::printf("    %s\n", l.c_str());
    }
    platform.sent.clear();
  };

  // A recording that starts with the receiver's one-byte answer to the mode command.
  if (!file.entries.empty() && file.entries.front().bytes.size() == 1) {
    unsigned char b = static_cast<unsigned char>(file.entries.front().bytes[0]);
    if (b == 0x29 || b == 0x2C) processor.expectModeAnswer();
  }
  double start = -1;
  for (const auto& e : file.entries) {
    if (e.seconds >= 0) {
      if (start < 0) start = e.seconds;
      platform.advanceTo(static_cast<std::int64_t>((e.seconds - start) * 1000.0));
    }
    auto before = snapshot(devices);
    processor.processCommData(e.bytes, 2);
    report(before);
  }
  // Timers still due from the last events (off timers, queued BSC replies) have had their chance.
  auto before = snapshot(devices);
  platform.advanceTo(platform.monotonicMs() + 5000);
  report(before);
  std::fflush(stdout);
  return 0;
}
