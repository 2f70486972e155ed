// The receive processor: framing under every chunking, resync and discard texts, the receive
// time-out, the mode answer, the receive guard and the buffer bounds.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>

#include "core/node_context.h"
#include "decode/receive_processor.h"
#include "decode/replay_file.h"
#include "support/fake_platform.h"

using namespace quillon;
using decode::PacketFamily;
using F = PacketFamily;

namespace {

std::string bytes(const std::string& hex) {
  std::string out, reason;
  EXPECT_TRUE(decode::parseHexBytes(hex, out, reason)) << reason;
  return out;
}
bool complements(const decode::Packet& p) { return (p.byte(1) ^ p.byte(2)) == 0xFF && (p.byte(3) ^ p.byte(4)) == 0xFF; }

// Records what each family is handed and accepts by a rule the test sets.
class Recorder : public decode::FamilyDecoder {
 public:
  Recorder(F f, std::vector<std::pair<F, std::string>>& seen, std::function<bool(const decode::Packet&)>& rule)
      : f_(f), seen_(seen), rule_(rule) {}
  bool decode(const decode::Packet& p, decode::DecodeContext& ctx) override {
    seen_.push_back({f_, decode::hexDump(p.data)});
    ctx.packetDetail() += " | seen";
    return rule_(p);
  }
  F f_;
  std::vector<std::pair<F, std::string>>& seen_;
  std::function<bool(const decode::Packet&)>& rule_;
};

class Framing : public ::testing::Test {
 protected:
  Framing() : ctx(platform, core::AppPaths{(std::filesystem::temp_directory_path() / "quillon-framing").string(), ""}) {
    for (int f = 0; f <= static_cast<int>(F::OregonUV120); ++f)
      registry.add(static_cast<F>(f), std::make_shared<Recorder>(static_cast<F>(f), seen, rule));
    ctx.log.setXapSender([this](const std::string&, const std::string&, const std::string& t) { logged.push_back(t); });
    rp.setEchoSink([this](const std::string& line) { echoes.push_back(line); });
  }
  void feed(const std::string& hex) { rp.processCommData(bytes(hex), 2); }
  bool loggedHas(const std::string& t) const {
    for (const auto& l : logged)
      if (l.find(t) != std::string::npos) return true;
    return false;
  }
  std::vector<F> families() const {
    std::vector<F> out;
    for (const auto& s : seen) out.push_back(s.first);
    return out;
  }

