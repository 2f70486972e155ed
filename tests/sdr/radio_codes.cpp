#include "radio_codes.h"

#include <sstream>

namespace quillon::test {
namespace {

// The nibbles after the sync nibble, in the order sent: each byte's low half, then its high half.
std::string messageBits(const std::string& packet, std::size_t count) {
  std::istringstream in(packet);
  std::string bits;
  bool first = true;
  for (unsigned byte = 0; in >> std::hex >> byte;) {
    for (unsigned nibble : {byte & 15, byte >> 4}) {
      if (first) {  // the sync nibble
        first = false;
        continue;
      }
      for (int k = 0; k < 4; ++k) bits += ((nibble >> k) & 1) ? '1' : '0';
    }
  }
  bits.resize(count, '0');
  return bits;
}

std::string bitRow(const std::string& bits) {
  std::string hex;
  for (std::size_t i = 0; i < bits.size(); i += 4) {
    int v = 0;
    for (std::size_t k = 0; k < 4; ++k) v = v * 2 + (i + k < bits.size() && bits[i + k] == '1');
    hex += "0123456789abcdef"[v];
  }
  return "{" + std::to_string(bits.size()) + "}" + hex;
}

}  // namespace

std::string oregonV21Code(const std::string& packet, int messageBitCount) {
  std::string row;
  for (int k = 0; k < 16; ++k) row += "01";  // preamble 55 55 55 55
  row += "10011001";                          // sync 99: the pairs of the sync nibble
  for (char b : messageBits(packet, static_cast<std::size_t>(messageBitCount))) row += b == '1' ? "01" : "10";
  return bitRow(row);
}

std::string oregonV3Code(const std::string& packet, int packetBits) {
  return bitRow(std::string(29, '0') + "101" + messageBits(packet, static_cast<std::size_t>(packetBits - 4)));
}

std::string homeEasyPulseFile(const std::string& bits) {
  std::ostringstream out;
  out << ";pulse data\n;version 1\n;timescale 1us\n";
  for (int repeat = 0; repeat < 3; ++repeat) {
    out << "250 2700\n";
    for (char b : bits)
      for (char half : b == 'D' ? std::string("11") : b == '1' ? std::string("10") : std::string("01"))
        out << "250 " << (half == '1' ? 1300 : 270) << "\n";
    out << "250 10000\n";
  }
  out << ";end\n";
  return out.str();
}

}  // namespace quillon::test
