#pragma once
// quillon --check-config: reads an application folder's settings as the node would at start and
// names every problem in plain words, without changing any file.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/system_probe.h"

namespace quillon::app {

// What the check asks the machine; tests answer with fixed values.
struct ConfigProbe {
  std::function<platform::DeviceAccess(const std::string& path)> serialDevice;
  std::function<std::string(std::uint16_t port)> tcpPortProblem;  // empty when free
  std::function<std::vector<platform::NetworkInterface>()> interfaces;
  std::function<bool(const std::string& folder)> folderWritable;
  std::function<std::string(const std::string& program)> findExecutable;  // empty when not found
  std::string userName;
};

// The running machine and user.
ConfigProbe systemProbe();

struct ConfigReport {
  std::vector<std::string> notes;     // what the node will do; no problem
  std::vector<std::string> problems;  // each one keeps the node from starting cleanly
  bool clean() const { return problems.empty(); }
};

// A folder without Config is checked as the node would create it: from the template's files.
ConfigReport checkConfig(const std::string& appFolder, const std::string& templateDir, const ConfigProbe& probe);

// True for a dotted IPv4 address or a host name, as a serial-to-network adapter's address.
bool validAdapterAddress(const std::string& text);

}  // namespace quillon::app
