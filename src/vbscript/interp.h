// The interpreter: name resolution, statement execution and expression evaluation
// over the resolved tree. Internal; hosts use engine.h.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ast.h"
#include "errors.h"
#include "value.h"

namespace quillon::vbs {

struct Builtin {
  const char* name;
  int minArgs, maxArgs;
  Variant (*fn)(Interp&, Args);
  bool isConst = false;  // a vb... constant: fn ignores args
  bool isSub = false;    // no value (Randomize, Execute...)
};
const Builtin* findBuiltin(const std::string& lowerName);
Variant constantValue(const std::string& lowerName);

struct ProcSlot {
  std::string name;
  ProcDef* def = nullptr;
};

struct ClassDef;
struct ArgBuf;

struct Frame {
  Variant** slots = nullptr;
  ProcDef* proc = nullptr;
  Object* me = nullptr;       // a class Instance while running its members
  ClassDef* cls = nullptr;
  bool resumeNext = false;
  int nslots = 0;
};

enum class Flow : uint8_t { Normal, ExitDo, ExitFor, ExitProc };

// What a global name stands for.
struct NameEntry {
  enum Kind : uint8_t { Var, Proc, Class, HostMember } kind = Var;
  int slot = -1;
  ProcSlot* proc = nullptr;
  ClassDef* cls = nullptr;
  ObjRef obj;
  int memberId = -1;
  bool isConst = false;
};

using ObjectFactory = std::function<Object*(Interp&)>;

// Global variables in blocks that never move: a slot's address stays valid while
// globals are added, and indexing is a shift and a mask.
class GlobalStore {
 public:
  Variant& operator[](size_t i) { return blocks_[i >> kShift][i & kMask]; }
  size_t size() const { return size_; }
  void emplace_back() {
    if ((size_ >> kShift) == blocks_.size()) blocks_.push_back(std::make_unique<Variant[]>(kBlock));
    ++size_;
  }
  void clear() { blocks_.clear(); size_ = 0; }
  void swap(GlobalStore& o) noexcept { blocks_.swap(o.blocks_); std::swap(size_, o.size_); }
  template <class F> void forEach(F&& f) { for (size_t i = 0; i < size_; ++i) f((*this)[i]); }

 private:
  static constexpr size_t kShift = 8, kBlock = size_t(1) << kShift, kMask = kBlock - 1;
  std::vector<std::unique_ptr<Variant[]>> blocks_;
  size_t size_ = 0;
};

class Interp {
 public:
  Interp();
  ~Interp();

  // Compiles and runs a module's top-level code; procedures and classes join the globals.
  void addCode(const std::string& code, const std::string& moduleName, const std::string& fileName = "");
  void reset();

  // Globals and host names.
  int defineGlobal(const std::string& lowerName, bool isConst);
  Variant& global(int slot) { return globals_[static_cast<size_t>(slot)]; }
  void addNamedObject(const std::string& name, Object* o, bool globalMembers,
                      const std::vector<std::string>& memberNames);
  // Looks a name up as the running code's module sees it.
  const NameEntry* lookupName(const std::string& lowerName) const { return lookupIn(activeModule(), lowerName); }
  ProcDef* findProc(const std::string& lowerName) const;
  std::vector<ProcDef*> moduleProcs(const std::string& moduleName) const;

  // Private modules: what their code defines (procedures, classes, variables) only their own
  // code sees; they see the shared names too. Code added to an undeclared module is shared.
  void declareModule(const std::string& name);
  bool isPrivate(const std::string& module) const { return private_.count(module) != 0; }
  // Drops a private module's names at once; its code is freed by collectRetired once nothing
  // (a running call, an object of its classes, a GetRef) uses it any more.
  void dropModule(const std::string& name);
  void collectRetired();
  // A private module's own name first, then the shared names.
  const NameEntry* lookupIn(const std::string& module, const std::string& lowerName) const;
  // Only the names the module itself defines (the shared table for shared modules).
  const NameEntry* lookupOwn(const std::string& module, const std::string& lowerName) const;
  std::unordered_map<std::string, NameEntry>& namesFor(const std::string& module);
  int defineGlobalIn(const std::string& module, const std::string& lowerName, bool isConst);
  int defineIn(std::unordered_map<std::string, NameEntry>& table, const std::string& lowerName, bool isConst);
  ProcSlot* newProcSlot(const std::string& name, ProcDef* def);
  // The module of the code that runs now (or is being added).
  const std::string& activeModule() const { return frame_ && frame_->proc ? frame_->proc->moduleName : curModule_; }

