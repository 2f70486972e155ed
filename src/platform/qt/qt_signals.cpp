#include "platform/qt/qt_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon::platform {
namespace {

int gSignalFds[2] = {-1, -1};

void onSignal(int sig) {
  unsigned char b = static_cast<unsigned char>(sig);
  // Only async-signal-safe work here: hand the number to the loop.
  [[maybe_unused]] auto n = ::write(gSignalFds[0], &b, 1);
}

}  // namespace

void watchTerminationSignals(std::function<void(int)> fn) {
  if (gSignalFds[0] != -1) return;
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalFds) != 0) return;
  auto* notifier = new QSocketNotifier(gSignalFds[1], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [fn = std::move(fn)] {
    unsigned char b = 0;
    if (::read(gSignalFds[1], &b, 1) == 1) fn(b);
  });
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

}  // namespace quillon::platform
