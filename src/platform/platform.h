#pragma once
// Everything the node takes from the operating system, behind one factory.
#include <memory>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/serial_port.h"
#include "platform/socket_watcher.h"
#include "platform/tcp_client.h"
#include "platform/tcp_listener.h"
#include "platform/udp_socket.h"

namespace quillon::platform {

struct NetworkInterface {
  std::string name;
  std::string address;    // IPv4, dotted
  std::string broadcast;  // IPv4 broadcast address of its network, may be empty
  bool loopback = false;
};

class Platform {
 public:
  virtual ~Platform() = default;
  virtual EventLoop& loop() = 0;
  virtual Clock& clock() = 0;
  virtual std::unique_ptr<SerialPort> createSerialPort() = 0;
  virtual std::unique_ptr<TcpClient> createTcpClient() = 0;
  virtual std::unique_ptr<UdpSocket> createUdpSocket() = 0;
  virtual std::unique_ptr<TcpListener> createTcpListener() = 0;
  // A watcher of a socket descriptor opened by a library; nullptr where the platform has none.
  virtual std::unique_ptr<SocketWatcher> createSocketWatcher(int /*fd*/) { return nullptr; }
  // A child program with its output piped back; nullptr where the platform has none.
  virtual std::unique_ptr<ChildProcess> createChildProcess() { return nullptr; }
  // A file or named pipe read without blocking; nullptr where the platform has none.
  virtual std::unique_ptr<FileReader> createFileReader() { return nullptr; }
  // The machine's network name.
  virtual std::string machineName() = 0;
  // The IPv4 addresses of the machine's interfaces that are up.
  virtual std::vector<NetworkInterface> networkInterfaces() = 0;
  // Opens a document or address with the desktop's handler (xdg-open); false on failure.
  virtual bool openWithDesktop(const std::string& target) = 0;
  // Starts a program detached with the given arguments; false on failure.
  virtual bool startDetached(const std::string& program, const std::vector<std::string>& args) = 0;
};

}  // namespace quillon::platform
