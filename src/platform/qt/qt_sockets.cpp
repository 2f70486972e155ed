#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <QHostAddress>
#include <QTimer>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include "platform/qt/qt_parts.h"

namespace quillon::platform {
namespace {

std::string toStd(const QByteArray& b) { return std::string(b.constData(), static_cast<std::size_t>(b.size())); }
QByteArray toQt(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

// An accepted connection. bytesWritten with nothing left to write is the send-complete event.
// close() lets the written bytes go out: the socket lives on, detached from this object, until
// the peer has them (or a grace period ends), so the object can be dropped at once.
class QtTcpConnection : public TcpConnection {
 public:
  static constexpr int kReadBufferBytes = 64 * 1024;  // Qt stops reading from the kernel beyond this
  static constexpr int kCloseGraceMs = 10000;

  explicit QtTcpConnection(QTcpSocket* socket) : socket_(socket) {
    socket_->setReadBufferSize(kReadBufferBytes);
    // Answers are written whole: the last segment of one must not wait for the previous one's
    // acknowledgement (Nagle), which holds a kept connection's next request back by up to 40 ms.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QObject::connect(socket_, &QTcpSocket::readyRead, socket_, [this] {
      if (readyReadHandler_) readyReadHandler_();
    });
    QObject::connect(socket_, &QTcpSocket::bytesWritten, socket_, [this](qint64) {
      if (writing_) return;  // the writer is still in write() and sees what went out itself
      if (bytesWrittenHandler_) bytesWrittenHandler_();
      if (socket_ && socket_->bytesToWrite() == 0 && writtenHandler_) writtenHandler_();
    });
    QObject::connect(socket_, &QTcpSocket::disconnected, socket_, [this] {
      if (closedHandler_) closedHandler_();
    });
    QObject::connect(socket_, &QTcpSocket::errorOccurred, socket_, [this](QAbstractSocket::SocketError e) {
      if (e == QAbstractSocket::RemoteHostClosedError) return;  // reported as closed
      errored_ = true;
      if (errorHandler_) errorHandler_(socket_->errorString().toStdString());
    });
  }
  ~QtTcpConnection() override { close(); }

  // The bytes go to the kernel at once, as far as it takes them, instead of at the loop's next
  // turn: a client waiting for its answer is not held back by every other ready socket.
  bool write(const std::string& bytes) override {
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) return false;
    writing_ = true;
    const bool taken = socket_->write(toQt(bytes)) >= 0;
    if (taken && socket_) socket_->flush();
    writing_ = false;
    if (taken && socket_ && socket_->bytesToWrite() == 0 && writtenHandler_)
      QTimer::singleShot(0, socket_, [this] {
        if (socket_ && socket_->bytesToWrite() == 0 && writtenHandler_) writtenHandler_();
      });
    return taken;
  }
  std::int64_t pendingBytes() const override { return socket_ ? socket_->bytesToWrite() : 0; }
  std::string readAll() override { return socket_ ? toStd(socket_->readAll()) : std::string(); }
  void close() override {
    if (!socket_) return;
    QTcpSocket* s = socket_;
    socket_ = nullptr;
    s->disconnect();  // no handler of this object runs any more
    QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    s->disconnectFromHost();
    if (s->state() == QAbstractSocket::UnconnectedState) {
      s->deleteLater();
      return;
    }
    QTimer::singleShot(kCloseGraceMs, s, [s] {  // the peer does not take the rest
      s->abort();
      s->deleteLater();
    });
  }
  State state() const override {
    if (!socket_) return State::Closed;
    switch (socket_->state()) {
      case QAbstractSocket::ConnectedState: return State::Connected;
      case QAbstractSocket::ClosingState: return State::Closing;
      default: return errored_ ? State::Error : State::Closed;
    }
  }
  std::string peerAddress() const override { return socket_ ? dotted(socket_->peerAddress()) : ""; }
  std::string localAddress() const override { return socket_ ? dotted(socket_->localAddress()) : ""; }

 private:
  static std::string dotted(const QHostAddress& a) {
    bool ok = false;
    quint32 v4 = a.toIPv4Address(&ok);
    return (ok ? QHostAddress(v4) : a).toString().toStdString();
  }

  QPointer<QTcpSocket> socket_;
  bool errored_ = false;
  bool writing_ = false;
};

}  // namespace

