#include "decode/receive_processor.h"

#include <algorithm>
#include <exception>

#include "core/node_context.h"
#include "util/text.h"

namespace quillon::decode {
namespace {

unsigned lo(unsigned b) { return b & 15; }

bool acceptedCount(int n, bool afterPacket) {
  static constexpr int kFirst[] = {32, 34, 36, 38, 40, 41, 44, 48, 56, 60, 64, 66, 68, 72, 80, 84, 88, 92, 96, 104, 120};
  static constexpr int kAfter[] = {32, 44, 80, 84, 88, 96};
  if (afterPacket) return std::find(std::begin(kAfter), std::end(kAfter), n) != std::end(kAfter);
  return std::find(std::begin(kFirst), std::end(kFirst), n) != std::end(kFirst);
}

std::string twoDigits(int v) { return std::string{static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)}; }

}  // namespace

std::string hexDump(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 4);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) out += ", ";
    out += util::toHex(static_cast<unsigned char>(bytes[i]));
  }
  return out;
}

ReceiveProcessor::ReceiveProcessor(core::NodeContext& ctx, DecoderRegistry& decoders)
    : ctx_(ctx), decoders_(decoders), timeout_(ctx.platform.loop()), debounce_(ctx.platform.loop()), modeAnswer_(ctx.platform.loop()) {
  timeout_.setHandler([this] { onReceiveTimeout(); });
  modeAnswer_.setHandler([this] { onModeAnswerTimeout(); });
  buf_.reserve(64);
}

bool ReceiveProcessor::mode48() const { return ctx_.settings.mode == 1; }

std::string ReceiveProcessor::modeCommand() const { return mode48() ? std::string("\xF0\x2C", 2) : std::string("\xF0\x29", 2); }

void ReceiveProcessor::expectModeAnswer() {
  awaitingModeAck_ = true;
  modeAnswer_.start(platform::Millis(kModeAnswerMs), false);
}

void ReceiveProcessor::cancelModeAnswer() {
  awaitingModeAck_ = false;
  modeAnswer_.stop();
}

void ReceiveProcessor::onModeAnswerTimeout() {
  if (!awaitingModeAck_) return;
  awaitingModeAck_ = false;
  ctx_.logEvent(std::string("Receiver did not confirm ") + (mode48() ? "48" : "32") + " bit mode configuration (no answer within " +
                std::to_string(kModeAnswerMs / 1000) + " s of the mode command)");
}

bool ReceiveProcessor::takeModeAnswer(const std::string& data, const std::string& detail) {
  if (!awaitingModeAck_ || data.size() != 1 || buffered() != 0) return false;
  const unsigned char b = static_cast<unsigned char>(data[0]);
  if (b != 0x29 && b != 0x2C) return false;
  cancelModeAnswer();
  // Judged by the mode the receiver was commanded into (48-bit only for Mode 1), so a Mode of
  // 2 or -1 is neither confirmed as 48-bit nor warned about when the receiver answers 32-bit.
  const bool m48 = mode48();
  if (b == 0x29 && m48)
    ctx_.logEvent("Receiver expected to be in 32 bit mode, but responded with " + detail + " for mode");
  else if (b == 0x2C && !m48)
    ctx_.logEvent("Receiver expected to be in 48 bit mode, but responded with " + detail + " for mode");
  else
    ctx_.logEvent(m48 ? "Receiver confirmed 48 bit mode configuration" : "Receiver confirmed 32 bit mode configuration");
  return true;
}

bool ReceiveProcessor::restartDebounce() {
  bool wasRunning = debounce_.isActive();
  debounce_.start(platform::Millis(std::max(0, ctx_.settings.debounceInterval)), false);
  return wasRunning;
}

void ReceiveProcessor::onReceiveTimeout() {
  timeout_.stop();
  std::size_t n = buffered();
  if (n && ctx_.settings.debugLog) ctx_.logDebug("Receive time-out: discarding " + std::to_string(n) + " unframed bytes");
  buf_.clear();
  head_ = 0;
}

void ReceiveProcessor::consume(std::size_t n) {
  head_ += std::min(n, buffered());
  if (head_ == buf_.size()) {
    buf_.clear();
    head_ = 0;
  }
}

void ReceiveProcessor::compact() {
  if (head_ == 0) return;
  buf_.erase(0, head_);
  head_ = 0;
}

void ReceiveProcessor::appendWhileBusy(const std::string& data) {
  // Bytes that arrive while the outer call is still cutting wait in the buffer; they are capped
  // so that a decoder that keeps letting events run cannot make the buffer grow without bound.
  // The excess of the new bytes goes: what is buffered includes the packet being decoded.
  compactIfWasteful();
  const std::size_t have = buffered();
  const std::size_t room = have < kMaxRxBuffer ? kMaxRxBuffer - have : 0;
  if (data.size() <= room) {
    buf_ += data;
    return;
  }
  ctx_.logEvent("Receive buffer full: discarding " + std::to_string(data.size() - room) + " unframed bytes");
  buf_.append(data, 0, room);
}

