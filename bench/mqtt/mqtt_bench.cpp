// Latency and throughput of the MQTT bridge: receiver bytes of an X10 unit switching on and off
// go through the node's framing, decoder and bridge to a mosquitto started here on a free
// loopback port, and a subscribing client on the same loop times each state message.
// Every loop is bounded: a fixed number of samples, each with a time limit.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/node_assembly.h"
#include "mqtt/mqtt_client.h"
#include "platform/qt/qt_platform.h"

namespace fs = std::filesystem;
using namespace quillon;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kLatencySamples = 2000;
constexpr int kBurst = 10000;
const std::string kOn("\x20\x60\x9F\x00\xFF", 5), kOff("\x20\x60\x9F\x20\xDF", 5);  // X10 A1 ON / OFF

bool runUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (!fs::exists("/usr/sbin/mosquitto")) {
    std::puts("mosquitto is not installed (scripts/install-deps.sh installs it)");
    return 1;
  }
  std::uint16_t port;
  {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    port = probe.serverPort();
  }
  const fs::path dir = fs::temp_directory_path() / "quillon-mqtt-bench";
  fs::remove_all(dir);
  fs::create_directories(dir / "Config");
  std::ofstream(dir / "mosquitto.conf") << "listener " << port << " 127.0.0.1\nallow_anonymous true\npersistence false\n";
  std::ofstream(dir / "Config" / "ovkXap.ini") << "[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\n";
  std::ofstream(dir / "Config" / "Quillon.ini")
      << "[W800]\nMode=0\nHTTPPort=0\nDebounceInterval=0\n[MQTT]\nEnabled=1\nPort=" << port
      << "\nDiscovery=0\n[W800Units]\nA1=A1~0~~False~~~Hall~~False~False~False~0~~~False~4.7~\n";
  QProcess broker;
  broker.start("/usr/sbin/mosquitto", {"-c", QString::fromStdString((dir / "mosquitto.conf").string())});
  if (!runUntil([&] {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        return s.waitForConnected(100);
      }, 5000)) {
    std::puts("the broker did not start");
    return 1;
  }

  auto platform = platform::createQtPlatform();
  int failures = 0;
  {
    app::NodeAssembly node(*platform, core::AppPaths{dir.string(), ""});
    node.start();
    mqtt::MqttClient sub(*platform, [](const std::string&) {});
    const std::string topic = "quillon/" + node.context().computerName + "/A1/state";
    long received = 0;
    bool subscribed = false;
    sub.onConnected([&] { subscribed = sub.subscribe(topic); });
    sub.onMessage([&](const std::string& t, const std::string&, bool) { received += t == topic; });
    mqtt::ClientOptions o;
    o.port = port;
    o.clientId = "bench-subscriber";
    sub.start(o);
    if (!runUntil([&] { return subscribed && node.mqtt().client() && node.mqtt().client()->connected(); }, 5000)) {
      std::puts("no connection to the broker");
      return 1;
    }
    // The first bytes after start-up are taken as the receiver's answer to the mode command.
    node.receiveProcessor().processCommData(std::string("\x29", 1));
    runUntil([] { return false; }, 300);  // the retained state and the subscription settle
    received = 0;

    // Latency: one change at a time, from the receiver's bytes to the subscriber's callback.
    std::vector<double> ms;
    for (int i = 0; i < kLatencySamples; ++i) {
      const long before = received;
      const auto t0 = Clock::now();
      node.receiveProcessor().processCommData(i % 2 ? kOff : kOn);
      if (!runUntil([&] { return received > before; }, 2000)) {
        ++failures;
        continue;
      }
      ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    // Throughput: a burst of changes fed at once; the time until the last has been received.
    received = 0;
    const auto t0 = Clock::now();
    for (int i = 0; i < kBurst; ++i) node.receiveProcessor().processCommData(i % 2 ? kOff : kOn);
    const bool all = runUntil([&] { return received >= kBurst; }, 30000);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    if (ms.empty()) {
      std::puts("no latency sample arrived");
      return 1;
    }
    std::printf("latency over %zu changes: median %.3f ms, p99 %.3f ms, max %.3f ms (%d lost)\n", ms.size(),
                percentile(ms, 0.5), percentile(ms, 0.99), percentile(ms, 1.0), failures);
    std::printf("burst of %d changes: %ld received in %.3f s, %.0f messages/s%s\n", kBurst, received, seconds,
                static_cast<double>(received) / seconds, all ? "" : " (incomplete)");
    sub.stop();
    node.shutdown();
  }
  broker.terminate();
  broker.waitForFinished(3000);
  fs::remove_all(dir);
  return failures == 0 ? 0 : 1;
}
