#pragma once
// The receive processor: buffers the receiver's bytes, cuts them into packets by bit count
// (32-bit mode: four bytes; 48-bit mode: a count byte then the data bits), checks the receiver's
// answer to the mode command, and hands each packet to its family's decoder.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>

#include "decode/families/oregon_checks.h"
#include "decode/family_decoder.h"
#include "platform/event_loop.h"
#include "util/date_time.h"

namespace quillon::core {
struct NodeContext;
}

namespace quillon::decode {

// "A0, 20, DF" for the bytes A0 20 DF.
std::string hexDump(std::string_view bytes);

class ReceiveProcessor : private DecodeContext {
 public:
  static constexpr int kReceiveTimeoutMs = 2000;
  static constexpr int kModeAnswerMs = 2000;
  // Bytes that arrive while a call is still cutting packets are not kept beyond this.
  static constexpr std::size_t kMaxRxBuffer = 4096;
  // Sync discards reported one by one in a description line; the rest are summed up.
  static constexpr std::size_t kMaxDiscardRemarks = 32;

  ReceiveProcessor(core::NodeContext& ctx, DecoderRegistry& decoders);

  // Entry point for every receive event; eventCode 2 means bytes received.
  void processCommData(const std::string& data, int eventCode = 2);

  // The two-byte mode command for the configured mode (F0 2C for 48-bit mode, else F0 29).
  std::string modeCommand() const;
  // A mode command has just gone to the receiver: for kModeAnswerMs a chunk that is exactly the
  // byte 0x29 or 0x2C, arriving while no packet is half received, is taken as its answer; every
  // other chunk is data. Without an answer in time the log says once that the mode was not
  // confirmed (a W800RF32 never answers).
  void expectModeAnswer();
  // Stops waiting without a word (the recording or the link that was asked went away).
  void cancelModeAnswer();
  bool awaitingModeAck() const { return awaitingModeAck_; }

  // A whole packet framed by another receiver (the SDR receiver's packets, rebuilt in this
  // receiver's form): run through the same family decoders under the same debounce, apart from the
  // bytes buffered from the serial receiver and from its packet count. Its remarks go to `detail`.
  // True when a decoder took it. Not to be called while busy().
  bool processPacket(int bits, const std::string& bytes, std::string& detail);

  // Packets a decoder took, and when the last one came.
  std::uint64_t packetsDecoded() const { return packets_; }
  bool haveLastPacket() const { return packets_ != 0; }
  const util::DateTime& lastPacketTime() const { return lastPacket_; }

  // The echo window's line for each call: "hh:mm:ss |  " followed by the description line.
  void setEchoSink(std::function<void(const std::string&)> fn) { echo_ = std::move(fn); }
  // Each framed packet, before its decoder runs (the decode tool prints these).
  void setFrameSink(std::function<void(const Packet&)> fn) { frame_ = std::move(fn); }

  // The receive time-out: clears what is buffered.
  void onReceiveTimeout();

  std::size_t buffered() const { return buf_.size() - head_; }
  bool busy() const { return rxBusy_; }
  std::string& lastEventKey() override { return lastEventKey_; }
  bool debounceRunning() const { return debounce_.isActive(); }

 private:
  std::string& packetDetail() override { return *detail_; }
  bool restartDebounce() override;

  bool mode48() const;
  // True when the chunk is the receiver's answer to the mode command (and was logged as such).
  bool takeModeAnswer(const std::string& data, const std::string& detail);
  void onModeAnswerTimeout();
  unsigned char front(std::size_t k = 0) const { return static_cast<unsigned char>(buf_[head_ + k]); }
  void consume(std::size_t n);
  void appendWhileBusy(const std::string& data);
  void compact();
  void compactIfWasteful();
  // Drops leading bytes until one is an accepted count byte; 0 when the buffer ran empty.
  std::size_t syncOnCountByte(bool afterPacket);
  void cutPackets();
  void dispatch(int n, int countByte, std::size_t length);
  // Runs the family's decoder; true when the packet is to be consumed. An unregistered family is
  // reported like an unknown packet and consumed.
  bool run(PacketFamily family, Packet& p);
  void discard(const Packet& p, const std::string& text);
  void notDecoded(const Packet& p, const std::string& kind);

  core::NodeContext& ctx_;
  DecoderRegistry& decoders_;
  platform::Timer timeout_;
  platform::Timer debounce_;
  platform::Timer modeAnswer_;
  std::uint64_t packets_ = 0;
  util::DateTime lastPacket_;
  std::string buf_;
  std::size_t head_ = 0;
  std::size_t packetLength_ = 4;
  std::string packetBytes_;
  std::string* detail_ = nullptr;
  std::string lastEventKey_;
  std::size_t discardRemarks_ = 0;
  std::size_t suppressedRemarks_ = 0;
  bool awaitingModeAck_ = false;
  bool rxBusy_ = false;
  std::set<std::string> loggedKinds_;  // kinds already logged as not decoded
  std::function<void(const std::string&)> echo_;
  std::function<void(const Packet&)> frame_;
};

}  // namespace quillon::decode