void ReceiveProcessor::compactIfWasteful() {
  if (head_ > 256 && head_ * 2 > buf_.size()) compact();
}

void ReceiveProcessor::processCommData(const std::string& data, int eventCode) {
  std::string detail = hexDump(data);
  // Restores the outer call's description line and the receive guard however this call ends,
  // so a throwing decoder or echo sink never leaves the guard set or a dangling line behind.
  struct CallScope {
    ReceiveProcessor& rp;
    std::string* outer;
    bool setBusy = false;
    ~CallScope() {
      if (setBusy) rp.rxBusy_ = false;
      rp.detail_ = outer;
    }
  } scope{*this, detail_};
  detail_ = &detail;

  if (eventCode != 2) {
    if (ctx_.settings.debugLog && eventCode != 3) ctx_.logDebug("W800 Comm Event Code=" + std::to_string(eventCode));
  } else if (takeModeAnswer(data, detail)) {
    return;
  } else {
    timeout_.start(platform::Millis(kReceiveTimeoutMs), false);
    // A nested call (a decoder let events run) only appends; the outer call's loop frames the bytes.
    if (rxBusy_) {
      appendWhileBusy(data);
      return;
    }
    buf_ += data;
    rxBusy_ = scope.setBusy = true;
    discardRemarks_ = suppressedRemarks_ = 0;
    try {
      cutPackets();
    } catch (const std::exception& e) {
      ctx_.log.logEvent("Quillon", "ProcessCommData " + detail, std::string(" ") + e.what());
    } catch (...) {
      ctx_.logEvent("ProcessCommData " + detail);
    }
    compact();
    if (suppressedRemarks_) detail += " | Discarded " + std::to_string(suppressedRemarks_) + " more bytes while trying to sync";
  }

  util::DateTime t = ctx_.now();
  try {
    if (echo_) echo_(twoDigits(t.hour) + ":" + twoDigits(t.minute) + ":" + twoDigits(t.second) + " |  " + detail);
  } catch (const std::exception& e) {
    ctx_.log.logEvent("Quillon", "ProcessCommData " + detail, std::string(" ") + e.what());
  } catch (...) {
    ctx_.logEvent("ProcessCommData " + detail);
  }
  if (ctx_.settings.debugLog) ctx_.logDebug("Data Received and Procesed: " + detail);
}

bool ReceiveProcessor::processPacket(int bits, const std::string& bytes, std::string& detail) {
  if (rxBusy_ || bytes.empty()) return false;
  // The serial receiver's half-framed bytes and counters wait aside while the packet runs.
  struct Aside {
    ReceiveProcessor& rp;
    std::string buf;
    std::size_t head;
    std::string* detail;
    std::uint64_t packets;
    util::DateTime last;
    ~Aside() {
      rp.buf_ = std::move(buf);
      rp.head_ = head;
      rp.detail_ = detail;
      rp.packets_ = packets;
      rp.lastPacket_ = last;
      rp.rxBusy_ = false;
    }
  } aside{*this, std::move(buf_), head_, detail_, packets_, lastPacket_};
  buf_ = bytes;
  head_ = 0;
  detail_ = &detail;
  rxBusy_ = true;
  try {
    // As a 48-bit frame: its count byte is the bit count, so a refused 32-bit packet is not
    // walked byte by byte.
    dispatch(bits, bits, bytes.size());
  } catch (const std::exception& e) {
    ctx_.log.logEvent("Quillon", "ProcessPacket " + detail, std::string(" ") + e.what());
  }
  return packets_ != aside.packets;
}

std::size_t ReceiveProcessor::syncOnCountByte(bool afterPacket) {
  while (buffered()) {
    unsigned char b = front();
    int n = b & 0x7F;
    if (acceptedCount(n, afterPacket)) return static_cast<std::size_t>((n + 7) / 8 + 1);
    if (discardRemarks_ < kMaxDiscardRemarks) {
      ++discardRemarks_;
      *detail_ += " | Discarding " + util::toHex(b) + " while trying to sync on byte-count byte";
    } else {
      ++suppressedRemarks_;  // a long run of noise gets one summary instead of a remark per byte
    }
    consume(1);
  }
  return 0;
}

