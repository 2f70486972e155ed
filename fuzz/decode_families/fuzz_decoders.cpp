// Input: byte 0 picks the entry point (and Metric/AcceptVisonic/IRSchema), byte 1 the length cut
// (the family's own length, or a shorter packet), the rest are the packet's data bytes.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "decode/families/decoders.h"
#include "xap/decode_reports_to_xap.h"
#include "platform/offline_platform.h"

using namespace quillon;

namespace {

struct Node {
  Node() {
    paths.appFolder = (std::filesystem::temp_directory_path() / "quillon-fuzz-decoders").string();
    std::filesystem::create_directories(std::filesystem::path(paths.appFolder) / "Config");
    ctx = std::make_unique<core::NodeContext>(platform, paths);
    registry = std::make_unique<devices::DeviceRegistry>(*ctx);
    timers = std::make_unique<devices::DeviceTimers>(*ctx, *registry);
    transport = std::make_unique<xap::XapTransport>(*ctx);
    transport->setBroadcastAddress("127.0.0.1");
    transport->setInterfaceAddress("127.0.0.1");
    transport->init();
    ctx->xapReady = true;
    bsc = std::make_unique<xap::BscEndpoint>(*ctx, *transport, *registry);
    reporter = std::make_unique<devices::OnOffReporter>(*ctx, *registry, *timers, *bsc);
    reports = std::make_unique<xap::DecodeReportsToXap>(*ctx, *transport, *bsc, *registry);
    env = std::make_unique<decode::DecodeEnv>(decode::makeDecodeContext(
        *ctx, *registry, *reporter, *timers, *reports, [](const std::string&) {}, [this] { return (++ticks & 1) != 0; }));
  }
  platform::OfflinePlatform platform;
  core::AppPaths paths;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<devices::DeviceRegistry> registry;
  std::unique_ptr<devices::DeviceTimers> timers;
  std::unique_ptr<xap::XapTransport> transport;
  std::unique_ptr<xap::BscEndpoint> bsc;
  std::unique_ptr<devices::OnOffReporter> reporter;
  std::unique_ptr<xap::DecodeReportsToXap> reports;
  std::unique_ptr<decode::DecodeEnv> env;
  unsigned ticks = 0;
};

// Data bytes per family: 32, 34, 41, 44, 48 bits, the Oregon rows in OregonType order, then the
// 40-bit sensor info and the 104-bit clock.
constexpr std::size_t kLengths[] = {4, 5, 6, 6, 6, 7, 8, 8, 8, 9, 10, 10, 10, 10, 11, 11, 11, 12, 15, 5, 13};
constexpr unsigned kOregonRows = 14;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Node node;
  if (size < 2) return 0;
  const unsigned pick = data[0] % std::size(kLengths);
  node.ctx->settings.metric = data[0] & 0x80;
  node.ctx->settings.acceptVisonic = data[0] & 0x40;
  node.ctx->settings.irSchema = data[0] & 0x20;
  std::string packet(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::size_t want = (data[1] & 0x80) ? kLengths[pick] : data[1] % (kLengths[pick] + 1);
  packet.resize(std::min(packet.size(), want));
  std::string detail;
  auto& env = *node.env;
  switch (pick) {
    case 0: decode::decode32Bit(env, packet, detail); break;
    case 1: decode::decodeDoorSwitch34(env, packet, detail); break;
    case 2: decode::decodeSecurity41(env, packet, detail); break;
    case 3: decode::decodeDigimax44(env, packet, detail); break;
    case 4: decode::decodeRfxPower48(env, packet, detail); break;
    case 5 + kOregonRows: decode::decodeRfxSensorInfo40(env, packet, detail); break;
    case 6 + kOregonRows: decode::decodeOregonClock104(env, packet, detail); break;
    default: decode::decodeOregon(env, static_cast<decode::OregonType>(pick - 5), packet, detail); break;
  }
  decode::oregonCheckA(packet), decode::oregonCheckB(packet), decode::oregonCheckC(packet);
  decode::oregonCheckD(packet), decode::oregonCheckE(packet), decode::oregonCheckF(packet);
  node.platform.sent.clear();
  if (node.registry->devices().size() > 500) {  // bounded memory and time per input
    node.registry->devices().clear();
    node.ctx->ini.clearIniSection(devices::kUnitsSection, core::kSettingsFile);
  }
  return 0;
}
