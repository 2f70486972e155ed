#include "platform/qt/qt_platform.h"

#include <QNetworkInterface>
#include <QProcess>
#include <QSysInfo>

#include "platform/posix/posix_file_reader.h"
#include "platform/posix/posix_serial_port.h"
#include "platform/qt/qt_child_process.h"
#include "platform/qt/qt_parts.h"

namespace quillon::platform {
namespace {

class QtPlatform : public Platform {
 public:
  EventLoop& loop() override { return loop_; }
  Clock& clock() override { return clock_; }
  // The terminal device is driven directly (termios) on the loop's descriptor watcher, so a
  // hang-up is seen as the end of the device rather than as a read error that keeps recurring.
  std::unique_ptr<SerialPort> createSerialPort() override {
    return std::make_unique<PosixSerialPort>([](int fd) { return std::make_unique<QtSocketWatcher>(fd); });
  }
  std::unique_ptr<TcpClient> createTcpClient() override { return std::make_unique<QtTcpClient>(); }
  std::unique_ptr<UdpSocket> createUdpSocket() override { return std::make_unique<QtUdpSocket>(); }
  std::unique_ptr<TcpListener> createTcpListener() override { return std::make_unique<QtTcpListener>(); }
  std::unique_ptr<SocketWatcher> createSocketWatcher(int fd) override { return std::make_unique<QtSocketWatcher>(fd); }
  std::unique_ptr<ChildProcess> createChildProcess() override { return std::make_unique<QtChildProcess>(); }
  std::unique_ptr<FileReader> createFileReader() override { return std::make_unique<PosixFileReader>(); }
  std::string machineName() override { return QSysInfo::machineHostName().left(128).toStdString(); }

  std::vector<NetworkInterface> networkInterfaces() override {
    std::vector<NetworkInterface> out;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
      if (!(iface.flags() & QNetworkInterface::IsUp)) continue;
      for (const QNetworkAddressEntry& e : iface.addressEntries()) {
        if (e.ip().protocol() != QAbstractSocket::IPv4Protocol) continue;
        out.push_back({iface.name().toStdString(), e.ip().toString().toStdString(),
                       e.broadcast().isNull() ? std::string() : e.broadcast().toString().toStdString(),
                       bool(iface.flags() & QNetworkInterface::IsLoopBack)});
      }
    }
    return out;
  }

  bool openWithDesktop(const std::string& target) override {
    return QProcess::startDetached("xdg-open", {QString::fromStdString(target)});
  }

  bool startDetached(const std::string& program, const std::vector<std::string>& args) override {
    QStringList list;
    for (const auto& a : args) list << QString::fromStdString(a);
    return QProcess::startDetached(QString::fromStdString(program), list);
  }

 private:
  QtEventLoop loop_;
  QtClock clock_;
};

}  // namespace

std::unique_ptr<Platform> createQtPlatform() { return std::make_unique<QtPlatform>(); }

}  // namespace quillon::platform