QtTcpClient::QtTcpClient() : socket_(std::make_unique<QTcpSocket>()) {
  QObject::connect(socket_.get(), &QTcpSocket::connected, socket_.get(), [this] {
    applyKeepAlive();
    if (connectedHandler_) connectedHandler_();
  });
  QObject::connect(socket_.get(), &QTcpSocket::readyRead, socket_.get(), [this] {
    if (dataHandler_) dataHandler_(toStd(socket_->readAll()));
  });
  QObject::connect(socket_.get(), &QTcpSocket::disconnected, socket_.get(), [this] {
    if (!closing_ && closedHandler_) closedHandler_();
  });
  QObject::connect(socket_.get(), &QTcpSocket::errorOccurred, socket_.get(), [this](QAbstractSocket::SocketError e) {
    if (e == QAbstractSocket::RemoteHostClosedError) return;  // reported as closed
    if (!closing_ && errorHandler_) errorHandler_(socket_->errorString().toStdString());
  });
}
QtTcpClient::~QtTcpClient() {
  socket_->disconnect();
  socket_->abort();
}
void QtTcpClient::connectTo(const std::string& host, std::uint16_t port) {
  closing_ = false;
  socket_->abort();
  socket_->connectToHost(QString::fromStdString(host), port);
}
void QtTcpClient::close() {
  closing_ = true;
  socket_->abort();
  closing_ = false;
}
TcpClient::State QtTcpClient::state() const {
  switch (socket_->state()) {
    case QAbstractSocket::UnconnectedState: return socket_->error() == QAbstractSocket::UnknownSocketError ? State::Closed : State::Error;
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState: return State::Connecting;
    case QAbstractSocket::ConnectedState: return State::Connected;
    case QAbstractSocket::ClosingState: return State::Closing;
    default: return State::Closed;
  }
}
bool QtTcpClient::write(const std::string& bytes) {
  return socket_->state() == QAbstractSocket::ConnectedState && socket_->write(toQt(bytes)) >= 0;
}
std::size_t QtTcpClient::bytesToWrite() const { return static_cast<std::size_t>(socket_->bytesToWrite()); }
std::string QtTcpClient::errorString() const { return socket_->errorString().toStdString(); }
int QtTcpClient::errorCode() const { return static_cast<int>(socket_->error()); }
void QtTcpClient::setKeepAlive(int idleSeconds, int intervalSeconds, int probes) {
  keepIdle_ = idleSeconds, keepInterval_ = intervalSeconds, keepProbes_ = probes;
}
void QtTcpClient::applyKeepAlive() {
  if (keepIdle_ <= 0) return;
  socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
  const int fd = static_cast<int>(socket_->socketDescriptor());
  if (fd < 0) return;
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &keepIdle_, sizeof keepIdle_);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &keepInterval_, sizeof keepInterval_);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &keepProbes_, sizeof keepProbes_);
}

QtUdpSocket::QtUdpSocket() : socket_(std::make_unique<QUdpSocket>()) {
  QObject::connect(socket_.get(), &QUdpSocket::readyRead, socket_.get(), [this] {
    while (socket_->hasPendingDatagrams()) {
      QNetworkDatagram d = socket_->receiveDatagram();
      if (!d.isValid()) continue;
      Datagram out{toStd(d.data()), d.senderAddress().toString().toStdString(), static_cast<std::uint16_t>(d.senderPort())};
      if (datagramHandler_) datagramHandler_(out);
    }
  });
}
QtUdpSocket::~QtUdpSocket() { socket_->disconnect(); }
bool QtUdpSocket::bind(std::uint16_t port, bool shareAddress) {
  auto mode = shareAddress ? (QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint) : QAbstractSocket::DontShareAddress;
  return socket_->bind(QHostAddress::AnyIPv4, port, mode);
}
bool QtUdpSocket::bindTo(const std::string& address, std::uint16_t port, bool shareAddress) {
  QHostAddress host(QString::fromStdString(address));
  if (host.isNull() || host.protocol() != QAbstractSocket::IPv4Protocol) return false;
  auto mode = shareAddress ? (QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint) : QAbstractSocket::DontShareAddress;
  return socket_->bind(host, port, mode);
}
void QtUdpSocket::close() { socket_->close(); }
std::uint16_t QtUdpSocket::localPort() const { return socket_->localPort(); }
bool QtUdpSocket::sendTo(const std::string& data, const std::string& address, std::uint16_t port) {
  return socket_->writeDatagram(toQt(data), QHostAddress(QString::fromStdString(address)), port) >= 0;
}
std::string QtUdpSocket::errorString() const { return socket_->errorString().toStdString(); }

// Accepted sockets stay children of the server, so a listener that goes away takes the sockets
// still closing with it.
QtTcpListener::QtTcpListener() : server_(std::make_unique<QTcpServer>()) {
  QObject::connect(server_.get(), &QTcpServer::newConnection, server_.get(), [this] {
    if (connectionRequestHandler_) connectionRequestHandler_();
  });
}
QtTcpListener::~QtTcpListener() { server_->disconnect(); }
bool QtTcpListener::listen(std::uint16_t port) { return server_->listen(QHostAddress::AnyIPv4, port); }
void QtTcpListener::close() { server_->close(); }
bool QtTcpListener::isListening() const { return server_->isListening(); }
std::uint16_t QtTcpListener::localPort() const { return server_->serverPort(); }
std::string QtTcpListener::errorString() const { return server_->errorString().toStdString(); }
std::unique_ptr<TcpConnection> QtTcpListener::accept() {
  QTcpSocket* s = server_->nextPendingConnection();
  if (!s) return nullptr;
  return std::make_unique<QtTcpConnection>(s);
}

}  // namespace quillon::platform