  test::FakePlatform platform;
  core::NodeContext ctx;
  decode::DecoderRegistry registry;
  std::vector<std::pair<F, std::string>> seen;
  std::function<bool(const decode::Packet&)> rule = [](const decode::Packet& p) { return p.bits != 32 || complements(p); };
  decode::ReceiveProcessor rp{ctx, registry};
  std::vector<std::string> echoes, logged;
};

// A stream frames the same whole, split in two at any byte, or one byte per receive event; in
// 48-bit mode that includes packets of every length following each other in one event.
TEST_F(Framing, SameFramesUnderEveryChunking) {
  const struct {
    int mode;
    std::string hex;
    std::vector<F> expected;
  } streams[] = {
      {0, "20 DF 10 EF 61 9E 08 F7", {F::X10Rf32, F::X10Rf32}},
      {1,
       "A0 20 DF 10 EF A2 01 02 03 04 05 A9 11 12 13 14 15 16 AC 21 22 23 24 25 26 B0 31 32 33 34 35 36 "
       "B8 41 42 43 44 45 46 47 D0 1A CC 43 21 05 60 00 00 2E 00 A0 61 9E 08 F7",
       {F::X10Rf32, F::DoorSwitch34, F::X10Security41, F::Digimax44, F::RfxPower48, F::OregonScale56, F::OregonTempHum80, F::X10Rf32}},
  };
  for (const auto& s : streams) {
    ctx.settings.mode = s.mode;
    const std::string all = bytes(s.hex);
    for (std::size_t cut = 0; cut <= all.size() + 1; ++cut) {
      seen.clear();
      echoes.clear();
      std::vector<std::string> chunks{all.substr(0, cut), all.substr(std::min(cut, all.size()))};
      if (cut > all.size()) chunks.assign(all.size(), "");  // one byte per event
      for (std::size_t k = 0; cut > all.size() && k < all.size(); ++k) chunks[k] = all.substr(k, 1);
      for (const auto& c : chunks)
        if (!c.empty()) rp.processCommData(c, 2);
      EXPECT_EQ(families(), s.expected) << "mode " << s.mode << ", cut " << cut;
      EXPECT_EQ(seen.back().second, "61, 9E, 08, F7");
      EXPECT_EQ(rp.buffered(), 0u);
      for (const auto& e : echoes) EXPECT_EQ(e.find("Discarding"), std::string::npos) << e;
    }
  }
}

TEST_F(Framing, ResyncAndDiscardTexts) {
  const struct {
    int mode;
    std::string hex;
    std::vector<F> dispatched;
    std::string detail;
    std::size_t left;
  } cases[] = {
      {0, "07 20 DF 10 EF", {F::X10Rf32, F::X10Rf32}, "07, 20, DF, 10, EF | seen | Discarding 07 because byte 3 & 4 are not complements | seen", 0},
      {1, "07 A0 20 DF 10 EF", {F::X10Rf32}, "07, A0, 20, DF, 10, EF | Discarding 07 while trying to sync on byte-count byte | seen", 0},
      // A rejected packet's data is walked with the short list of counts: 0x22 (34) and 0xB8 (56) do not sync.
      {1, "A0 11 22 33 B8 A0 20 DF 10 EF", {F::X10Rf32, F::X10Rf32}, "| Discarding 22 while trying to sync on byte-count byte | Discarding 33 "
       "while trying to sync on byte-count byte | Discarding B8 while trying to sync on byte-count byte | seen", 0},
      {1, "BC 01 02 03 04 05 06 07 08", {}, " | Discarding BC after seeing invalid byte count", 0},
      {1, "D0 1A 2D 00 00 00 00 00 00 00 00", {}, " | Discarding D0 while trying to sync on byte-count byte for OS Type 1A2D/FA28", 0},
      {1, "C0 13 20 00 00 00 00 00 00", {F::OregonScale64}, "| seen", 0},
      // 64 bits, check A failing, low half not 3: no decoder, but consumed.
      {1, "C0 14 20 00 00 00 00 00 00 A0 20 DF 10 EF", {F::X10Rf32}, "C0, 14", 0},
  };
  for (const auto& c : cases) {
    ctx.settings.mode = c.mode;
    seen.clear();
    echoes.clear();
    feed(c.hex);
    EXPECT_EQ(families(), c.dispatched) << c.hex;
    ASSERT_EQ(echoes.size(), 1u);
    EXPECT_EQ(echoes[0].rfind("12:00:00 |  ", 0), 0u);
    EXPECT_NE(echoes[0].find(c.detail), std::string::npos) << echoes[0];
    EXPECT_EQ(rp.buffered(), c.left) << c.hex;
    rp.onReceiveTimeout();
  }
}

TEST_F(Framing, ReceiveTimeoutRunsFromTheLastEvent) {
  feed("20");
  platform.time().advance(1500);
  feed("DF");
  platform.time().advance(1999);
  feed("10 EF");
  EXPECT_EQ(seen.size(), 1u);
  feed("20 DF");
  platform.time().advance(3000);
  feed("10 EF");
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(rp.buffered(), 2u);
}

TEST_F(Framing, ModeCommandAndItsAnswer) {
  const struct {
    int mode;
    std::string answer, command, log;
  } cases[] = {
      {0, "29", "F0 29", "Receiver confirmed 32 bit mode configuration"},
      {1, "2C", "F0 2C", "Receiver confirmed 48 bit mode configuration"},
      {1, "29", "F0 2C", "Receiver expected to be in 32 bit mode, but responded with 29 for mode"},
      {0, "2C", "F0 29", "Receiver expected to be in 48 bit mode, but responded with 2C for mode"},
      {2, "29", "F0 29", "Receiver confirmed 32 bit mode configuration"},  // any Mode but 1 is 32-bit
  };
  for (const auto& c : cases) {
    ctx.settings.mode = c.mode;
    logged.clear();
    EXPECT_EQ(rp.modeCommand(), bytes(c.command));
    rp.expectModeAnswer();
    rp.processCommData(bytes(c.answer), 3);  // other event codes do not count as the answer
    EXPECT_TRUE(rp.awaitingModeAck());
    platform.time().advance(1999);
    feed(c.answer);
    EXPECT_FALSE(rp.awaitingModeAck());
    platform.time().advance(5000);
    EXPECT_EQ(logged, std::vector<std::string>{c.log});
  }
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(echoes.size(), 5u);  // only the event-code calls echo
  EXPECT_EQ(rp.buffered(), 0u);
}

// Only a lone 0x29 or 0x2C within 2 s of the command is the answer: a receiver that never answers
// (a W800RF32) keeps its first packet, a real packet before the answer is decoded, a late answer
// is data, and a missing answer is logged once.
TEST_F(Framing, ModeAnswerIsOnlyTheAnswerByteInTime) {
  ctx.settings.mode = 0;
  rp.expectModeAnswer();
  feed("20 DF 10 EF");  // the W800's first packet
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(rp.awaitingModeAck());
  EXPECT_FALSE(loggedHas("confirmed"));
  platform.time().advance(2000);
  EXPECT_FALSE(rp.awaitingModeAck());
  EXPECT_EQ(logged, std::vector<std::string>{"Receiver did not confirm 32 bit mode configuration (no answer within 2 s of the mode command)"});
  platform.time().advance(60000);
  EXPECT_EQ(logged.size(), 1u);

  // A packet first, then the answer, both in time.
  ctx.settings.mode = 1;
  logged.clear();
  seen.clear();
  rp.expectModeAnswer();
  feed("A0 20 DF 10 EF");
  feed("2C");
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(logged, std::vector<std::string>{"Receiver confirmed 48 bit mode configuration"});

  // A lone 2C while a packet is half received is the packet's byte, not the answer.
  logged.clear();
  seen.clear();
  rp.expectModeAnswer();
  feed("A0 20");
  feed("2C");
  EXPECT_TRUE(rp.awaitingModeAck());
  EXPECT_EQ(rp.buffered(), 3u);

  // Late: the same byte after 2 s is data (a Digimax count byte here), not an answer.
  platform.time().advance(2500);
  logged.clear();
  feed("2C");
  EXPECT_FALSE(loggedHas("confirmed"));
  EXPECT_EQ(rp.buffered(), 1u);
}

TEST_F(Framing, ReceiveGuardIsAlwaysReleased) {
  rule = [](const decode::Packet& p) -> bool {
    if (p.byte(1) == 0x66) throw std::runtime_error("decoder broke");
    return complements(p);
  };
  feed("66 00 00 00 20 DF 10 EF");
  EXPECT_TRUE(loggedHas("ProcessCommData 66, 00, 00, 00, 20, DF, 10, EF"));
  EXPECT_EQ(seen.back().second, "20, DF, 10, EF");
  EXPECT_FALSE(rp.busy());

  rp.setEchoSink([](const std::string&) { throw std::runtime_error("echo window gone"); });
  EXPECT_NO_THROW(feed("20 DF 10 EF"));
  EXPECT_FALSE(rp.busy());
  rp.setEchoSink([this](const std::string& line) { echoes.push_back(line); });
  echoes.clear();
  feed("61 9E 08 F7");
  EXPECT_EQ(echoes, std::vector<std::string>{"12:00:00 |  61, 9E, 08, F7 | seen"});
}

TEST_F(Framing, NestedEventsAreFramedByTheOuterCallWithinTheCap) {
  int calls = 0;
  rule = [&](const decode::Packet& p) {
    if (calls++ == 0) {  // bytes that arrive while this packet is decoded
      rp.processCommData(bytes("61 9E"), 2);
      rp.processCommData(bytes("08 F7"), 2);
      rp.processCommData(std::string(decode::ReceiveProcessor::kMaxRxBuffer, '\x01'), 2);
      EXPECT_LE(rp.buffered(), decode::ReceiveProcessor::kMaxRxBuffer);
    }
    return complements(p);
  };
  feed("20 DF 10 EF");
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[1].second, "61, 9E, 08, F7");
  EXPECT_TRUE(loggedHas("Receive buffer full: discarding 8 unframed bytes"));
  EXPECT_EQ(echoes.size(), 1u);  // nested receive events write no echo line of their own
  EXPECT_FALSE(rp.busy());
  EXPECT_LT(rp.buffered(), 4u);
}

TEST_F(Framing, LargeChunksLoseNothingAndNoiseIsSummed) {
  std::string many;
  for (int k = 0; k < 3000; ++k) many += bytes("20 DF 10 EF");
  rp.processCommData(many, 2);
  EXPECT_EQ(seen.size(), 3000u);
  EXPECT_FALSE(loggedHas("Receive buffer full"));

  ctx.settings.mode = 1;
  echoes.clear();
  rp.processCommData(std::string(1000, '\x01'), 2);
  ASSERT_EQ(echoes.size(), 1u);
  EXPECT_NE(echoes[0].find(" | Discarded 968 more bytes while trying to sync"), std::string::npos);
  EXPECT_LT(echoes[0].size(), 8000u);
}

}  // namespace