void ReceiveProcessor::cutPackets() {
  const bool m48 = mode48();
  if (m48) {
    packetLength_ = syncOnCountByte(false);
    if (!packetLength_) return;
  } else {
    packetLength_ = 4;
  }
  while (buffered() >= packetLength_) {
    int n = 32, countByte = -1;
    std::size_t length = packetLength_;
    if (m48) {
      countByte = front();
      n = countByte & 0x7F;
      consume(1);
      length = packetLength_ - 1;
    }
    const std::size_t before = buffered();
    dispatch(n, countByte, length);
    if (m48) {
      // After a consumed packet the next byte starts a frame, so every count is accepted (packets
      // that arrive together frame as they would one by one); after a rejected packet the sync
      // walks over its data bytes and accepts only the counts that rarely occur by chance.
      const bool consumedWhole = before - buffered() == length;
      packetLength_ = syncOnCountByte(!consumedWhole);
      if (!packetLength_) return;
    } else {
      packetLength_ = 4;
    }
  }
}

bool ReceiveProcessor::run(PacketFamily family, Packet& p) {
  FamilyDecoder* d = decoders_.find(family);
  if (!d) {
    // No decoder for this family: reported like a packet of unknown length, but the frame itself
    // was sound, so it is consumed whole instead of walking its data bytes for a count byte.
    ctx_.counters.decodeErrors.add();
    *detail_ += " | Discarding " + util::toHex(static_cast<unsigned char>(p.countByte >= 0 ? p.countByte : static_cast<int>(p.byte(1)))) +
                " after seeing invalid byte count";
    return true;
  }
  try {
    const bool decoded = d->decode(p, *this);
    if (decoded) {
      ++packets_;
      lastPacket_ = ctx_.now();
      ctx_.counters.packet(static_cast<std::size_t>(family));
    } else {
      ctx_.counters.decodeErrors.add();
    }
    return decoded;
  } catch (const std::exception& e) {
    ctx_.log.logEvent("Quillon", "ProcessCommData " + *detail_, std::string(" ") + e.what());
  } catch (...) {
    ctx_.logEvent("ProcessCommData " + *detail_);
  }
  ctx_.counters.decodeErrors.add();
  return false;
}

void ReceiveProcessor::notDecoded(const Packet& p, const std::string& kind) {
  // A sound frame of a kind no decoder reads (the caller consumes it): noted, logged once per kind.
  const std::string text = kind + " packet " + util::hexString(p.data) + " not decoded";
  *detail_ += " | " + text;
  if (loggedKinds_.insert(kind).second) ctx_.logEvent(text);
}

void ReceiveProcessor::discard(const Packet& p, const std::string& text) {
  ctx_.counters.decodeErrors.add();
  *detail_ += " | Discarding " + util::toHex(static_cast<unsigned char>(p.countByte)) + text;
}

