#pragma once
// For tests on real sockets: runs the Qt event loop until done() holds or the time limit passes.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace quillon::test {

inline bool waitFor(const std::function<bool()>& done, int limitMs = 5000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

}  // namespace quillon::test
