#pragma once
// Read-only questions about this machine for the settings check: serial devices, TCP ports, the
// network interfaces, the user. Nothing is opened for longer than the question takes.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillon::platform {

enum class DeviceAccess { Ok, Missing, NotADevice, Denied };

// Whether the running user could open the serial device at path for reading and writing.
DeviceAccess serialDeviceAccess(const std::string& path);
// Empty when a TCP server could listen on the port on every IPv4 address, else why not.
std::string tcpPortProblem(std::uint16_t port);
// The IPv4 interfaces that are up.
std::vector<NetworkInterface> ipv4Interfaces();
// The running user's name (its number when it has none).
std::string currentUserName();
// Whether the running user may create and change files in the folder.
bool folderWritable(const std::string& folder);
// The full path of a program as the shell would find it (a name without '/' on PATH), when it
// exists and this user may run it; empty otherwise.
std::string findExecutable(const std::string& program);

}  // namespace quillon::platform
