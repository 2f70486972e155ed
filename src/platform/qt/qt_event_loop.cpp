#include "platform/qt/qt_parts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

namespace quillon::platform {

void QtEventLoop::post(std::function<void()> fn) {
  QTimer::singleShot(0, &context_, [fn = std::move(fn)] { fn(); });
}

TimerId QtEventLoop::startTimer(Millis interval, bool repeating, std::function<void()> fn) {
  TimerId id = ++nextId_;
  auto* timer = new QTimer(&context_);
  timer->setSingleShot(!repeating);
  timer->setTimerType(Qt::PreciseTimer);
  timers_[id] = timer;
  QObject::connect(timer, &QTimer::timeout, &context_, [this, id, repeating, fn = std::move(fn)] {
    if (!repeating) stopTimer(id);
    fn();
  });
  timer->start(static_cast<int>(interval.count()));
  return id;
}

void QtEventLoop::stopTimer(TimerId id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  it->second->stop();
  it->second->deleteLater();
  timers_.erase(it);
}

QtSocketWatcher::QtSocketWatcher(int fd)
    : read_(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read)),
      write_(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write)) {
  write_->setEnabled(false);
  QObject::connect(read_.get(), &QSocketNotifier::activated, read_.get(), [this] {
    if (readable_) readable_();
  });
  QObject::connect(write_.get(), &QSocketNotifier::activated, write_.get(), [this] {
    if (writable_) writable_();
  });
}

QtSocketWatcher::~QtSocketWatcher() = default;

void QtSocketWatcher::setWriteWatch(bool on) {
  if (write_->isEnabled() != on) write_->setEnabled(on);
}

void QtSocketWatcher::setReadWatch(bool on) {
  if (read_->isEnabled() != on) read_->setEnabled(on);
}

void QtEventLoop::quit() { QCoreApplication::quit(); }

util::DateTime QtClock::now() const {
  QDateTime t = QDateTime::currentDateTime();
  QDate d = t.date();
  QTime tm = t.time();
  return util::DateTime{d.year(), d.month(), d.day(), tm.hour(), tm.minute(), tm.second(), tm.msec()};
}

std::int64_t QtClock::monotonicMs() const {
  static QElapsedTimer timer = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return timer.elapsed();
}

}  // namespace quillon::platform
