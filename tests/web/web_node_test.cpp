#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/node_assembly.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

// The assembled node answers /status, and a saved location renames the device's xAP endpoint
// and is still there after a restart.
TEST(WebNode, SavedLocationRenamesTheEndpointAndSurvivesARestart) {
  test::FakePlatform platform;
  const fs::path dir = test::freshTestFolder("quillon-web-node");
  std::ofstream(dir / "Config" / "ovkXap.ini") << "[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\n";
  std::ofstream(dir / "Config" / "Quillon.ini")
      << "[W800]\nHTTPPort=8017\n[W800Units]\n21D0=21D0~0~~False~~~Lounge~21D0~False~True~False~0~~Temperature~False~4.7~\n";
  auto fetch = [&](const std::string& raw) { return test::exchangeUntilClosed(platform, raw); };
  {
    app::NodeAssembly node(platform, core::AppPaths{dir.string(), ""});
    ASSERT_TRUE(node.start());
    const std::string page = fetch("GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_NE(page.find("name='Location_21D0' value='Lounge'"), std::string::npos) << page.substr(0, 300);
    // The post carries its session's cookie, the form's token and the row as drawn.
    auto valueOf = [&](const std::string& name) {
      const std::size_t at = page.find("name='" + name + "' value='") + name.size() + 15;
      return page.substr(at, page.find('\'', at) - at);
    };
    const std::size_t cookie = page.find("Set-Cookie: ") + 12;
    const std::string body = "csrf=" + valueOf("csrf") + "&row_21D0=" + valueOf("row_21D0") +
                             "&clientinput=yes&UpdateButton=Save+Changes&Location_21D0=Den&Type_21D0=Temperature&Off_21D0=0";
    const std::string saved = fetch("POST /status HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " +
                                    page.substr(cookie, page.find(';', cookie) - cookie) + "\r\nContent-Length: " +
                                    std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_NE(saved.find("name='Location_21D0' value='Den'"), std::string::npos) << saved.substr(0, 300);
    for (auto* s : platform.udpSockets) s->sent.clear();
    node.bsc().sendXapBsc("21D0", "xapbsc.info");
    bool renamed = false;
    for (auto* s : platform.udpSockets)
      for (const auto& m : s->sent) renamed = renamed || m.data.find(":Den.") != std::string::npos;
    EXPECT_TRUE(renamed);
    node.shutdown();
  }
  {
    app::NodeAssembly node(platform, core::AppPaths{dir.string(), ""});
    ASSERT_TRUE(node.start());
    ASSERT_NE(node.registry().device("21D0"), nullptr);
    EXPECT_EQ(node.registry().device("21D0")->location(), "Den");
    node.shutdown();
  }
  fs::remove_all(dir);
}

}  // namespace
