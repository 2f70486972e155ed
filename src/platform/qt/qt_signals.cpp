#include "platform/qt/qt_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <map>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon::platform {
namespace {

int gSignalFds[2] = {-1, -1};
std::map<int, std::function<void(int)>>& handlers() {
  static std::map<int, std::function<void(int)>> h;
  return h;
}

void onSignal(int sig) {
  unsigned char b = static_cast<unsigned char>(sig);
  // Only async-signal-safe work here: hand the number to the loop.
  [[maybe_unused]] auto n = ::write(gSignalFds[0], &b, 1);
}

// The socket pair and its notifier, made once; false when the pair cannot be made.
bool ensurePipe() {
  if (gSignalFds[0] != -1) return true;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalFds) != 0) return false;
  auto* notifier = new QSocketNotifier(gSignalFds[1], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
    unsigned char b = 0;
    if (::read(gSignalFds[1], &b, 1) != 1) return;
    auto it = handlers().find(b);
    if (it != handlers().end() && it->second) it->second(b);
  });
  return true;
}

void watch(int sig, std::function<void(int)> fn) {
  if (!ensurePipe()) return;
  const bool installed = handlers().count(sig) != 0;
  handlers()[sig] = std::move(fn);
  if (installed) return;
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(sig, &sa, nullptr);
}

}  // namespace

void watchTerminationSignals(std::function<void(int)> fn) {
  watch(SIGINT, fn);
  watch(SIGTERM, std::move(fn));
}

void watchReloadSignal(std::function<void()> fn) {
  watch(SIGHUP, [fn = std::move(fn)](int) { fn(); });
}

}  // namespace quillon::platform
