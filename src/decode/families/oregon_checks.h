#pragma once
// Oregon Scientific checksums over a packet's data bytes (byte 1 first, count byte removed). Each
// sums the nibbles of the measured bytes, less the 0xA sync nibble that the sum includes. A packet
// too short for a check fails it. Header-only: the framing and the decoders both use them.
#include <cstddef>
#include <string_view>

namespace quillon::decode {

namespace oregon_detail {
// Byte k (1-based) of the data; 0 past either end, so a short packet reads zeros, never memory
// outside it.
inline int byteAt(std::string_view d, std::size_t k) {
  return k >= 1 && k <= d.size() ? static_cast<unsigned char>(d[k - 1]) : 0;
}
inline int hi(std::string_view d, std::size_t k) { return (byteAt(d, k) >> 4) & 15; }
inline int lo(std::string_view d, std::size_t k) { return byteAt(d, k) & 15; }
inline int nibbleSum(std::string_view d, std::size_t bytes) {
  int s = 0;
  for (std::size_t k = 1; k <= bytes && k <= d.size(); ++k) s += hi(d, k) + lo(d, k);
  return s;
}
}  // namespace oregon_detail

inline int nibbleSum7(std::string_view d) { return oregon_detail::nibbleSum(d, 7); }
inline int nibbleSum8(std::string_view d) { return oregon_detail::nibbleSum(d, 8); }

// The data are bytes 1..n and the low half of byte n+1 (an odd number of nibbles); the checksum
// follows low digit first, in the high half of byte n+1 and the low half of byte n+2.
inline bool oregonCheckOddNibbles(std::string_view d, std::size_t n) {
  using namespace oregon_detail;
  return d.size() >= n + 2 && nibbleSum(d, n) + lo(d, n + 1) - 10 == hi(d, n + 1) + 16 * lo(d, n + 2);
}
// Bytes 1-6 and the flag nibble (low half of byte 7) against the checksum sent low digit first in
// the high half of byte 7 and high digit in the low half of byte 8 (UV and thermometer types).
inline bool oregonCheckA(std::string_view d) { return oregonCheckOddNibbles(d, 6); }
// A checksum byte right after `dataBytes` bytes: the nibble sum of those bytes less the sync nibble.
inline bool oregonCheckByteAfter(std::string_view d, std::size_t dataBytes) {
  using namespace oregon_detail;
  return d.size() > dataBytes && byteAt(d, dataBytes + 1) == nibbleSum(d, dataBytes) - 10;
}
inline bool oregonCheckB(std::string_view d) { return oregonCheckByteAfter(d, 8); }
inline bool oregonCheckC(std::string_view d) {
  using namespace oregon_detail;
  return d.size() >= 10 && nibbleSum(d, 8) + hi(d, 9) + lo(d, 9) - 10 == byteAt(d, 10);
}
inline bool oregonCheckD(std::string_view d) { return oregonCheckOddNibbles(d, 8); }
// The thermometer types (CA48, EA4C) use the same layout as A; the sign is in the flag nibble.
inline bool oregonCheckE(std::string_view d) { return oregonCheckA(d); }
inline bool oregonCheckF(std::string_view d) { return oregonCheckByteAfter(d, 10); }
// Two version 3 sensors: UVN800 (id DA78, 72 bits: bytes 1-7, then the checksum byte) and PCR800
// (id 2A19, 92 bits: bytes 1-9 and the low half of byte 10, then the checksum). A CRC follows
// each checksum; it is not checked.
inline bool oregonCheckUVN800(std::string_view d) { return oregonCheckByteAfter(d, 7); }
inline bool oregonCheckPCR800(std::string_view d) { return oregonCheckOddNibbles(d, 9); }

}  // namespace quillon::decode