  // Calls.
  void callProc(ProcDef* p, Object* me, Args args, Variant& result);
  void invokeMember(Object* o, const std::string& lowerName, CallKind kind, Args args, Variant& result);
  Variant callByName(const std::string& lowerName, std::vector<Variant>& args);
  Variant callInModule(const std::string& module, const std::string& lowerName, std::vector<Variant>& args);

  // Eval / Execute / ExecuteGlobal in the scope of the running code.
  Variant evalString(const std::string& code);
  void executeString(const std::string& code, bool global);

  // Objects.
  Variant newClassInstance(ClassDef* c);
  void registerProgId(const std::string& lowerProgId, ObjectFactory f);
  Object* createObject(const std::string& progId);
  ClassDef* currentClass() const { return frame_ ? frame_->cls : nullptr; }

  // The Err object state.
  struct ErrState {
    int number = 0; std::string description, source; int line = 0, column = 0; std::string sourceLine;
    std::string helpFile; int helpContext = 0;
  };
  ErrState err;
  void setErr(const ScriptError& e);
  void clearErr() { err = ErrState{}; }
  Object* errObject() { return errObj_.get(); }

  // Limits: a deadline and/or a step budget; interrupt() may be called from another thread.
  void setDeadline(std::chrono::steady_clock::time_point t) { deadline_ = t; hasDeadline_ = true; }
  void clearDeadline() { hasDeadline_ = false; }
  void setStepLimit(int64_t steps) { stepLimit_ = steps; }
  void interrupt() { interrupted_ = true; }
  // A stop that was caught where it could not be passed on (a class terminator run from a
  // release): the next step of the script raises it again.
  void keepInterruptPending() {
    if (!stackBase_) return;  // no script is running any more: nothing to stop
    interrupted_ = true;
    budget_ = 0;
  }
  void setMaxDepth(int d) { maxDepth_ = d; }
  void setNativeStackLimit(ptrdiff_t bytes) { nativeStackLimit_ = bytes; }

  // Host hooks.
  std::function<double()> clock;                        // current date serial; default: local time
  std::function<void(const std::string&)> messageSink;  // MsgBox output
  std::function<std::string(const std::string&)> inputSource;  // InputBox
  uint32_t rndSeed = 0x50000;
  float lastRnd = 0x50000 / 16777216.0f;  // Rnd(0) before any Rnd gives the seed's number

  // Fills ScriptError position text from the module source.
  void fillSourceLine(ScriptError& e) const;
  const std::string& currentModule() const { return curModule_; }

  // Value of an object's default member (used by coercions).
  Variant defaultValue(Object* o);
  Variant indexValue(const Variant& v, Args args);
  Variant& arrayElement(Variant& arrVar, Args args);  // for writing: unshares the array
  void makeArray(Variant& target, const std::vector<int32_t>& upper, bool fixed, bool preserve);

 private:
  friend class Resolver;
  friend struct ExecScope;

  struct Module {
    std::string name;
    std::shared_ptr<const std::string> source;
    std::shared_ptr<Program> program;
  };

  // Execution.
  Flow execBlock(Block& b, Frame& f);
  Flow exec(Stmt& s, Frame& f);
  Flow execFor(Stmt& s, Frame& f);
  Flow execForEach(Stmt& s, Frame& f);
  void execAssign(Stmt& s, Frame& f, bool isSet);
  void execDim(Stmt& s, Frame& f);
  void execReDim(Stmt& s, Frame& f);
  void execCallStmt(Expr& e, Frame& f);
  void step();
  void checkLimits();
  void runTopLevel(Program& p, Frame& f, const std::string& module, std::shared_ptr<const std::string> src);
  void defineConsts(Block& b, Frame& f);
  // Runs the head of a statement under On Error Resume Next: an error is recorded in Err
  // and false returned, so the statement can go on as the classic engine does.
  template <class F> bool resumeHead(const Stmt& s, F&& run) {
    try {
      run();
      return true;
    } catch (ScriptError& e) {
      noteResumedError(e, s);
      return false;
    }
  }
  void noteResumedError(ScriptError& e, const Stmt& s);
  Flow runFailedLoopOnce(Stmt& s, Frame& f, int nextError);

