#pragma once
// A command line setting into the program and its arguments.
#include <string>
#include <vector>

namespace quillon::sdr {

// "rtl_433 -F json -M time:unix:usec" into its words; double and single quotes group words.
std::vector<std::string> splitCommand(const std::string& command);

}  // namespace quillon::sdr
