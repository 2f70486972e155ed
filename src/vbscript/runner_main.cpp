// quillon-vbs FILE [ARGS...]: runs a script like the classic console host.
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "convert.h"
#include "engine.h"
#include "errors.h"

using namespace quillon::vbs;

namespace {

struct Options {
  std::string path;
  std::vector<std::string> args;
  long timeoutMs = 0;
};

// Echo shows Booleans as numbers, the way the console host prints them.
std::string echoText(const Variant& v) {
  if (v.type() == VT::Boolean) return v.i32() ? "-1" : "0";
  if (v.isNull()) return "Null";
  return toString(v);
}

std::shared_ptr<HostObject> makeStream(FILE* f) {
  auto s = makeHostObject("TextStream");
  s->method("Write", [f](Args a) {
    if (f == stderr) std::fflush(stdout);
    for (int i = 0; i < a.n; ++i) std::fputs(toString(a[i]).c_str(), f);
    std::fflush(f);
    return Variant();
  });
  s->method("WriteLine", [f](Args a) {
    if (f == stderr) std::fflush(stdout);
    for (int i = 0; i < a.n; ++i) std::fputs(toString(a[i]).c_str(), f);
    std::fputs("\n", f);
    std::fflush(f);
    return Variant();
  });
  s->method("WriteBlankLines", [f](Args a) {
    int n = a.n ? toLong(a[0]) : 1;
    for (int i = 0; i < n; ++i) std::fputs("\n", f);
    return Variant();
  });
  return s;
}

int runScript(const Options& o) {
  std::ifstream in(o.path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "quillon-vbs: cannot open %s\n", o.path.c_str());
    return 2;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  std::string code = ss.str();

  Engine engine;
  engine.setMaxCallDepth(3000);
  engine.setNativeStackLimit(200u * 1024 * 1024);
  if (o.timeoutMs > 0) engine.setTimeout(std::chrono::milliseconds(o.timeoutMs));
  engine.setMessageSink([](const std::string& s) { std::printf("%s\n", s.c_str()); std::fflush(stdout); });
  engine.setInputSource([](const std::string& prompt) {
    std::printf("%s ", prompt.c_str());
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    return line;
  });

  std::string name = o.path.substr(o.path.find_last_of('/') == std::string::npos ? 0 : o.path.find_last_of('/') + 1);
  char full[4096];
  std::string fullPath = realpath(o.path.c_str(), full) ? std::string(full) : o.path;

  auto wsArgs = makeHostObject("Arguments");
  std::vector<std::string> argv = o.args;
  auto item = [argv](Args a) {
    if (a.n != 1) throw ScriptError{err::WrongArgs, errorText(err::WrongArgs), {}, 0, 0, {}, {}, {}};
    int i = toLong(a[0]);
    if (i < 0 || static_cast<size_t>(i) >= argv.size()) throw ScriptError{err::Subscript, errorText(err::Subscript), {}, 0, 0, {}, {}, {}};
    return Variant::str(argv[static_cast<size_t>(i)]);
  };
  wsArgs->method("Item", item).setDefault("Item");
  wsArgs->property("Count", [argv](Args) { return Variant::lng(static_cast<int32_t>(argv.size())); });
  wsArgs->property("Length", [argv](Args) { return Variant::lng(static_cast<int32_t>(argv.size())); });
  wsArgs->enumerator([argv] {
    std::vector<Variant> v;
    for (auto& s : argv) v.push_back(Variant::str(s));
    return v;
  });

  auto ws = makeHostObject("Object");
  auto out = makeStream(stdout), err = makeStream(stderr);
  ws->method("Echo", [](Args a) {
    std::string line;
    for (int i = 0; i < a.n; ++i) {
      if (i) line += ' ';
      line += echoText(a[i]);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    return Variant();
  });
  ws->method("Quit", [](Args a) -> Variant {
    std::fflush(stdout);
    throw QuitRequest{a.n ? toLong(a[0]) : 0};
  });
  ws->method("Sleep", [](Args a) {
    long ms = a.n ? toLong(a[0]) : 0;
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return Variant();
  });
  ws->property("Arguments", [wsArgs](Args) { return makeObject(wsArgs); });
  ws->property("StdOut", [out](Args) { return makeObject(out); });
  ws->property("StdErr", [err](Args) { return makeObject(err); });
  ws->property("ScriptName", [name](Args) { return Variant::str(name); });
  ws->property("ScriptFullName", [fullPath](Args) { return Variant::str(fullPath); });
  ws->property("Name", [](Args) { return Variant::str("Windows Script Host"); });
  ws->property("Version", [](Args) { return Variant::str("5.8"); });
  ws->property("Interactive", [](Args) { return Variant::boolean(false); }, [](Args, const Variant&) {});
  ws->method("CreateObject", [&engine](Args a) {
    return engine.createObject(toString(a[0]));
  });
  engine.addObject("WScript", ws);

  bool ok = engine.addCode(code, o.path);
  std::fflush(stdout);
  if (engine.quitRequested()) return engine.quitCode();
  if (!ok) {
    const ErrorInfo& e = engine.lastError();
    std::fprintf(stderr, "%s(%d, %d) %s: %s\n", o.path.c_str(), e.line, e.column, e.source.c_str(), e.description.c_str());
    return 1;
  }
  return 0;
}

struct ThreadArgs {
  const Options* opts;
  int rc;
};

void* threadMain(void* p) {
  auto* t = static_cast<ThreadArgs*>(p);
  t->rc = runScript(*t->opts);
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("//T:", 0) == 0) o.timeoutMs = std::atol(a.c_str() + 4) * 1000;
    else if (a == "//nologo" || a == "//NoLogo") continue;
    else break;
  }
  if (i >= argc) {
    std::fprintf(stderr, "usage: quillon-vbs [//T:seconds] FILE [ARGS...]\n");
    return 2;
  }
  o.path = argv[i++];
  for (; i < argc; ++i) o.args.push_back(argv[i]);
  // Scripts run on a thread with a large stack so deep recursion reports error 28.
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256u * 1024 * 1024);
  ThreadArgs t{&o, 0};
  pthread_t th;
  if (pthread_create(&th, &attr, threadMain, &t) != 0) return runScript(o);
  pthread_join(th, nullptr);
  pthread_attr_destroy(&attr);
  return t.rc;
}