  // Evaluation.
  // Leaves (literals, variables) inline; every other node out of line.
  Variant eval(Expr& e, Frame& f);
  Variant evalNode(Expr& e, Frame& f);
  Variant evalBinary(Expr& e, Frame& f);
  Variant evalCompare(Expr& e, Frame& f);
  bool evalInt(Expr& e, Frame& f, int32_t& out, bool& isLong);
  Variant evalIdent(Expr& e, Frame& f, Args args, bool asCall);
  Variant evalCall(Expr& e, Frame& f, CallKind kind);
  Variant* lvalue(Expr& e, Frame& f);
  Variant* elementLvalue(Expr& e, Frame& f);
  Variant withObject(Expr& e, Frame& f);
  void assignTo(Expr& target, Frame& f, Variant value, bool isSet);
  void invokeCached(Expr& site, Object* o, CallKind kind, Args args, Variant& result);
  void buildArgs(std::vector<ExprP>& exprs, Frame& f, ArgBuf& buf, int extra);
  const NameEntry* resolveDynamic(Expr& e, bool define);

  // Frames' locals come from a stack of Variants owned by the interpreter.
  std::vector<Variant> varStack_;
  std::vector<Variant*> ptrStack_;
  size_t sp_ = 0;

  GlobalStore globals_;
  std::vector<uint8_t> globalConst_;  // bytes, not bits: read on every assignment
  std::unordered_map<std::string, NameEntry> names_;
  std::deque<ProcSlot> procSlots_;
  std::vector<std::shared_ptr<ClassDef>> classes_;
  std::vector<Module> modules_;
  std::unordered_map<std::string, std::unordered_map<std::string, NameEntry>> private_;
  struct Retired {
    std::vector<std::shared_ptr<Program>> programs;
    std::vector<std::shared_ptr<const std::string>> sources;
    std::vector<int> slots;
    std::vector<ProcSlot*> procs;
  };
  std::vector<Retired> retired_;
  std::vector<std::shared_ptr<Program>> failedPrograms_;
  std::vector<int> freeSlots_;
  std::vector<ProcSlot*> freeProcSlots_;
  std::unordered_map<std::string, ObjectFactory> progIds_;
  ObjRef errObj_;
  Frame* frame_ = nullptr;
  std::string curModule_;
  const std::string* curSource_ = nullptr;
  std::unordered_map<const std::string*, std::string> fileNames_;  // module text -> file it came from
  std::string fileOf(const std::string* source) const {
    auto it = fileNames_.find(source);
    return it == fileNames_.end() ? std::string() : it->second;
  }
  bool optionExplicit_ = false;

  // Bumped whenever a global name may have appeared, so dynamic names look again.
  uint32_t namesEpoch_ = 1;
  int depth_ = 0, maxDepth_ = 2000;
  ptrdiff_t nativeStackLimit_ = 3 * 1024 * 1024;
  const char* stackBase_ = nullptr;
  int32_t budget_ = 1024;
  int64_t stepLimit_ = -1, stepsUsed_ = 0;
  bool hasDeadline_ = false;
  std::chrono::steady_clock::time_point deadline_;
  std::atomic<bool> interrupted_{false};
  int runDepth_ = 0;

 public:
  // RAII for a host entry point: installs this interpreter as the thread's current one.
  struct Entry {
    Interp& in;
    Interp* saved;
    const char* savedBase;
    explicit Entry(Interp& i);
    ~Entry();
  };
};

// The interpreter active on this thread (for coercions that need default members).
Interp* currentInterp();

// Script class definition and instances.
struct ClassDef {
  std::string name, display;
  struct Member {
    std::string name;
    int field = -1;
    ProcDef *get = nullptr, *let = nullptr, *set = nullptr, *method = nullptr;
    bool isPublic = true;
  };
  std::vector<Member> members;  // member id = index + 1
  std::unordered_map<std::string, int> index;
  std::vector<DimItem*> fieldDims;
  int defaultMember = -1;  // member id
  ProcDef *init = nullptr, *term = nullptr;
  Interp* interp = nullptr;            // cleared by reset: no Class_Terminate after that
  std::shared_ptr<Program> keepAlive;  // the code of the methods
};

class Instance : public Object {
 public:
  explicit Instance(std::shared_ptr<ClassDef> c) : cls(c.get()), def(std::move(c)), fields(cls->fieldDims.size()) {}
  std::string typeName() const override { return cls->display; }
  int memberId(std::string_view lowerName) override;
  void invoke(Interp& in, int id, CallKind kind, Args args, Variant& result) override;
  void lastReleased() override;
  const void* classKey() const override { return cls; }
  ClassDef* cls;
  std::shared_ptr<ClassDef> def;
  std::vector<Variant> fields;
  bool terminated = false;
};

// Makes a std::string from a numeric-or-string argument.
std::string argString(const Variant& v);

}  // namespace quillon::vbs
