// xAP throughput: parse + format of a typical BSC message, and the hub's forwarding on loopback.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QVariant>
#include <memory>
#include <string>

#include "platform/qt/qt_platform.h"
#include "xap/xap_hub.h"
#include "xap/xap_message.h"

using namespace quillon;

namespace {

std::string bscMessage() {
  xap::XapMessage m;
  m.setMsgUid("FF.0052:0A");
  m.setMsgClass("xapbsc.event");
  m.setMsgSource("ovk.W800.benchhost:Lounge.Sensor");
  m.setMsgTarget("");
  m.addHeader();
  m.addSection("input.state");
  const char* items[10][2] = {{"state", "on"},        {"text", "A1 on"},          {"level", "50%"},
                              {"displaytext", "Lounge"}, {"battery", "ok"},      {"temp", "21.5"},
                              {"humidity", "48"},    {"device", "A1"},           {"lastchange", "06/12/2026 12:00:00"},
                              {"id", "0A"}};
  for (auto& it : items) m.addItem("input.state", it[0], it[1]);
  return m.toXap();
}

void BM_FromXapToXap(benchmark::State& state) {
  const std::string raw = bscMessage();
  for (auto _ : state) {
    xap::XapMessage in;
    in.fromXap(raw);
    xap::XapMessage out;
    out.setMsgUid(in.msgUid());
    out.setMsgClass(in.msgClass());
    out.setMsgSource(in.msgSource());
    out.setMsgTarget("");
    out.addHeader();
    out.addSection("input.state");
    for (const auto& line : in.msgCollection(0).lines()) {
      auto eq = line.find('=');
      out.addItem("input.state", line.substr(0, eq), line.substr(eq + 1));
    }
    std::string text = out.toXap();
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FromXapToXap);

// Sends a batch of messages to the hub and waits until the client got every forwarded copy.
void BM_HubForwarding(benchmark::State& state) {
  int argc = 1;
  char name[] = "xap_bench";
  char* argv[] = {name};
  QCoreApplication app(argc, argv);
  auto platform = platform::createQtPlatform();
  xap::XapHub hub(*platform, {});
  if (!hub.start(0)) {
    state.SkipWithError("hub cannot bind");
    return;
  }
  QUdpSocket client, sender;
  client.bind(QHostAddress::LocalHost, 0);
  client.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(4 * 1024 * 1024));
  long received = 0;
  QObject::connect(&client, &QUdpSocket::readyRead, [&] {
    while (client.hasPendingDatagrams()) {
      client.receiveDatagram();
      ++received;
    }
  });
  std::string hb = "xap-hbeat\n{\nv=13\nhop=1\nuid=FF.0099:00\nclass=xap-hbeat.alive\nsource=bench.c.x\ninterval=60\nport=" +
                   std::to_string(client.localPort()) + "\n}\n";
  sender.writeDatagram(QByteArray::fromStdString(hb), QHostAddress::LocalHost, hub.port());
  QElapsedTimer t;
  t.start();
  while (hub.clients().empty() && t.elapsed() < 2000) QCoreApplication::processEvents();
  t.restart();
  while (t.elapsed() < 50) QCoreApplication::processEvents();  // the heartbeat's own forward
  const QByteArray msg = QByteArray::fromStdString(bscMessage());
  const int batch = static_cast<int>(state.range(0));
  long lost = 0;
  for (auto _ : state) {
    received = 0;
    for (int i = 0; i < batch; ++i) {
      sender.writeDatagram(msg, QHostAddress::LocalHost, hub.port());
      if (i % 64 == 63) QCoreApplication::processEvents();
    }
    t.restart();
    while (received < batch && t.elapsed() < 1000) QCoreApplication::processEvents();
    lost += batch - received;
  }
  state.SetItemsProcessed(state.iterations() * batch);
  state.counters["lost"] = static_cast<double>(lost);
}
BENCHMARK(BM_HubForwarding)->Arg(256)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
