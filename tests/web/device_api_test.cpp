// Device JSON and the HTTP device interface (bodies byte for byte for a seeded registry, routing
// behind the login rule).
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "core/node_context.h"
#include "devices/device_registry.h"
#include "http/http_server.h"
#include "http/response.h"
#include "devices/device_json.h"
#include "web/device_api.h"
#include "support/device_samples.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {


TEST(DeviceJson, StatesValuesUnitsAndBattery) {
  const devices::DeviceView metric{true, false, nullptr}, imperial{false, false, nullptr};
  EXPECT_EQ(devices::deviceJson(test::sampleDevice("21D0", "Temperature", "21.5"), metric).dump(),
            R"({"code":"21D0","type":"Temperature","location":"Hall","state":null,"value":21.5,"unit":"°C",)"
            R"("battery":null,"last_change":"2026-12-07T14:05:09"})");
  EXPECT_EQ(devices::deviceJson(test::sampleDevice("21D0", "Temperature", "70.1"), imperial)["unit"], "°F");
  auto motion = devices::deviceJson(test::sampleDevice("A1", "Motion", "", 2), metric);
  EXPECT_EQ(motion["state"], "ON");
  EXPECT_TRUE(motion["value"].is_null());
  // A text that is not wholly a number stays text; an Oregon battery reports 1 for low.
  EXPECT_EQ(devices::deviceJson(test::sampleDevice("5A5D_F", "Forecast", "Partly Cloudy"), metric)["value"], "Partly Cloudy");
  auto battery = devices::deviceJson(test::sampleDevice("1A2D_P", "Battery", "1"), metric);
  EXPECT_EQ(battery["battery"], "low");
  EXPECT_EQ(battery["state"], "ON");
  devices::W800Device fresh = test::sampleDevice("B2", "");
  fresh.setDeviceLastChange(util::DateTime{});
  EXPECT_TRUE(devices::deviceJson(fresh, metric)["last_change"].is_null());
}


class DeviceApiTest : public ::testing::Test {
 protected:
  DeviceApiTest() {
    dir = test::freshTestFolder("quillon-api");
    fs::create_directories(dir / "Data");
    std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\nHTTPPort=8017\nLoginUsername=admin\n[W800Units]\n";
    ctx = std::make_unique<core::NodeContext>(platform, core::AppPaths{dir.string(), ""});
    registry = std::make_unique<devices::DeviceRegistry>(*ctx);
    for (auto d : {test::sampleDevice("21D0", "Temperature", "21.5"), test::sampleDevice("A1", "", "", 2, "")}) {
      registry->addW800Unit(d.dc());
      *registry->device(d.dc()) = d;
    }
  }
  ~DeviceApiTest() override { fs::remove_all(dir); }

  http::ApiReply ask(const std::string& path) {
    http::ApiReply r;
    EXPECT_TRUE(web::deviceApi(path, *registry, {true, false}, r)) << path;
    return r;
  }

  test::FakePlatform platform;
  fs::path dir;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<devices::DeviceRegistry> registry;
};

const char* kTemp = R"({"code":"21D0","type":"Temperature","location":"Hall","state":null,"value":21.5,"unit":"°C",)"
                    R"("battery":null,"last_change":"2026-12-07T14:05:09","in_use":true,)"
                    R"("stale":false,"first_seen":null,"last_seen":null,"packets":0,"interval_s":null})";
const char* kA1 = R"({"code":"A1","type":"","location":"","state":"ON","value":null,"unit":null,)"
                  R"("battery":null,"last_change":"2026-12-07T14:05:09","in_use":false,)"
                  R"("stale":false,"first_seen":null,"last_seen":null,"packets":0,"interval_s":null})";

