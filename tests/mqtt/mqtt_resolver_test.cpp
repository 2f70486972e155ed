// The MQTT client while the broker's name does not resolve: this program runs itself again in
// network and mount namespaces of its own (unshare), where the only name server is a socket on
// 127.0.0.1:53 that never answers. The event loop must keep ticking while the client waits for
// the lookup, stop() must not wait for it, and the failed lookups make one log line each kind.
#include <gtest/gtest.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>

#include "mqtt/mqtt_client.h"
#include "platform/qt/qt_platform.h"
#include "support/qt_wait.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;
using test::waitFor;

namespace {

const char* kInnerRun = "QUILLON_SILENT_RESOLVER_INNER";
const char* kInnerTest = "SilentResolver.DISABLED_InsideNamespaces";

std::string lastError(const std::string& what) { return what + ": " + std::strerror(errno); }

// "" when lo is up, else why not.
std::string loopbackUp() {
  const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq req{};
  std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
  std::string problem;
  if (s < 0 || ::ioctl(s, SIOCGIFFLAGS, &req) != 0) problem = lastError("reading the flags of lo");
  req.ifr_flags = static_cast<short>(req.ifr_flags | IFF_UP);
  if (problem.empty() && ::ioctl(s, SIOCSIFFLAGS, &req) != 0) problem = lastError("bringing lo up");
  if (s >= 0) ::close(s);
  return problem;
}

// A name server that takes every query and never answers: a UDP socket that is never read.
int silentNameServer() {
  const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(53);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (s >= 0 && ::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return s;
  if (s >= 0) ::close(s);
  return -1;
}

int count(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                        [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

// Run only by the test below, as root of fresh user, network and mount namespaces.
TEST(SilentResolver, DISABLED_InsideNamespaces) {
  if (!std::getenv(kInnerRun)) GTEST_SKIP() << "runs inside the namespaces of the test below";
  const fs::path dir = test::freshTestFolder("quillon-resolver");
  std::ofstream(dir / "resolv.conf") << "nameserver 127.0.0.1\noptions timeout:2 attempts:1\n";
  if (const std::string problem = loopbackUp(); !problem.empty()) GTEST_SKIP() << problem;
  if (::mount((dir / "resolv.conf").c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << lastError("bind-mounting a resolv.conf over /etc/resolv.conf");
  const int nameServer = silentNameServer();
  if (nameServer < 0) GTEST_SKIP() << lastError("binding 127.0.0.1:53");

  // How long a lookup waits here (the resolver's timeout); it must really wait.
  QElapsedTimer lookup;
  lookup.start();
  auto probe = std::async(std::launch::async, [] {
    addrinfo hints{}, *found = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    const int rc = ::getaddrinfo("probe.quillon-test", "1883", &hints, &found);
    if (found) ::freeaddrinfo(found);
    return rc;
  });
  if (probe.wait_for(std::chrono::milliseconds(500)) == std::future_status::ready)
    GTEST_SKIP() << "a lookup did not wait for the silent name server: " << gai_strerror(probe.get());
  probe.wait();
  const long long lookupMs = lookup.elapsed();

  int argc = 1;
  char name[] = "mqtt_resolver_tests";
  char* argv[] = {name};
  QCoreApplication app(argc, argv);
  auto platform = platform::createQtPlatform();
  // A 10 ms tick: the longest gap between two ticks is the longest the loop was held up.
  long long longestGap = 0;
  int mostTries = 0;
  QElapsedTimer sinceTick;
  platform::Timer tick(platform->loop());
  tick.setHandler([&] {
    longestGap = std::max(longestGap, sinceTick.elapsed());
    sinceTick.restart();
    mostTries = std::max(mostTries, mqtt::MqttClient::triesInFlight());
  });
  sinceTick.start();
  tick.start(platform::Millis(10));

  std::vector<std::string> lines;
  auto client = std::make_unique<mqtt::MqttClient>(*platform, [&](const std::string& l) { lines.push_back(l); });
  mqtt::ClientOptions o;
  o.host = "broker.quillon-test";
  o.clientId = "quillon-resolver-test";
  o.retryMinMs = 100;
  o.retryMaxMs = 200;
  o.connectTimeoutMs = 1000;  // shorter than a lookup here
  QElapsedTimer call;
  call.start();
  ASSERT_TRUE(client->start(o));
  const long long startMs = call.elapsed();
  // Three tries: two fail with the lookup, the third is still waiting for it.
  waitFor([] { return false; }, static_cast<int>(2 * lookupMs + 600));
  EXPECT_LT(startMs, 100);
  EXPECT_LT(longestGap, 300) << "the loop stood still while the name was looked up";
  EXPECT_EQ(mostTries, 1) << "a second try started while one was waiting for the resolver";
  EXPECT_EQ(count(lines, "MQTT: the broker's name broker.quillon-test has not resolved within 1 s"), 1);
  EXPECT_EQ(count(lines, "MQTT: broker broker.quillon-test:1883 unreachable: "), 1);
  EXPECT_FALSE(client->connected());

  // Stopping and destroying the client while a lookup is in flight does not wait for it; the
  // lookup's worker cleans up after it (the leak check at exit sees that).
  ASSERT_EQ(mqtt::MqttClient::triesInFlight(), 1);
  call.restart();
  client->stop();
  client.reset();
  const long long stopMs = call.elapsed();
  EXPECT_LT(stopMs, 100);
  EXPECT_TRUE(waitFor([] { return mqtt::MqttClient::triesInFlight() == 0; }, static_cast<int>(lookupMs + 2000)));
  std::cout << "measured: lookup " << lookupMs << " ms, start() " << startMs << " ms, longest loop gap " << longestGap
            << " ms, stop() " << stopMs << " ms\n";
  ::close(nameServer);
  fs::remove_all(dir);
}

TEST(SilentResolver, LoopRunsWhileTheBrokerNameDoesNotResolve) {
  int argc = 1;
  char name[] = "mqtt_resolver_tests";
  char* argv[] = {name};
  QCoreApplication app(argc, argv);
  QProcess check;
  check.start("unshare", {"-rnm", "true"});
  if (!check.waitForFinished(10000) || check.exitStatus() != QProcess::NormalExit || check.exitCode() != 0)
    GTEST_SKIP() << "unshare -rnm (user, network and mount namespaces) is not available or not permitted here: "
                 << check.errorString().toStdString() << " " << check.readAllStandardError().toStdString();

  QProcess inner;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(kInnerRun, "1");
  inner.setProcessEnvironment(env);
  inner.setProcessChannelMode(QProcess::MergedChannels);
  inner.start("unshare", {"-rnm", QCoreApplication::applicationFilePath(), "--gtest_also_run_disabled_tests",
                          QString("--gtest_filter=") + kInnerTest});
  const bool finished = inner.waitForFinished(60000);
  if (!finished) {
    inner.kill();
    inner.waitForFinished(3000);
  }
  const std::string out = inner.readAll().toStdString();
  ASSERT_TRUE(finished) << out;
  if (out.find("[  SKIPPED ]") != std::string::npos) GTEST_SKIP() << "inside the namespaces: " << out;
  EXPECT_TRUE(inner.exitCode() == 0 && out.find("[  PASSED  ] 1 test") != std::string::npos) << out;
  if (const auto at = out.find("measured:"); at != std::string::npos)
    std::cout << out.substr(at, out.find('\n', at) - at) << "\n";
}

}  // namespace
