// The assembled node's device page, history export and charting library, and a replaced sensor
// whose history follows it to its new code.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/node_assembly.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

TEST(DevicePageNode, PageExportAndReplacedSensorsHistory) {
  test::FakePlatform platform;
  const fs::path dir = test::freshTestFolder("quillon-device-page");
  std::ofstream(dir / "Config" / "ovkXap.ini") << "[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\n";
  std::ofstream(dir / "Config" / "Quillon.ini")
      << "[W800]\nHTTPPort=8017\n[W800Units]\n21D0=21D0~0~~False~~~Lounge~21D0~False~True~False~0~~Temperature~False~4.7~\n";
  auto fetch = [&](const std::string& target) {
    return test::exchangeUntilClosed(platform, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  };
  {
    app::NodeAssembly node(platform, core::AppPaths{dir.string(), ""});
    ASSERT_TRUE(node.start());
    devices::DeviceRegistry& registry = node.registry();
    for (const char* v : {"20.5", "21", "21.5"}) {
      registry.report(*registry.device("21D0"), {.type = "Temperature", .text = v});
      platform.time().advance(60'000);
    }
    EXPECT_NE(fetch("/status").find("<a href='/device?code=21D0'>21D0</a>"), std::string::npos);
    const std::string page = fetch("/device?code=21d0");
    EXPECT_EQ(page.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_NE(page.find("data-code='21D0'"), std::string::npos);
    EXPECT_NE(page.find("Lounge"), std::string::npos);
    EXPECT_NE(page.find("/js/dygraph.min.js"), std::string::npos);
    EXPECT_EQ(fetch("/device").rfind("HTTP/1.1 400", 0), 0u);
    const std::string data = fetch("/api/history?code=21D0&format=csv");
    EXPECT_NE(data.find("Content-Type: text/csv"), std::string::npos);
    EXPECT_NE(data.find(",21.5,"), std::string::npos) << data;
    const std::string bad = fetch("/api/history?code=21D0&step=minute");
    EXPECT_EQ(bad.rfind("HTTP/1.1 400", 0), 0u);
    EXPECT_NE(bad.find(R"("parameter":"step")"), std::string::npos);
    if (fs::exists("/usr/share/javascript/dygraphs/dygraph.min.js")) {
      EXPECT_EQ(fetch("/js/dygraph.min.js").rfind("HTTP/1.1 200", 0), 0u);
    }

    // The sensor took a new code: its history goes with it.
    registry.addW800Unit("21E7");
    registry.report(*registry.device("21E7"), {.type = "Temperature", .text = "22"});
    ASSERT_EQ(node.lifecycle().replace("21D0", "21E7"), "");
    const std::string moved = fetch("/api/history?code=21E7&format=csv");
    EXPECT_NE(moved.find(",20.5,"), std::string::npos) << moved;
    EXPECT_NE(moved.find(",22,"), std::string::npos);
    EXPECT_EQ(fetch("/api/history?code=21D0&format=csv").find(",20.5,"), std::string::npos);
    node.shutdown();
  }
  fs::remove_all(dir);
}

}  // namespace
