// Fuzzes the HTTP server. The whole input is first parsed as a request head and as a request. Then
// it drives the server on fake sockets: each record is an operation byte and its arguments -- a
// client connects (from the own network or not), sends a piece of the input, the network
// completes a send, a client closes or fails, time passes. Checked: the open-connection count
// stays within the cap, every answer starts with a status line, and everything is closed once
// time has run out.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/node_context.h"
#include "http/http_server.h"
#include "http/request.h"
#include "http/request_parser.h"
#include "support/fake_platform.h"

using namespace quillon;
namespace fs = std::filesystem;

namespace {

core::AppPaths makeFolder() {
  core::AppPaths p;
  p.appFolder = (fs::temp_directory_path() / "quillon-fuzz-http").string();
  fs::create_directories(fs::path(p.appFolder) / "Config");
  fs::create_directories(fs::path(p.appFolder) / "HTML" / "Help" / "Quillon");
  std::ofstream(fs::path(p.appFolder) / "Config" / "Quillon.ini")
      << "[W800]\nHTTPPort=8017\nLoginUsername=admin\nLoginPassword=17.64.95\n";
  std::ofstream(fs::path(p.appFolder) / "HTML" / "a.png", std::ios::binary) << std::string(2500, 'x');
  std::ofstream(fs::path(p.appFolder) / "HTML" / "s.css") << "body{}";
  std::ofstream(fs::path(p.appFolder) / "HTML" / "Help" / "Quillon" / "Quillon.htm") << "Quillon_files/x";
  return p;
}

void parseAlone(const std::string& raw) {
  http::RequestHead head;
  const int status = http::parseHead(raw, http::HeadLimits{}, head);
  if (status == 200 && (head.headBytes > raw.size() || head.skipped >= head.headBytes)) __builtin_trap();
  http::Request r;
  r.parsePage(raw);
  r.addPostData(raw.substr(raw.size() / 2));
  r.flushRequest();
  (void)r.postDataComplete();
  (void)r.serverVariables("remote_addr");
  if (http::decode(raw).size() > raw.size()) __builtin_trap();
  if (http::base64Decode(raw).size() > raw.size()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const core::AppPaths paths = makeFolder();
  const std::string input(reinterpret_cast<const char*>(data), size);
  parseAlone(input);

  test::FakePlatform platform;
  core::NodeContext ctx(platform, paths);
  {
    http::HttpServer server(ctx);
    server.start();
    std::size_t pos = 0;
    auto next = [&]() -> std::uint8_t { return pos < size ? data[pos++] : 0; };
    auto pick = [&]() -> test::FakeTcpConnection* {
      if (platform.tcpConnections.empty()) return nullptr;
      return platform.tcpConnections[next() % platform.tcpConnections.size()];
    };
    auto& listener = *platform.tcpListeners.at(0);
    for (int ops = 0; pos < size && ops < 2000; ++ops) {
      const std::uint8_t op = next();
      switch (op % 8) {
        // A client of the server's own /24 or of another one; fake sockets, loopback addresses.
        case 0: listener.connect(op & 8 ? "127.0.0.7" : "127.0.1.20", "127.0.1.5"); break;
        case 1: {
          const std::size_t len = std::min<std::size_t>(next() * 4u + 1u, size - pos);
          if (auto* c = pick()) c->deliver(input.substr(pos, len));
          pos += len;
          break;
        }
        case 2: if (auto* c = pick()) c->completeSend(); break;
        case 3: if (auto* c = pick()) c->farEndClose(); break;
        case 4: if (auto* c = pick()) c->fail(); break;
        case 5: platform.time().advance(next() * 40); break;
        case 6: platform.time().advance(5); break;
        default: if (auto* c = pick()) c->breakSilently(); break;
      }
      if (server.socketsOpen() < 0 || server.socketsOpen() > server.maxConnections()) __builtin_trap();
      for (auto* c : platform.tcpConnections)
        if (!c->written.empty() && c->written.rfind("HTTP/1.", 0) != 0) __builtin_trap();  // no status line
    }
    // Long enough for every wait and time-out; the network takes whatever is written.
    for (int round = 0; round < 80; ++round) {
      for (auto* c : platform.tcpConnections)
        if (c->pendingBytes()) c->completeSend();
      platform.time().advance(1000);
    }
    if (server.socketsOpen() != 0) __builtin_trap();  // idle and answered connections are all closed
  }
  return 0;
}
