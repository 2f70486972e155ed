#pragma once
// The replay file: one receive event per line, "<time> <hex bytes>", "#" starts a comment.
// The time is seconds since the recording began ("12.250") or a clock time ("03:21:07.5") and may
// be left out (then the line comes with the previous one). Bytes are hexadecimal pairs, separated
// by blanks or commas ("A0 20 DF 10 EF", "A0, 20, DF", "A020DF10EF"). A comment "# mode: 48" (or 32)
// says which receiver mode the recording was made in.
#include <string>
#include <vector>

namespace quillon::decode {

struct ReplayEntry {
  int line = 0;
  double seconds = -1;  // -1: no time given
  std::string bytes;
};

struct ReplayFile {
  std::vector<ReplayEntry> entries;
  std::vector<std::string> errors;  // "line <n>: <reason>" for each line that was skipped
  int mode = -1;                    // 0 (32-bit), 1 (48-bit) or -1 when the file does not say
};

ReplayFile parseReplay(const std::string& text);
// Parses one line's hex bytes; false (and the reason) when it is not hex pairs.
bool parseHexBytes(const std::string& text, std::string& out, std::string& reason);

}  // namespace quillon::decode
