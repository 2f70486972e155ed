// The whole receive path of an assembled node: packets in, framed, decoded, records updated and
// xAP message texts out. Two measurements:
//  - throughput on the offline platform (no sockets: the datagrams are only counted);
//  - latency on loopback: from writing a packet's last byte to the node's receiver connection
//    until its xAP datagram arrives at a UDP listener standing in for the hub.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/node_assembly.h"
#include "platform/offline_platform.h"
#include "platform/qt/qt_platform.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s += static_cast<char>(v);
  return s;
}

// A realistic 48-bit-mode mix: X10 commands, security, RFXCOM and Oregon sensors, a thermostat
// and a power meter, each with its count byte.
std::vector<std::string> mixedStream() {
  return {
      bytes({0x20, 0x60, 0x9F, 0x00, 0xFF}),                                            // X10 A1 ON
      bytes({0x20, 0x21, 0xD0, 0x15, 0x81}),                                            // RFXCOM temperature
      bytes({0x50, 0x1A, 0x2D, 0x10, 0xE5, 0x02, 0x21, 0x50, 0x38, 0x39, 0x4B}),        // Oregon 1A2D
      bytes({0x20, 0x3C, 0x33, 0x0C, 0xF3}),                                            // X10 security
      bytes({0x3C, 0xCA, 0x48, 0x10, 0x7B, 0x50, 0x21, 0x30, 0x03}),                    // Oregon CA48
      bytes({0x60, 0x5A, 0x6D, 0x00, 0x7A, 0x10, 0x23, 0x30, 0x83, 0x86, 0xC3, 0x5A, 0x00}),  // Oregon 5A6D
      bytes({0x2C, 0x12, 0x34, 0x14, 0x15, 0x14, 0x40}),                                // Digimax
      bytes({0x30, 0x45, 0xB5, 0x01, 0x2C, 0x00, 0x07}),                                // RFXPower
      bytes({0x20, 0x60, 0x9F, 0x20, 0xDF}),                                            // X10 A1 OFF
      bytes({0x20, 0x21, 0xD0, 0x16, 0x08}),                                            // RFXCOM temperature
  };
}

// An application folder whose devices all have a location, so every packet is published.
fs::path makeAppFolder(const std::string& name, const std::string& w800Extra) {
  fs::path dir = fs::temp_directory_path() / name;
  fs::remove_all(dir);
  fs::create_directories(dir / "Config");
  std::ofstream(dir / "Config" / "ovkXap.ini") << "[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\n"
                                                  "StartHub=0\n";
  std::ofstream ini(dir / "Config" / "Quillon.ini");
  ini << "[W800]\nMode=1\nMetric=1\nDebugLog=0\nDebounceInterval=0\n" << w800Extra << "[W800Units]\n";
  const char* devices[] = {"A1", "21D0", "1A2D_1E5", "1A2D_1E5_H", "1A2D_1E5_P", "3C33", "CA48_17B", "CA48_17B_P",
                           "5A6D_27A", "5A6D_27A_H", "5A6D_27A_B", "5A6D_27A_F", "5A6D_27A_L", "1234", "1234_M",
                           "1234_S", "45B5"};
  for (const char* d : devices)
    ini << d << "=" << d << "~0~~False~~~House~" << d << "~False~True~False~0~~~False~4.7~\n";
  return dir;
}

void BM_EndToEndDecode(benchmark::State& state) {
  fs::path dir = makeAppFolder("quillon-bench-node", "");
  platform::OfflinePlatform platform;
  {
    app::NodeAssembly node(platform, core::AppPaths{dir.string(), ""});
    node.start();
    auto stream = mixedStream();
    // Each packet arrives in pieces of random size, as a serial port delivers them.
    std::mt19937 rng(7);
    std::vector<std::vector<std::string>> chunked;
    for (const auto& p : stream) {
      std::vector<std::string> pieces;
      for (std::size_t at = 0; at < p.size();) {
        std::size_t n = std::min<std::size_t>(1 + rng() % 4, p.size() - at);
        pieces.push_back(p.substr(at, n));
        at += n;
      }
      chunked.push_back(std::move(pieces));
    }
    auto& rx = node.receiveProcessor();
    std::size_t i = 0, datagrams = 0;
    platform.sent.clear();
    for (auto _ : state) {
      for (const auto& piece : chunked[i++ % chunked.size()]) rx.processCommData(piece, 2);
      if (platform.sent.size() >= 1024) {
        datagrams += platform.sent.size();
        platform.sent.clear();
      }
    }
    datagrams += platform.sent.size();
    state.SetItemsProcessed(state.iterations());
    state.counters["datagrams_per_packet"] = static_cast<double>(datagrams) / static_cast<double>(state.iterations());
    node.shutdown();
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_EndToEndDecode);

void BM_LoopbackLatency(benchmark::State& state) {
  static int argc = 1;
  static char name[] = "node_bench";
  static char* argv[] = {name};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
  QUdpSocket hub;
  if (!hub.bind(QHostAddress::LocalHost, 3639)) {
    state.SkipWithError("UDP port 3639 is in use");
    return;
  }
  QTcpServer adapter;
  adapter.listen(QHostAddress::LocalHost, 0);
  QTcpSocket* peer = nullptr;
  QObject::connect(&adapter, &QTcpServer::newConnection, [&] { peer = adapter.nextPendingConnection(); });
  fs::path dir = makeAppFolder("quillon-bench-latency",
                               "SerialIP=127.0.0.1\nSerialPort=" + std::to_string(adapter.serverPort()) + "\n");
  auto qt = platform::createQtPlatform();
  auto wait = [](const std::function<bool()>& done, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents);
    return done();
  };
  std::vector<double> micros;
  {
    app::NodeAssembly node(*qt, core::AppPaths{dir.string(), ""});
    node.start();
    if (!wait([&] { return peer != nullptr; }, 5000)) {
      state.SkipWithError("the node did not connect");
      return;
    }
    peer->write("\x2C", 1);  // the receiver's answer to the mode command
    wait([&] { return !node.receiveProcessor().awaitingModeAck(); }, 2000);
    const std::string packets[2] = {bytes({0x20, 0x21, 0xD0, 0x15, 0x81}), bytes({0x20, 0x21, 0xD0, 0x16, 0x08})};
    int k = 0;
    for (auto _ : state) {
      while (hub.hasPendingDatagrams()) hub.receiveDatagram();
      bool heard = false;
      QElapsedTimer t;
      const std::string& p = packets[k++ % 2];
      peer->write(p.data(), static_cast<qint64>(p.size()));
      peer->flush();
      t.start();
      wait([&] {
        while (hub.hasPendingDatagrams())
          if (hub.receiveDatagram().data().contains("21D0")) heard = true;
        return heard;
      }, 1000);
      if (heard) micros.push_back(static_cast<double>(t.nsecsElapsed()) / 1000.0);
    }
    node.shutdown();
  }
  fs::remove_all(dir);
  if (micros.empty()) {
    state.SkipWithError("no datagram arrived");
    return;
  }
  std::sort(micros.begin(), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
  state.counters["samples"] = static_cast<double>(micros.size());
}
BENCHMARK(BM_LoopbackLatency)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
