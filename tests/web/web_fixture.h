#pragma once
// A node context on a fresh folder with a device registry and a tag store, and requests built
// as the server parses them, for the page tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/node_context.h"
#include "devices/device_registry.h"
#include "http/request.h"
#include "script/tag_store.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"
#include "web/status_page.h"

namespace quillon::test {

class WebFixture : public ::testing::Test {
 protected:
  WebFixture() {
    dir = freshTestFolder("quillon-web");
    std::filesystem::create_directories(dir / "Data");
    ctx = std::make_unique<core::NodeContext>(platform, core::AppPaths{dir.string(), ""});
    ctx->log.setXapSender([this](const std::string&, const std::string&, const std::string& t) { logs += t + "\n"; });
    registry = std::make_unique<devices::DeviceRegistry>(*ctx);
    web::WebServices services;
    services.initScriptControl = [this] { ++scriptReloads; };
    services.bscQuery = [this](const std::string& t) { queries += t; };
    services.settingsSaved = [this](const core::Settings& before) {
      const core::Settings& now = ctx->settings;
      reopens += now.serialPort != before.serialPort || now.serialIp != before.serialIp ||
                 now.txSerialPort != before.txSerialPort || now.txSerialIp != before.txSerialIp || now.mode != before.mode;
    };
    services.linkSummary = [this] { return linkSummary; };
    page = std::make_unique<web::StatusPage>(*ctx, *registry, &tags, services);
  }
  ~WebFixture() override { std::filesystem::remove_all(dir); }
  std::string linkSummary;  // what the page shows of the receiver link

  devices::W800Device& add(const std::string& code, const std::string& location = "", const std::string& type = "") {
    EXPECT_TRUE(registry->addW800Unit(code));
    devices::W800Device& d = *registry->device(code);
    d.setLocation(location);
    d.setInUse(!location.empty());
    d.setDeviceType(type);
    return d;
  }
  static http::Request request(const std::string& body = "") {
    http::Request r;
    if (body.empty()) {
      r.parsePage("GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    } else {
      r.parsePage("POST /status HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(body.size()) +
                  "\r\n\r\n" + body);
    }
    r.flushRequest();
    r.setRemoteIp("127.0.0.1");
    return r;
  }
  std::string get() {
    http::Request r = request();
    return page->statusPage(r, nullptr);
  }
  std::string post(const std::string& body) {
    http::Request r = request(body);
    return page->statusPage(r, nullptr);
  }
  std::string ini(const std::string& key, const std::string& section = "W800") {
    return ctx->ini.getIniSetting(section, key, "<absent>", "Quillon.ini");
  }

  FakePlatform platform;
  std::filesystem::path dir;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<devices::DeviceRegistry> registry;
  script::TagStore tags;
  std::unique_ptr<web::StatusPage> page;
  int scriptReloads = 0, reopens = 0;
  std::string queries, logs;
};

}  // namespace quillon::test
