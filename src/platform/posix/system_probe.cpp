#include "platform/posix/system_probe.h"

#include <algorithm>
#include <cstdlib>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::platform {

DeviceAccess serialDeviceAccess(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return DeviceAccess::Missing;
  if (!S_ISCHR(st.st_mode)) return DeviceAccess::NotADevice;
  return ::access(path.c_str(), R_OK | W_OK) == 0 ? DeviceAccess::Ok : DeviceAccess::Denied;
}

std::string tcpPortProblem(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::strerror(errno);
  int one = 1;
  // As a listening server does: a port left in TIME_WAIT by an earlier run is not "in use".
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  std::string problem;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    problem = errno == EADDRINUSE ? "in use by another program"
              : errno == EACCES   ? "not allowed for this user (ports below 1024 need privileges)"
                                  : std::strerror(errno);
  }
  ::close(fd);
  return problem;
}

std::vector<NetworkInterface> ipv4Interfaces() {
  std::vector<NetworkInterface> out;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return out;
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
    char text[INET_ADDRSTRLEN] = {};
    NetworkInterface nic;
    nic.name = i->ifa_name ? i->ifa_name : "";
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr, text, sizeof text);
    nic.address = text;
    if ((i->ifa_flags & IFF_BROADCAST) && i->ifa_broadaddr) {
      inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(i->ifa_broadaddr)->sin_addr, text, sizeof text);
      nic.broadcast = text;
    }
    nic.loopback = (i->ifa_flags & IFF_LOOPBACK) != 0;
    out.push_back(nic);
  }
  ::freeifaddrs(list);
  return out;
}

std::string currentUserName() {
  const uid_t uid = ::geteuid();
  if (const passwd* pw = ::getpwuid(uid); pw && pw->pw_name) return pw->pw_name;
  return std::to_string(uid);
}

bool folderWritable(const std::string& folder) { return ::access(folder.c_str(), W_OK | X_OK) == 0; }

std::string findExecutable(const std::string& program) {
  auto runnable = [](const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
  };
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) return runnable(program) ? program : std::string();
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string dir = dirs.substr(start, end - start);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
    if (runnable(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

}  // namespace quillon::platform
