#include <QHostAddress>
#include <QNetworkDatagram>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include "platform/qt/qt_parts.h"

namespace quillon::platform {
namespace {

std::string toStd(const QByteArray& b) { return std::string(b.constData(), static_cast<std::size_t>(b.size())); }
QByteArray toQt(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

// An accepted connection; QTcpSocket's bytesWritten tells when everything queued has gone out.
class QtTcpConnection : public TcpConnection {
 public:
  explicit QtTcpConnection(QTcpSocket* socket) : socket_(socket) {
    QObject::connect(socket_, &QTcpSocket::readyRead, socket_, [this] {
      if (dataHandler_) dataHandler_(toStd(socket_->readAll()));
    });
    QObject::connect(socket_, &QTcpSocket::bytesWritten, socket_, [this](qint64) {
      if (socket_->bytesToWrite() == 0 && sendCompleteHandler_) sendCompleteHandler_();
    });
    QObject::connect(socket_, &QTcpSocket::disconnected, socket_, [this] {
      if (closedHandler_) closedHandler_();
    });
  }
  ~QtTcpConnection() override {
    if (socket_) {
      socket_->disconnect();
      socket_->abort();
      socket_->deleteLater();
    }
  }
  bool write(const std::string& bytes) override {
    return socket_ && socket_->state() == QAbstractSocket::ConnectedState && socket_->write(toQt(bytes)) >= 0;
  }
  std::int64_t pendingBytes() const override { return socket_ ? socket_->bytesToWrite() : 0; }
  void close() override {
    if (socket_) socket_->disconnectFromHost();
  }
  bool isOpen() const override { return socket_ && socket_->state() == QAbstractSocket::ConnectedState; }
  std::string peerAddress() const override { return socket_ ? socket_->peerAddress().toString().toStdString() : ""; }

 private:
  QPointer<QTcpSocket> socket_;
};

}  // namespace

QtSerialPort::QtSerialPort() : port_(std::make_unique<QSerialPort>()) {
  QObject::connect(port_.get(), &QSerialPort::readyRead, port_.get(), [this] {
    if (dataHandler_) dataHandler_(toStd(port_->readAll()));
  });
  QObject::connect(port_.get(), &QSerialPort::errorOccurred, port_.get(), [this](QSerialPort::SerialPortError e) {
    if (e == QSerialPort::NoError) return;
    std::string text = port_->errorString().toStdString();
    if (e == QSerialPort::ResourceError && port_->isOpen()) port_->close();  // the device went away
    if (errorHandler_) errorHandler_(text);
  });
}
QtSerialPort::~QtSerialPort() { port_->disconnect(); }

bool QtSerialPort::open(const std::string& device, const SerialSettings& settings) {
  port_->setPortName(QString::fromStdString(device));
  port_->setBaudRate(settings.baudRate);
  port_->setDataBits(QSerialPort::Data8);
  port_->setParity(QSerialPort::NoParity);
  port_->setStopBits(QSerialPort::OneStop);
  port_->setFlowControl(QSerialPort::NoFlowControl);
  return port_->open(QIODevice::ReadWrite);
}
void QtSerialPort::close() { port_->close(); }
bool QtSerialPort::isOpen() const { return port_->isOpen(); }
bool QtSerialPort::write(const std::string& bytes) { return port_->isOpen() && port_->write(toQt(bytes)) >= 0; }
std::string QtSerialPort::errorString() const { return port_->errorString().toStdString(); }

QtTcpClient::QtTcpClient() : socket_(std::make_unique<QTcpSocket>()) {
  QObject::connect(socket_.get(), &QTcpSocket::connected, socket_.get(), [this] {
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
std::string QtTcpClient::errorString() const { return socket_->errorString().toStdString(); }
int QtTcpClient::errorCode() const { return static_cast<int>(socket_->error()); }

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

QtTcpListener::QtTcpListener() : server_(std::make_unique<QTcpServer>()) {
  QObject::connect(server_.get(), &QTcpServer::newConnection, server_.get(), [this] {
    while (QTcpSocket* s = server_->nextPendingConnection()) {
      s->setParent(nullptr);
      auto conn = std::make_unique<QtTcpConnection>(s);
      if (connectionHandler_) connectionHandler_(std::move(conn));
    }
  });
}
QtTcpListener::~QtTcpListener() { server_->disconnect(); }
bool QtTcpListener::listen(std::uint16_t port) { return server_->listen(QHostAddress::Any, port); }
void QtTcpListener::close() { server_->close(); }
bool QtTcpListener::isListening() const { return server_->isListening(); }
std::string QtTcpListener::errorString() const { return server_->errorString().toStdString(); }

}  // namespace quillon::platform