TEST_F(DeviceApiTest, ListsOneDeviceAndRefusesUnknownPaths) {
  http::ApiReply all = ask("/api/devices");
  EXPECT_EQ(all.status, 200);
  EXPECT_EQ(all.body, std::string("[") + kTemp + "," + kA1 + "]");
  EXPECT_EQ(ask("/api/devices/").body, all.body);
  EXPECT_EQ(ask("/api/devices/21d0").body, kTemp);  // codes without regard to letter case
  http::ApiReply unknown = ask("/api/devices/ZZ9");
  EXPECT_EQ(unknown.status, 404);
  EXPECT_EQ(unknown.body, R"({"error":"unknown device","code":"ZZ9"})");
  EXPECT_EQ(ask("/api/devices/A1/x").status, 404);
  EXPECT_EQ(ask("/api/other").body, R"({"error":"not found"})");
  http::ApiReply r;
  EXPECT_FALSE(web::deviceApi("/status", *registry, {}, r));
  // Bytes that are not UTF-8 (a location typed in another code page) never throw.
  registry->device("21D0")->setLocation("K\xFC" "che");
  EXPECT_NE(ask("/api/devices/21D0").body.find("K\xEF\xBF\xBD" "che"), std::string::npos);
}

// The links' state: what a user or a monitor reads to see that a receiver went quiet or away.
TEST_F(DeviceApiTest, LinksAnswerWithEachLinksState) {
  rflink::LinkStatus rx;
  rx.role = "receiver";
  rx.configured = rx.open = true;
  rx.where = "/dev/ttyUSB0";
  rx.haveSince = true;
  rx.since = util::DateTime{2026, 12, 7, 8, 43, 12, 0};
  rx.bytes = 1234;
  rx.packets = 56;
  rx.haveLastPacket = true;
  rx.lastPacket = util::DateTime{2026, 12, 7, 8, 50, 1, 0};
  rx.reconnects = 2;
  rflink::LinkStatus tx;
  tx.role = "transmitter";
  http::ApiReply r;
  ASSERT_TRUE(web::deviceApi("/api/links", *registry, {}, r, [&] { return std::vector<rflink::LinkStatus>{rx, tx}; }));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, R"({"receiver":{"role":"receiver","state":"open","kind":"serial","where":"/dev/ttyUSB0",)"
                    R"("since":"2026-12-07T08:43:12","bytes":1234,"packets":56,"last_packet":"2026-12-07T08:50:01",)"
                    R"("last_packet_at":")" + devices::isoDateTimeWithOffset({2026, 12, 7, 8, 50, 1, 0}) + R"(",)"
                    R"("reconnects":2},"transmitter":{"role":"transmitter","state":"not configured","kind":"serial",)"
                    R"("where":"","since":null,"bytes":0,"reconnects":0}})");
  EXPECT_EQ(rx.summary(util::DateTime{2026, 12, 7, 9, 0, 0, 0}),
            "Receiver open on /dev/ttyUSB0 since 08:43:12 \xC2\xB7 1234 bytes, 56 packets, last packet 08:50:01 \xC2\xB7 2 reconnects");
  rx.open = false;
  EXPECT_EQ(rx.summary(util::DateTime{2026, 12, 8, 9, 0, 0, 0}).substr(0, 55),
            "Receiver closed: /dev/ttyUSB0 since 2026-12-07 08:43:12");
}

TEST_F(DeviceApiTest, ServerAnswersJsonBehindTheLoginRule) {
  http::HttpServer server(*ctx);
  server.setApiRoute([this](const std::string& path, http::ApiReply& reply) {
    return web::deviceApi(path, *registry, {true, false}, reply);
  });
  server.start();
  auto get = [&](const std::string& peer) {
    test::FakeTcpConnection* c = platform.tcpListeners.at(0)->connect(peer, "127.0.0.1");
    c->deliver("GET /api/devices/ZZ9 HTTP/1.1\r\nHost: node\r\n\r\n");
    return c->written;
  };
  const std::string local = get("127.0.0.1");
  std::tm when{};  // the fake clock at its start, 2026-12-06 12:00 local time
  when.tm_year = 126;
  when.tm_mon = 11;
  when.tm_mday = 6;
  when.tm_hour = 12;
  when.tm_isdst = -1;
  EXPECT_EQ(get("127.0.0.1"),
            "HTTP/1.1 404 Not Found\r\nServer: ovk\r\nDate: " + http::httpDate(std::mktime(&when)) +
                "\r\nCache-Control: no-cache\r\n"
            "Content-Type: application/json; charset=utf-8\r\nContent-Length: 39\r\n\r\n"
            R"({"error":"unknown device","code":"ZZ9"})");
  EXPECT_EQ(get("10.1.2.3").rfind("HTTP/1.1 401", 0), 0u);  // a foreign client logs in first
}


}  // namespace
