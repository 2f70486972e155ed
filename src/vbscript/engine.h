// Quillon VBScript engine: the embedding API.
//
//   quillon::vbs::Engine e;
//   auto host = quillon::vbs::makeHostObject("Node");
//   host->method("Log", [](quillon::vbs::Args a) { ...; return quillon::vbs::Variant(); });
//   e.addObject("Node", host, /*globalMembers=*/true);
//   if (!e.addCode(source, "rules")) report(e.lastError());
//   for (auto& p : e.procedures("rules")) ...
//   quillon::vbs::Variant r;
//   e.run("OnEvent", {quillon::vbs::Variant::str("x")}, &r);
//
// All calls are made on one thread at a time; interrupt() may come from any thread.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "value.h"

namespace quillon::vbs {

class Interp;

// A script error as the host sees it.
struct ErrorInfo {
  int number = 0;            // classic number: 13 Type mismatch, 1002 Syntax error, 1100 time-out, ...
  std::string description;   // classic text
  std::string source;        // "Microsoft VBScript runtime error" / "... compilation error" / Err.Raise source
  std::string module;        // module the code was added as
  std::string file;          // file name given to addCode for the failing code, if any
  int line = 0, column = 0;  // 1-based position of the failing statement (compile errors: the token)
  std::string sourceLine;    // text of that line
  // "module(line, column) source: description"
  std::string format() const;
};

struct ProcInfo {
  std::string name;        // as written in the script
  int argCount = 0;
  bool returnsValue = false;  // Function (true) or Sub (false)
};

// An object whose members are C++ callbacks. Arguments arrive by reference: writing
// args[i] updates the caller's variable when the script passed a variable. A callback
// may throw ScriptError (e.g. via quillon::vbs::raise) or QuitRequest; any other
// std::exception becomes error 440 with the exception's text.
class HostObject : public Object {
 public:
  using Method = std::function<Variant(Args)>;
  using Getter = std::function<Variant(Args)>;              // Args: index arguments, if any
  using Setter = std::function<void(Args, const Variant&)>;

  explicit HostObject(std::string typeName);
  HostObject& method(const std::string& name, Method m);
  HostObject& property(const std::string& name, Getter get, Setter let = {}, Setter set = {});
  HostObject& setDefault(const std::string& name);  // member used by obj(...) and in values
  HostObject& enumerator(std::function<std::vector<Variant>()> items);
  std::vector<std::string> memberNames() const;

  std::string typeName() const override { return typeName_; }
  int memberId(std::string_view lowerName) override;
  void invoke(Interp& in, int id, CallKind kind, Args args, Variant& result) override;
  bool enumerate(Interp& in, std::vector<Variant>& out) override;
  const void* classKey() const override { return this; }

 private:
  void invokeMember(Interp& in, int id, CallKind kind, Args args, Variant& result);
  struct Member {
    std::string name;
    Method method;
    Getter get;
    Setter let, set;
  };
  std::string typeName_;
  std::vector<Member> members_;
  std::unordered_map<std::string, int> index_;
  int default_ = -1;
  std::function<std::vector<Variant>()> items_;
};

// Creates a host object owned by the returned reference.
std::shared_ptr<HostObject> makeHostObject(const std::string& typeName);

class Engine {
 public:
  Engine();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Makes obj visible to scripts under name. With globalMembers its members can be
  // called without the object's name. The engine keeps a reference to obj.
  void addObject(const std::string& name, std::shared_ptr<HostObject> obj, bool globalMembers = false);
  // Compiles code as module and runs its top-level statements. False on error (lastError()).
  // fileName, when given, names the code in errors (ErrorInfo::file).
  bool addCode(const std::string& code, const std::string& module = "Global", const std::string& fileName = "");
  // Declares a private module: the procedures, classes and variables its code defines are seen
  // only by that code (as in the classic Script Control's modules); it still sees the named
  // objects and the code added to undeclared modules. Declaring it again does nothing.
  void addModule(const std::string& module);
  bool hasModule(const std::string& module) const;
  // Drops a private module's names at once; its code is freed once nothing uses it any more.
  void removeModule(const std::string& module);
  // Procedures a module defines, in order.
  std::vector<ProcInfo> procedures(const std::string& module) const;
  // Calls a global procedure. Arguments are passed by reference: ByRef parameters
  // write back into args. False on error.
  bool run(const std::string& procedure, std::vector<Variant>& args, Variant* result = nullptr);
  bool run(const std::string& procedure, std::vector<Variant>&& args = {}, Variant* result = nullptr);
  // Calls a procedure as the given module's code sees it.
  bool runIn(const std::string& module, const std::string& procedure, std::vector<Variant>& args,
             Variant* result = nullptr);
  // Evaluates an expression in the global scope.
  bool eval(const std::string& expression, Variant& result);

  // Limits for each addCode/run/eval: a wall-clock time-out (0 = none) and a step budget
  // (negative = none). Exceeding either fails the call with error 1100.
  void setTimeout(std::chrono::milliseconds timeout);
  void setStepLimit(int64_t steps);
  void setMaxCallDepth(int depth);
  void setNativeStackLimit(size_t bytes);
  // Stops the running script with error 1100; callable from any thread.
  void interrupt();
  // True while a call into the script is in progress (a host member is being run from a script).
  bool busy() const { return depth_ > 0; }

  // Drops all code, variables and objects (host objects must be added again).
  void reset();
  const ErrorInfo& lastError() const { return error_; }
  // True after a host member asked to stop the script (see requestQuit); its exit code.
  bool quitRequested() const { return quit_; }
  int quitCode() const { return quitCode_; }

  // Hooks: current date/time as a date serial (days since 30/12/1899, local time);
  // MsgBox text; InputBox answers.
  void setClock(std::function<double()> clock);
  void setMessageSink(std::function<void(const std::string&)> sink);
  void setInputSource(std::function<std::string(const std::string&)> source);
  // Adds a ProgID for CreateObject.
  void registerProgId(const std::string& progId, std::function<std::shared_ptr<HostObject>()> factory);

  // CreateObject from host code running inside a script call (throws script errors).
  Variant createObject(const std::string& progId);

  Interp& interp() { return *in_; }

 private:
  template <class F>
  bool guarded(F&& body);
  std::unique_ptr<Interp> in_;
  std::vector<std::shared_ptr<HostObject>> hostObjects_;
  std::chrono::milliseconds timeout_{0};
  int64_t stepLimit_ = -1;
  int depth_ = 0;  // nested calls from host members share the outermost call's limits
  ErrorInfo error_;
  bool quit_ = false;
  int quitCode_ = 0;
};

// Thrown by a host member to end the script at once (WScript.Quit); not catchable by scripts.
struct QuitRequest {
  int code = 0;
};

// Values for hosts. Variant itself (value.h) has the scalar constructors.
Variant makeArray(std::vector<Variant> items);
std::vector<Variant> arrayItems(const Variant& v);  // one-dimensional arrays; empty otherwise
Variant makeObject(const std::shared_ptr<HostObject>& obj);
// Conversions with the script's rules; they fall back to dflt instead of failing.
std::string asString(const Variant& v, const std::string& dflt = "");
double asNumber(const Variant& v, double dflt = 0);
bool asBool(const Variant& v, bool dflt = false);
// The host object a script passed in, or null if it is something else.
template <class T>
T* asHost(const Variant& v) {
  return v.isObject() ? dynamic_cast<T*>(v.obj()) : nullptr;
}

}  // namespace quillon::vbs
