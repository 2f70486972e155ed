#include "platform/qt/qt_child_process.h"

#include <QProcess>
#include <QStringList>

namespace quillon::platform {

QtChildProcess::QtChildProcess() { wire(); }

void QtChildProcess::wire() {
  process_ = std::make_unique<QProcess>();
  process_->setProcessChannelMode(QProcess::SeparateChannels);
  QObject::connect(process_.get(), &QProcess::readyReadStandardOutput, [this] {
    const QByteArray b = process_->readAllStandardOutput();
    if (stdout_) stdout_(std::string(b.constData(), static_cast<std::size_t>(b.size())));
  });
  QObject::connect(process_.get(), &QProcess::readyReadStandardError, [this] {
    const QByteArray b = process_->readAllStandardError();
    if (stderr_) stderr_(std::string(b.constData(), static_cast<std::size_t>(b.size())));
  });
  QObject::connect(process_.get(), &QProcess::finished, [this](int code, QProcess::ExitStatus status) {
    if (finished_) finished_(true, status == QProcess::CrashExit ? -1 : code, "");
  });
  QObject::connect(process_.get(), &QProcess::errorOccurred, [this](QProcess::ProcessError e) {
    // A crash or a failed read also ends in finished(); only a program that never ran ends here.
    if (e == QProcess::FailedToStart && finished_) finished_(false, -1, process_->errorString().toStdString());
  });
}

QtChildProcess::~QtChildProcess() { stop(); }

void QtChildProcess::start(const std::string& program, const std::vector<std::string>& args) {
  QStringList list;
  for (const std::string& a : args) list << QString::fromStdString(a);
  process_->start(QString::fromStdString(program), list, QIODevice::ReadOnly);
}

void QtChildProcess::stop() {
  if (process_->state() == QProcess::NotRunning) return;
  process_->disconnect();  // no handler runs for an end the node asked for
  process_->terminate();
  if (!process_->waitForFinished(1000)) {
    process_->kill();
    process_->waitForFinished(1000);
  }
  wire();  // a fresh process object with its signals connected for the next start
}

bool QtChildProcess::running() const { return process_->state() != QProcess::NotRunning; }

}  // namespace quillon::platform
