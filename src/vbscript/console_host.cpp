// The console script host: runs a script file or a job file (.wsf) like the classic console
// host, with WScript, on a thread with a large stack.
#include "console_host.h"

#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <cctype>
#include <cstdio>
#include <filesystem>
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

using Options = ConsoleOptions;

std::string lowerText(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool readWhole(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  out = ss.str();
  return true;
}

// The value of attribute `name` in a tag's text ("" when absent); quotes optional.
std::string attribute(const std::string& tag, const std::string& name) {
  const std::string low = lowerText(tag);
  for (std::size_t p = low.find(name); p != std::string::npos; p = low.find(name, p + 1)) {
    if (p > 0 && !std::isspace(static_cast<unsigned char>(low[p - 1]))) continue;
    std::size_t eq = p + name.size();
    while (eq < low.size() && std::isspace(static_cast<unsigned char>(low[eq]))) ++eq;
    if (eq >= low.size() || low[eq] != '=') continue;
    std::size_t v = eq + 1;
    while (v < low.size() && std::isspace(static_cast<unsigned char>(low[v]))) ++v;
    if (v < tag.size() && (tag[v] == '"' || tag[v] == '\'')) {
      std::size_t end = tag.find(tag[v], v + 1);
      return tag.substr(v + 1, end == std::string::npos ? std::string::npos : end - v - 1);
    }
    std::size_t end = v;
    while (end < tag.size() && !std::isspace(static_cast<unsigned char>(tag[end])) && tag[end] != '>' && tag[end] != '/') ++end;
    return tag.substr(v, end - v);
  }
  return {};
}

// A src path of a job, relative to the job file's folder (backslashes allowed). When nothing is
// there, the file of that name beside the job is used, so a job written beside its script finds it.
std::string jobSourcePath(const std::string& jobPath, const std::string& src) {
  namespace fs = std::filesystem;
  std::string s = src;
  for (char& c : s) if (c == '\\') c = '/';
  fs::path base = fs::path(jobPath).parent_path();
  fs::path p = fs::path(s).is_absolute() ? fs::path(s) : base / s;
  std::error_code ec;
  if (fs::exists(p, ec)) return p.string();
  fs::path beside = base / fs::path(s).filename();
  if (fs::exists(beside, ec)) return beside.string();
  return p.string();
}

struct Chunk {
  std::string code, file;
};

// The scripts of a job file in order: <script src=.../> files and inline <script> blocks.
bool readJob(const std::string& jobPath, const std::string& text, std::vector<Chunk>& out, std::string& problem) {
  const std::string low = lowerText(text);
  std::size_t pos = 0;
  while ((pos = low.find("<script", pos)) != std::string::npos) {
    std::size_t close = low.find('>', pos);
    if (close == std::string::npos) {
      problem = "unterminated <script> tag";
      return false;
    }
    std::string tag = text.substr(pos, close + 1 - pos);
    const bool selfClosing = close > pos && text[close - 1] == '/';
    std::string language = lowerText(attribute(tag, "language"));
    if (language.empty()) language = lowerText(attribute(tag, "type"));
    std::string src = attribute(tag, "src");
    pos = close + 1;
    std::string inlineCode;
    if (!selfClosing) {
      std::size_t end = low.find("</script>", pos);
      if (end == std::string::npos) {
        problem = "<script> without </script>";
        return false;
      }
      inlineCode = text.substr(pos, end - pos);
      pos = end + 9;
    }
    if (!language.empty() && language.find("vbscript") == std::string::npos) {
      problem = "script language \"" + language + "\" is not supported";
      return false;
    }
    if (!src.empty()) {
      Chunk c;
      c.file = jobSourcePath(jobPath, src);
      if (!readWhole(c.file, c.code)) {
        problem = "cannot open " + c.file;
        return false;
      }
      out.push_back(std::move(c));
    }
    // A CDATA wrapper around inline code is markup, not script.
    std::size_t cdata = inlineCode.find("<![CDATA[");
    if (cdata != std::string::npos) {
      inlineCode.erase(0, cdata + 9);
      std::size_t tail = inlineCode.rfind("]]>");
      if (tail != std::string::npos) inlineCode.erase(tail);
    }
    if (inlineCode.find_first_not_of(" \t\r\n") != std::string::npos) out.push_back(Chunk{inlineCode, jobPath});
  }
  return true;
}

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

int runScript(const Options& o, const ConsoleExtension& extend) {
  std::string code;
  if (!readWhole(o.path, code)) {
    std::fprintf(stderr, "quillon-vbs: cannot open %s\n", o.path.c_str());
    return 2;
  }
  std::vector<Chunk> chunks;
  const std::string lowPath = lowerText(o.path);
  if (lowPath.size() > 4 && lowPath.compare(lowPath.size() - 4, 4, ".wsf") == 0) {
    std::string problem;
    if (!readJob(o.path, code, chunks, problem)) {
      std::fprintf(stderr, "%s: %s\n", o.path.c_str(), problem.c_str());
      return 1;
    }
  } else {
    chunks.push_back(Chunk{code, {}});
  }

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
    if (a.n != 1) throw ScriptError{err::WrongArgs, errorText(err::WrongArgs), {}, 0, 0, {}, {}, {}, {}, 0};
    int i = toLong(a[0]);
    if (i < 0 || static_cast<size_t>(i) >= argv.size()) throw ScriptError{err::Subscript, errorText(err::Subscript), {}, 0, 0, {}, {}, {}, {}, 0};
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
  if (extend) extend(engine, o);

  for (const Chunk& c : chunks) {
    bool ok = engine.addCode(c.code, o.path, c.file);
    std::fflush(stdout);
    if (engine.quitRequested()) return engine.quitCode();
    if (!ok) {
      const ErrorInfo& e = engine.lastError();
      const std::string where = e.file.empty() ? o.path : e.file;
      std::fprintf(stderr, "%s(%d, %d) %s: %s\n", where.c_str(), e.line, e.column, e.source.c_str(), e.description.c_str());
      return 1;
    }
  }
  return 0;
}

struct ThreadArgs {
  const Options* opts;
  const ConsoleExtension* extend;
  int rc;
};

void* threadMain(void* p) {
  auto* t = static_cast<ThreadArgs*>(p);
  t->rc = runScript(*t->opts, *t->extend);
  return nullptr;
}

}  // namespace

int quillon::vbs::runConsoleHost(int argc, char** argv, const ConsoleExtension& extend) {
  Options o;
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("//T:", 0) == 0) o.timeoutMs = std::atol(a.c_str() + 4) * 1000;
    else if (a == "//nologo" || a == "//NoLogo") continue;
    else if (a == "--app-dir" && i + 1 < argc) o.appDir = argv[++i];
    else break;
  }
  if (i >= argc) {
    std::fprintf(stderr,
                 "usage: quillon-vbs [//T:seconds] [--app-dir DIR] FILE [ARGS...]\n"
                 "FILE is a script, or a job file (.wsf) of <script> elements run in order.\n");
    return 2;
  }
  o.path = argv[i++];
  for (; i < argc; ++i) o.args.push_back(argv[i]);
  // Scripts run on a thread with a large stack so deep recursion reports error 28.
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256u * 1024 * 1024);
  ThreadArgs t{&o, &extend, 0};
  pthread_t th;
  if (pthread_create(&th, &attr, threadMain, &t) != 0) return runScript(o, extend);
  pthread_join(th, nullptr);
  pthread_attr_destroy(&attr);
  return t.rc;
}
