#pragma once
// Radio forms of the serial receiver's packets, for feeding the real rtl_433: the demodulated bit
// rows its -y option takes (Oregon Scientific v2.1 and v3) and a pulse file its -r option reads
// (HomeEasy-style remotes, whose decoders need the sync pulse a bit row cannot carry).
#include <string>

namespace quillon::test {

// Oregon v2.1: preamble, the 0x5599 sync, then every message bit as a Manchester pair; the
// nibbles after the sync nibble, each sent low bit first, cut or padded with zeros to `messageBits`.
// `packet` is the serial receiver's data bytes as hex ("1A 2D 10 ...").
std::string oregonV21Code(const std::string& packet, int messageBits);
// Oregon v3: the preamble and sync nibble, then the nibbles (low bit first) as plain bits.
std::string oregonV3Code(const std::string& packet, int packetBits);

// A HomeEasy transmission three times as an rtl_433 OOK pulse file: a sync gap, then each bit of
// `bits` as a pair of short/long gaps ('0' short-long, '1' long-short, 'D' the dim mark: both long).
std::string homeEasyPulseFile(const std::string& bits);

}  // namespace quillon::test