void ReceiveProcessor::dispatch(int n, int countByte, std::size_t length) {
  const bool m48 = countByte >= 0;
  packetBytes_.assign(buf_, head_, length);
  Packet p;
  p.data = packetBytes_;
  p.bits = n;
  p.countByte = countByte;
  p.mode48 = m48;
  if (frame_) frame_(p);
  const unsigned id16 = p.id16();
  const std::size_t L = length;
  auto consumeIf = [&](bool ok) {
    if (ok) consume(L);
  };
  auto dropOneIf32 = [&] {
    if (!m48) consume(1);
  };

  switch (n) {
    case 32:
      if (run(PacketFamily::X10Rf32, p)) {
        consume(L);
      } else {
        *detail_ += " | Discarding " + util::toHex(static_cast<unsigned char>(p.byte(1))) + " because byte 3 & 4 are not complements";
        dropOneIf32();
      }
      return;
    case 34: consumeIf(run(PacketFamily::DoorSwitch34, p)); return;
    case 41:
      if (run(PacketFamily::X10Security41, p)) consume(L);
      else consume(1);
      return;
    case 44: consumeIf(run(PacketFamily::Digimax44, p)); return;
    case 48: consumeIf(run(PacketFamily::RfxPower48, p)); return;
    case 56: consumeIf(run(PacketFamily::OregonScale56, p)); return;
    // Families with a check of their own or none: the frame is consumed whether or not its decoder
    // took it (a refusal leaves the decoder's remark).
    case 36: run(PacketFamily::VisonicPowerCode36, p), consume(L); return;
    case 38: run(PacketFamily::HomeEasyPreset38, p), consume(L); return;
    case 40:
      if (!run(PacketFamily::RfxSensorInfo40, p)) notDecoded(p, "RFXCOM 40 bit");
      consume(L);
      return;
    default: break;
  }
  if (n >= 60 && id16 == 0xCA48) {
    if (oregonCheckE(p.data)) consumeIf(run(PacketFamily::OregonCA48, p));
    else discard(p, " while trying to sync on byte-count byte for OS Type CA48");
    return;
  }
  if (n >= 80 && (id16 == 0x1A89 || id16 == 0x1A99)) {
    if (oregonCheckC(p.data)) consumeIf(run(PacketFamily::OregonWind, p));
    else ctx_.counters.decodeErrors.add();
    return;
  }
  switch (n) {
    case 64:
      if (oregonCheckA(p.data)) {
        run(PacketFamily::OregonUV64, p);
      } else if (lo(p.byte(1)) == 3) {
        run(PacketFamily::OregonScale64, p);
      }
      consume(L);
      return;
    case 68:
      if (id16 != 0xEA4C) return;
      if (oregonCheckE(p.data)) consumeIf(run(PacketFamily::OregonEA4C, p));
      else discard(p, " while trying to sync on byte-count byte for OS Type EA4C");
      return;
    case 80: {
      const char* failText = nullptr;
      PacketFamily family = PacketFamily::OregonTempHum80;
      bool ok = false;
      if (p.id12() == 0xACC) {
        ok = oregonCheckB(p.data), failText = " while trying to sync on byte-count byte for OS Type ?ACC";
      } else if (id16 == 0xCA2C || id16 == 0x1A2D || id16 == 0xFA28) {
        ok = oregonCheckB(p.data), failText = " while trying to sync on byte-count byte for OS Type 1A2D/FA28";
      } else if (id16 == 0x0A4D) {
        family = PacketFamily::Oregon0A4D;
        ok = oregonCheckB(p.data), failText = " while trying to sync on byte-count byte for OS Type 0A4D";
      } else if (id16 == 0x1A3D) {
        family = PacketFamily::Oregon1A3D;
        ok = oregonCheckB(p.data), failText = " while trying to sync on byte-count byte for OS Type 1A3D";
      } else if (id16 == 0xFAB8) {  // WTGR800 thermo-hygrometer: like 1A3D, with a battery level
        family = PacketFamily::Oregon1A3D;
        ok = oregonCheckB(p.data), failText = " while trying to sync on byte-count byte for OS Type FAB8";
      } else if (id16 == 0xEA4C) {
        family = PacketFamily::OregonEA4C;
        ok = oregonCheckE(p.data), failText = " while trying to sync on byte-count byte for OS Type EA4C";
      } else {
        discard(p, " after seeing invalid ID for 80 byte packet");
        return;
      }
      if (ok) consumeIf(run(family, p));
      else discard(p, failText);
      return;
    }
    case 84:
      if (!oregonCheckD(p.data)) discard(p, " while trying to sync on byte-count byte for OS Type 2A1D");
      else if (id16 != 0x2A1D) discard(p, " after seeing invalid ID for 84 byte packet");
      else consumeIf(run(PacketFamily::Oregon2A1D, p));
      return;
    case 88:
      if (id16 == 0x5A5D) {
        if (oregonCheckF(p.data)) consumeIf(run(PacketFamily::Oregon5A5D, p));
        else discard(p, " while trying to sync on byte-count byte for OS Type H5A5D");
      } else if (id16 == 0x3A0D) {
        if (oregonCheckC(p.data)) consumeIf(run(PacketFamily::Oregon3A0D, p));
        else discard(p, " while trying to sync on byte-count byte for OS Type 3A0D");
      } else {
        discard(p, " after invalid ID for 88 bit packet");
      }
      return;
    case 96:
      if (id16 != 0x5A6D) {
        discard(p, " after seeing invalid ID for 96 byte packet");
      } else if (!oregonCheckF(p.data)) {
        discard(p, " while trying to sync on byte-count byte for OS Type 5A6D");
      } else {
        consumeIf(run(PacketFamily::Oregon5A6D, p));
      }
      return;
    case 66: run(PacketFamily::VisonicCodeSecure66, p), consume(L); return;
    case 72:
      if (id16 != 0xDA78) notDecoded(p, "OS 72 bit"), consume(L);
      else if (oregonCheckUVN800(p.data)) consumeIf(run(PacketFamily::OregonUVN800, p));
      else discard(p, " while trying to sync on byte-count byte for OS Type DA78");
      return;
    case 92:
      if (id16 != 0x2A19) notDecoded(p, "OS 92 bit"), consume(L);
      else if (oregonCheckPCR800(p.data)) consumeIf(run(PacketFamily::OregonPCR800, p));
      else discard(p, " while trying to sync on byte-count byte for OS Type 2A19");
      return;
    case 104:
      if (p.id12() != 0xAEC || !run(PacketFamily::OregonClock104, p)) notDecoded(p, "OS 104 bit");
      consume(L);
      return;
    case 120:
      if (oregonCheckA(p.data)) {
        consumeIf(run(PacketFamily::OregonUV120, p));
      } else {
        ctx_.counters.decodeErrors.add();
      }
      return;
    default:
      ctx_.counters.decodeErrors.add();
      *detail_ += " | Discarding " + util::toHex(static_cast<unsigned char>(m48 ? countByte : static_cast<int>(p.byte(1)))) +
                  " after seeing invalid byte count";
      dropOneIf32();
      return;
  }
}

}  // namespace quillon::decode
