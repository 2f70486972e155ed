// libFuzzer target: parse and run arbitrary scripts under a step budget.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  quillon::vbs::Engine engine;
  engine.setStepLimit(20000);
  engine.setMaxCallDepth(200);
  engine.setNativeStackLimit(512 * 1024);
  auto out = quillon::vbs::makeHostObject("Out");
  out->method("Echo", [](quillon::vbs::Args) { return quillon::vbs::Variant(); });
  engine.addObject("WScript", out);
  engine.setMessageSink([](const std::string&) {});
  engine.addCode(std::string(reinterpret_cast<const char*>(data), size), "fuzz");
  engine.run("Main");
  return 0;
}
