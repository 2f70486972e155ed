#include "interp.h"

#include <cmath>

#include "convert.h"
#include "parser.h"
#include "resolver.h"
#include "interp_internal.h"

namespace quillon::vbs {

namespace {
thread_local Interp* t_current = nullptr;
constexpr size_t kStackSlots = 1 << 15;

const char* frameAddress() { return static_cast<const char*>(__builtin_frame_address(0)); }

Variant typedInt(int64_t v, bool wantLong) {
  if (!wantLong && v >= -32768 && v <= 32767) return Variant::integer(static_cast<int16_t>(v));
  if (v >= INT32_MIN && v <= INT32_MAX) return Variant::lng(static_cast<int32_t>(v));
  return Variant::dbl(static_cast<double>(v));
}
}  // namespace

Interp* currentInterp() { return t_current; }

void linkProcs(const std::shared_ptr<Program>& prog) {
  for (auto& p : prog->procs) p->program = prog;
  for (auto& c : prog->classes)
    for (auto& p : c->procs) p->program = prog;
}

Variant objectDefaultValue(Object* o) {
  Interp* in = t_current;
  if (!in) raise(err::NoMember);
  return in->defaultValue(o);
}

Interp::Entry::Entry(Interp& i) : in(i), saved(t_current), savedBase(i.stackBase_) {
  t_current = &i;
  if (!i.stackBase_) i.stackBase_ = frameAddress();
}
Interp::Entry::~Entry() {
  t_current = saved;
  in.stackBase_ = savedBase;
}

std::string argString(const Variant& v) { return toString(v); }

void registerRuntimeObjects(Interp& in);
Object* makeErrObject();

Interp::Interp() : varStack_(kStackSlots), ptrStack_(kStackSlots) {
  errObj_ = ObjRef(makeErrObject());
  reset();
}

Interp::~Interp() {
  Entry e(*this);
  globals_.clear();
}

void Interp::reset() {
  Entry e(*this);
  // Release script values before the code that defines their classes.
  GlobalStore old;
  old.swap(globals_);
  old.forEach([](Variant& v) { v = Variant(); });
  old.clear();
  names_.clear();
  globalConst_.clear();
  procSlots_.clear();
  for (auto& c : classes_) c->interp = nullptr;
  modules_.clear();
  private_.clear();
  retired_.clear();
  failedPrograms_.clear();
  fileNames_.clear();
  freeSlots_.clear();
  freeProcSlots_.clear();
  classes_.clear();
  progIds_.clear();
  clearErr();
  optionExplicit_ = false;
  registerRuntimeObjects(*this);
  int errSlot = defineGlobal("err", true);
  globals_[static_cast<size_t>(errSlot)] = Variant::object(errObj_.get());
}

int Interp::defineGlobal(const std::string& name, bool isConst) { return defineIn(names_, name, isConst); }

void Interp::addNamedObject(const std::string& name, Object* o, bool globalMembers,
                            const std::vector<std::string>& memberNames) {
  ++namesEpoch_;
  int slot = defineGlobal(lower(name), true);
  globals_[static_cast<size_t>(slot)] = Variant::object(o);
  if (globalMembers) {
    for (auto& m : memberNames) {
      std::string l = lower(m);
      int id = o->memberId(l);
      if (id < 0) continue;
      NameEntry e;
      e.kind = NameEntry::HostMember;
      e.obj = ObjRef(o);
      e.memberId = id;
      names_[l] = std::move(e);
    }
  }
}

const NameEntry* Interp::lookupIn(const std::string& module, const std::string& n) const {
  if (!private_.empty()) {
    auto m = private_.find(module);
    if (m != private_.end()) {
      auto it = m->second.find(n);
      if (it != m->second.end()) return &it->second;
    }
  }
  auto it = names_.find(n);
  return it == names_.end() ? nullptr : &it->second;
}

const NameEntry* Interp::lookupOwn(const std::string& module, const std::string& n) const {
  auto m = private_.find(module);
  const auto& table = m == private_.end() ? names_ : m->second;
  auto it = table.find(n);
  return it == table.end() ? nullptr : &it->second;
}

std::unordered_map<std::string, NameEntry>& Interp::namesFor(const std::string& module) {
  auto m = private_.find(module);
  return m == private_.end() ? names_ : m->second;
}

int Interp::defineGlobalIn(const std::string& module, const std::string& name, bool isConst) {
  return defineIn(namesFor(module), name, isConst);
}

int Interp::defineIn(std::unordered_map<std::string, NameEntry>& table, const std::string& name, bool isConst) {
  auto it = table.find(name);
  if (it != table.end() && it->second.kind == NameEntry::Var) return it->second.slot;
  ++namesEpoch_;
  int slot;
  if (!freeSlots_.empty()) {  // slots of a dropped module whose code is gone
    slot = freeSlots_.back();
    freeSlots_.pop_back();
    globals_[static_cast<size_t>(slot)] = Variant();
    globalConst_[static_cast<size_t>(slot)] = isConst;
  } else {
    slot = static_cast<int>(globals_.size());
    globals_.emplace_back();
    globalConst_.push_back(isConst);
  }
  NameEntry e;
  e.kind = NameEntry::Var;
  e.slot = slot;
  e.isConst = isConst;
  table[name] = std::move(e);
  return slot;
}

ProcSlot* Interp::newProcSlot(const std::string& name, ProcDef* def) {
  if (!freeProcSlots_.empty()) {
    ProcSlot* p = freeProcSlots_.back();
    freeProcSlots_.pop_back();
    *p = ProcSlot{name, def};
    return p;
  }
  procSlots_.push_back(ProcSlot{name, def});
  return &procSlots_.back();
}

void Interp::declareModule(const std::string& name) { private_.try_emplace(name); }

void Interp::dropModule(const std::string& name) {
  auto it = private_.find(name);
  if (it == private_.end()) return;
  Entry guard(*this);
  auto names = std::move(it->second);
  private_.erase(it);
  Retired r;
  for (auto& [n, e] : names) {
    if (e.kind == NameEntry::Var) r.slots.push_back(e.slot);
    else if (e.kind == NameEntry::Proc) r.procs.push_back(e.proc);
  }
  for (auto m = modules_.begin(); m != modules_.end();) {
    if (m->name == name) {
      r.programs.push_back(m->program);
      r.sources.push_back(m->source);
      m = modules_.erase(m);
    } else {
      ++m;
    }
  }
  // Its classes live on only in their objects.
  std::erase_if(classes_, [&](const std::shared_ptr<ClassDef>& c) {
    for (auto& p : r.programs) if (c->keepAlive == p) return true;
    return false;
  });
  names.clear();
  // Releasing the values may run Class_Terminate code of the module: its code is still held.
  for (int slot : r.slots) globals_[static_cast<size_t>(slot)] = Variant();
  retired_.push_back(std::move(r));
}

void Interp::collectRetired() {
  for (auto r = retired_.begin(); r != retired_.end();) {
    bool unused = true;
    for (auto& p : r->programs) if (p.use_count() > 1) unused = false;
    if (!unused) { ++r; continue; }
    for (auto& s : r->sources) fileNames_.erase(s.get());
    for (ProcSlot* p : r->procs) {
      *p = ProcSlot{};
      freeProcSlots_.push_back(p);
    }
    for (int slot : r->slots) {
      globals_[static_cast<size_t>(slot)] = Variant();
      freeSlots_.push_back(slot);
    }
    r = retired_.erase(r);
  }
}

ProcDef* Interp::findProc(const std::string& n) const {
  const NameEntry* e = lookupName(n);
  return e && e->kind == NameEntry::Proc ? e->proc->def : nullptr;
}

std::vector<ProcDef*> Interp::moduleProcs(const std::string& module) const {
  std::vector<ProcDef*> out;
  for (auto& m : modules_) {
    if (m.name != module) continue;
    for (auto& p : m.program->procs) {
      const NameEntry* e = lookupIn(module, p->name);
      if (e && e->kind == NameEntry::Proc && e->proc->def == p.get()) out.push_back(p.get());
    }
  }
  return out;
}

void Interp::fillSourceLine(ScriptError& e) const {
  if (!curSource_ || e.line <= 0) return;
  const std::string& s = *curSource_;
  size_t pos = 0;
  for (int l = 1; l < e.line && pos != std::string::npos; ++l) {
    pos = s.find('\n', pos);
    if (pos != std::string::npos) ++pos;
  }
  if (pos == std::string::npos || pos > s.size()) return;
  size_t end = s.find('\n', pos);
  std::string line = s.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  e.sourceLine = line;
}

void Interp::setErr(const ScriptError& e) {
  err.number = e.number;
  err.description = e.description;
  err.source = e.source.empty() ? "Microsoft VBScript runtime error" : e.source;
  err.line = e.line;
  err.column = e.column;
  err.sourceLine = e.sourceLine;
  err.helpFile = e.helpFile;
  err.helpContext = e.helpContext;
}

void Interp::noteResumedError(ScriptError& e, const Stmt& s) {
  if (e.number == err::Timeout) throw;
  e.line = s.line;
  e.column = s.col;
  if (e.source.empty()) e.source = "Microsoft VBScript runtime error";
  setErr(e);
}

void Interp::addCode(const std::string& code, const std::string& moduleName, const std::string& fileName) {
  Entry guard(*this);
  auto src = std::make_shared<const std::string>(code);
  if (!fileName.empty()) fileNames_[src.get()] = fileName;
  auto savedSrc = curSource_;
  auto savedMod = curModule_;
  curSource_ = src.get();
  curModule_ = moduleName;
  struct Restore {
    Interp& in;
    const std::string* s;
    std::string m;
    ~Restore() { in.curSource_ = s; in.curModule_ = m; }
  } restore{*this, savedSrc, savedMod};
  std::shared_ptr<Program> prog;
  ++namesEpoch_;  // its procedures and classes are new names
  try {
    prog = parseProgram(code);
    linkProcs(prog);
    Resolver r(*this, prog->optionExplicit);
    r.resolveProgram(*prog, moduleName, src, nullptr);
  } catch (ScriptError& e) {
    fillSourceLine(e);
    e.file = fileName;
    if (!fileName.empty()) fileNames_.erase(src.get());
    // Names registered before the error still point into this code: it must stay.
    if (prog) failedPrograms_.push_back(prog);
    throw;
  }
  for (auto& c : classes_) if (!c->keepAlive) c->keepAlive = prog;
  modules_.push_back(Module{moduleName, src, prog});
  Program& p = *modules_.back().program;
  Frame f;
  runTopLevel(p, f, moduleName, src);
}

void Interp::runTopLevel(Program& p, Frame& f, const std::string&, std::shared_ptr<const std::string>) {
  Slots slots(varStack_, ptrStack_, sp_, p.extraSlots);
  f.slots = slots.ptrs;
  f.nslots = p.extraSlots;
  Frame* saved = frame_;
  frame_ = &f;
  struct Restore { Interp& in; Frame* f; ~Restore() { in.frame_ = f; } } r{*this, saved};
  defineConsts(p.top, f);
  execBlock(p.top, f);
}

// Constants of the code are known before it runs: a Const later in the code, or in a
// block that never runs, is already defined. Their values are literals.
void Interp::defineConsts(Block& b, Frame& f) {
  for (auto& s : b) {
    switch (s->kind) {
      case SK::Const:
        for (auto& d : s->dims) {
          const Expr& v = *d.bounds[0];
          if (v.kind == EK::Literal && d.target && d.target->bind == Bind::Global)
            globals_[static_cast<size_t>(d.target->slot)] = v.value;
        }
        break;
      case SK::If: for (auto& bl : s->blocks) defineConsts(bl, f); break;
      case SK::Select: for (auto& c : s->cases) defineConsts(c.body, f); break;
      case SK::For: case SK::ForEach: case SK::Do: case SK::While: case SK::With: defineConsts(s->body, f); break;
      default: break;
    }
  }
}

// ---------------------------------------------------------------------------
// Limits

void Interp::step() {
  if (--budget_ <= 0) checkLimits();
}

void Interp::checkLimits() {
  budget_ = 1024;
  if (stepLimit_ >= 0) {
    stepsUsed_ += 1024;
    if (stepsUsed_ > stepLimit_) raise(err::Timeout);
  }
  if (interrupted_.exchange(false)) raise(err::Timeout);
  if (hasDeadline_ && std::chrono::steady_clock::now() >= deadline_) raise(err::Timeout);
}

// ---------------------------------------------------------------------------
// Statements

Flow Interp::execBlock(Block& b, Frame& f) {
  for (auto& sp : b) {
    Stmt& s = *sp;
    Flow r;
    try {
      if (--budget_ <= 0) checkLimits();
      r = exec(s, f);
    } catch (ScriptError& e) {
      if (e.line == 0) {
        e.line = s.line;
        e.column = s.col;
        if (e.source.empty()) e.source = "Microsoft VBScript runtime error";
        fillSourceLine(e);
        e.module = f.proc ? f.proc->moduleName : curModule_;
        e.file = fileOf(curSource_);
      }
      if (!f.resumeNext || e.number == err::Timeout) throw;
      setErr(e);
      continue;
    }
    if (r != Flow::Normal) return r;
  }
  return Flow::Normal;
}

Flow Interp::exec(Stmt& s, Frame& f) {
  switch (s.kind) {
    case SK::Assign: execAssign(s, f, false); return Flow::Normal;
    case SK::Set: execAssign(s, f, true); return Flow::Normal;
    case SK::CallStmt: execCallStmt(*s.target, f); return Flow::Normal;
    case SK::Dim: execDim(s, f); return Flow::Normal;
    case SK::ReDim: execReDim(s, f); return Flow::Normal;
    case SK::Erase: {
      Variant* v = lvalue(*s.dims[0].target, f);
      if (!v || !v->isArray()) raise(err::TypeMismatch);
      ArrayData* a = v->arrMut();
      if (a->fixed) for (auto& e : a->data) e = Variant();
      else { a->data.clear(); a->bounds.clear(); }
      return Flow::Normal;
    }
    case SK::Const:
      for (auto& d : s.dims) {
        Variant val = eval(*d.bounds[0], f);
        Expr& t = *d.target;
        if (t.bind == Bind::Global) globals_[static_cast<size_t>(t.slot)] = std::move(val);
        else if (Variant* p = lvalue(t, f)) *p = std::move(val);
      }
      return Flow::Normal;
    case SK::If: {
      size_t n = s.conds.size();
      for (size_t i = 0; i < n; ++i) {
        bool c;
        if (f.resumeNext) {
          // With Resume Next an error in the condition falls into the branch.
          c = true;
          resumeHead(s, [&] {
            Variant v = eval(*s.conds[i], f);
            c = !v.isNull() && toBool(derefDefault(this, v));
          });
        } else {
          Variant v = eval(*s.conds[i], f);
          c = v.type() == VT::Boolean ? v.i32() != 0 : (!v.isNull() && toBool(derefDefault(this, v)));
        }
        if (c) return execBlock(s.blocks[i], f);
      }
      if (s.hasElse) return execBlock(s.blocks.back(), f);
      return Flow::Normal;
    }
    case SK::Select: {
      Variant v = eval(*s.value, f);
      for (auto& c : s.cases) {
        bool hit = c.isElse;
        for (size_t i = 0; !hit && i < c.values.size(); ++i) {
          auto test = [&] {
            Variant w = eval(*c.values[i], f);
            Expr& ce = *c.values[i];
            bool lit = ce.kind == EK::Literal || (ce.kind == EK::Unary && ce.a && ce.a->kind == EK::Literal);
            hit = compareValues(v, w, s.value->kind == EK::Literal, lit) == 0;
          };
          // With Resume Next a Case value that fails is taken.
          if (f.resumeNext) hit = !resumeHead(s, test) || hit;
          else test();
        }
        if (hit) return execBlock(c.body, f);
      }
      return Flow::Normal;
    }
    case SK::For: return execFor(s, f);
    case SK::ForEach: return execForEach(s, f);
    case SK::Do: {
      for (;;) {
        // With Resume Next a failing condition goes on with the next statement:
        // into the body at the top of the loop, out of the loop at its end.
        auto leave = [&](LoopCond kind, bool onError) {
          bool out = onError;
          auto test = [&] {
            Variant c = eval(*s.value, f);
            bool b = !c.isNull() && toBool(derefDefault(this, c));
            out = kind == LoopCond::While ? !b : b;
          };
          if (f.resumeNext) resumeHead(s, test);
          else test();
          return out;
        };
        if (s.pre != LoopCond::None && leave(s.pre, false)) break;
        Flow r = execBlock(s.body, f);
        if (r == Flow::ExitDo) break;
        if (r != Flow::Normal) return r;
        if (s.post != LoopCond::None && leave(s.post, true)) break;
        step();
      }
      return Flow::Normal;
    }
    case SK::While: {
      for (;;) {
        bool go = true;  // a failing condition under Resume Next enters the body
        auto test = [&] {
          Variant c = eval(*s.value, f);
          go = !c.isNull() && toBool(derefDefault(this, c));
        };
        if (f.resumeNext) resumeHead(s, test);
        else test();
        if (!go) break;
        Flow r = execBlock(s.body, f);
        if (r != Flow::Normal) return r;
        step();
      }
      return Flow::Normal;
    }
    case SK::Exit:
      switch (s.exit) {
        case ExitKind::Do: return Flow::ExitDo;
        case ExitKind::For: return Flow::ExitFor;
        default:
          clearErr();  // Exit Sub/Function/Property clears Err, as documented
          return Flow::ExitProc;
      }
    case SK::With: {
      Variant& slot = *f.slots[s.withSlot];
      if (f.resumeNext) resumeHead(s, [&] { slot = eval(*s.value, f); });  // the body runs all the same
      else slot = eval(*s.value, f);
      struct Clear { Variant& v; ~Clear() { v = Variant(); } } clear{slot};
      return execBlock(s.body, f);
    }
    case SK::OnErrorResume: f.resumeNext = true; clearErr(); return Flow::Normal;
    case SK::OnErrorGoto0: f.resumeNext = false; clearErr(); return Flow::Normal;
    case SK::Nop: return Flow::Normal;
  }
  return Flow::Normal;
}

// A loop head that failed under Resume Next: the body runs once, then its Next fails
// with `nextError` and the loop ends.
Flow Interp::runFailedLoopOnce(Stmt& s, Frame& f, int nextError) {
  Flow r = execBlock(s.body, f);
  if (r == Flow::ExitFor || r == Flow::Normal) {
    resumeHead(s, [&] { raise(nextError); });
    return Flow::Normal;
  }
  return r;
}

Flow Interp::execFor(Stmt& s, Frame& f) {
  Variant from, to, stp;
  Variant* var = nullptr;
  auto head = [&] {
    from = numericValue(eval(*s.value, f));
    to = numericValue(eval(*s.extra, f));
    stp = s.step ? numericValue(eval(*s.step, f)) : Variant::integer(1);
    if (from.isNull() || to.isNull() || stp.isNull()) raise(err::InvalidNull);
    var = lvalue(*s.target, f);
    if (!var) raise(err::IllegalAssignment);
  };
  if (!f.resumeNext) head();
  else if (!resumeHead(s, head)) return runFailedLoopOnce(s, f, err::ForLoopNotInit);
  if (from.isIntegral() && to.isIntegral() && stp.isIntegral()) {
    bool wantLong = from.type() == VT::Long || to.type() == VT::Long || stp.type() == VT::Long;
    int64_t i = from.isEmpty() ? 0 : from.i32();
    int64_t end = to.isEmpty() ? 0 : to.i32();
    int64_t st = stp.isEmpty() ? 0 : stp.i32();
    *var = typedInt(i, wantLong);
    const bool stable = s.target->kind == EK::Ident && (s.target->bind == Bind::Local || s.target->bind == Bind::Global);
    // A body of one integer assignment to a variable runs without the statement machinery;
    // any other value, and every limit check, takes the ordinary path.
    Stmt* only = s.body.size() == 1 && s.body[0]->kind == SK::Assign ? s.body[0].get() : nullptr;
    Variant* dst = nullptr;
    if (only && only->target->kind == EK::Ident) {
      Expr& t = *only->target;
      if (only->intTree < 0) only->intTree = isIntTree(*only->value) ? 1 : 0;
      if (only->intTree && t.bind == Bind::Local) dst = f.slots[t.slot];
      else if (only->intTree && t.bind == Bind::Global && !globalConst_[static_cast<size_t>(t.slot)])
        dst = &globals_[static_cast<size_t>(t.slot)];
    }
    for (;;) {
      if (st >= 0 ? i > end : i < end) break;
      int32_t value;
      bool isLong;
      Flow r;
      if (dst && budget_ > 2 && evalInt(*only->value, f, value, isLong)) {
        --budget_;
        dst->setInt(isLong ? VT::Long : VT::Integer, value);
        r = Flow::Normal;
      } else {
        r = execBlock(s.body, f);
      }
      if (r == Flow::ExitFor) break;
      if (r != Flow::Normal) return r;
      step();
      // A local's or global's address does not change while the loop runs.
      Variant* v = stable ? var : lvalue(*s.target, f);
      if (v->type() == VT::Integer || v->type() == VT::Long) i = v->i32();
      else i = static_cast<int64_t>(toDouble(*v));
      i += st;
      if (!wantLong && i >= -32768 && i <= 32767) v->setInt(VT::Integer, static_cast<int32_t>(i));
      else if (i >= INT32_MIN && i <= INT32_MAX) { v->setInt(VT::Long, static_cast<int32_t>(i)); wantLong = true; }
      else *v = Variant::dbl(static_cast<double>(i));
    }
    return Flow::Normal;
  }
  double i = toDouble(from), end = toDouble(to), st = toDouble(stp);
  VT t = from.type() == VT::Currency || to.type() == VT::Currency ? VT::Currency : VT::Double;
  auto store = [&](Variant* v, double d) {
    if (t == VT::Currency) *v = Variant::currency(static_cast<int64_t>(bankersRound(d * 10000)));
    else *v = Variant::dbl(d);
  };
  store(var, i);
  for (;;) {
    if (st >= 0 ? i > end : i < end) break;
    Flow r = execBlock(s.body, f);
    if (r == Flow::ExitFor) break;
    if (r != Flow::Normal) return r;
    step();
    Variant* v = lvalue(*s.target, f);
    i = toDouble(*v) + st;
    store(v, i);
  }
  return Flow::Normal;
}

Flow Interp::execForEach(Stmt& s, Frame& f) {
  std::vector<Variant> items;
  auto head = [&] {
    Variant coll = eval(*s.value, f);
    if (coll.isArray()) {
      items = coll.arr()->data;
    } else if (coll.isObject()) {
      if (!coll.obj()) raise(err::ObjectRequired);
      if (!coll.obj()->enumerate(*this, items)) raise(err::NotCollection);
    } else {
      raise(err::NotCollection);
    }
  };
  if (!f.resumeNext) head();
  else if (!resumeHead(s, head)) return runFailedLoopOnce(s, f, err::NotCollection);
  for (auto& item : items) {
    assignTo(*s.target, f, item, item.isObject());
    Flow r = execBlock(s.body, f);
    if (r == Flow::ExitFor) break;
    if (r != Flow::Normal) return r;
    step();
  }
  return Flow::Normal;
}

void Interp::makeArray(Variant& target, const std::vector<int32_t>& upper, bool fixed, bool preserve) {
  int64_t total = 1;
  for (int32_t u : upper) {
    if (u < -1) raise(err::Subscript);
    total *= static_cast<int64_t>(u) + 1;
    if (total > kMaxArrayElements) raise(err::OutOfMemory);
  }
  auto* a = new ArrayData();
  Variant nv = Variant::array(a);
  a->fixed = fixed;
  for (int32_t u : upper) a->bounds.emplace_back(0, u + 1);
  a->data.resize(static_cast<size_t>(total));
  if (preserve && target.isArray()) {
    ArrayData* old = target.arr();
    if (!old->bounds.empty()) {
      if (old->bounds.size() != upper.size()) raise(err::Subscript);
      for (size_t d = 0; d + 1 < upper.size(); ++d)
        if (old->bounds[d].second != a->bounds[d].second) raise(err::Subscript);
      // Only the last dimension may change, so elements keep their flat position.
      size_t keep = std::min(old->data.size(), a->data.size());
      for (size_t k = 0; k < keep; ++k) a->data[k] = old->data[k];
    }
  }
  target = std::move(nv);
}

void Interp::execDim(Stmt& s, Frame& f) {
  for (auto& d : s.dims) {
    if (!d.isArray) continue;
    Variant* v = lvalue(*d.target, f);
    if (!v) continue;
    std::vector<int32_t> upper;
    for (auto& b : d.bounds) upper.push_back(toLong(eval(*b, f)));
    if (upper.empty()) {
      auto* a = new ArrayData();
      *v = Variant::array(a);
    } else {
      makeArray(*v, upper, true, false);
    }
  }
}

void Interp::execReDim(Stmt& s, Frame& f) {
  for (auto& d : s.dims) {
    std::vector<int32_t> upper;
    for (auto& b : d.bounds) upper.push_back(toLong(eval(*b, f)));
    if (d.target->kind == EK::Ident && d.target->bind == Bind::Field) {
      Variant& fld = static_cast<Instance*>(f.me)->fields[static_cast<size_t>(d.target->slot)];
      if (fld.isArray() && fld.arr()->fixed) raise(err::ArrayFixed);
      makeArray(fld, upper, false, s.preserve);
      continue;
    }
    Variant* v = lvalue(*d.target, f);
    if (!v) raise(err::TypeMismatch);
    if (v->isArray() && v->arr()->fixed) raise(err::ArrayFixed);
    makeArray(*v, upper, false, s.preserve);
  }
}

void Interp::execAssign(Stmt& s, Frame& f, bool isSet) {
  Expr& t = *s.target;
  if (!isSet && t.kind == EK::Ident && (t.bind == Bind::Local || t.bind == Bind::Global)) {
    Variant* p = t.bind == Bind::Local ? f.slots[t.slot] : &globals_[static_cast<size_t>(t.slot)];
    if (t.bind == Bind::Global && globalConst_[static_cast<size_t>(t.slot)]) raise(err::IllegalAssignment);
    Expr& v = *s.value;
    if (s.intTree < 0) s.intTree = isIntTree(v) ? 1 : 0;
    if (s.intTree) {
      int32_t r;
      bool isLong;
      if (evalInt(v, f, r, isLong)) {
        p->setInt(isLong ? VT::Long : VT::Integer, r);
        return;
      }
    }
    // s = s & a & b ... appends in place when the string is not shared.
    if (v.kind == EK::Binary && v.op == Op::Concat && p->isString()) {
      Expr* leftmost = &v;
      Expr* rights[8];
      int nr = 0;
      while (leftmost->kind == EK::Binary && leftmost->op == Op::Concat && nr < 8) {
        rights[nr++] = leftmost->b.get();
        leftmost = leftmost->a.get();
      }
      if (leftmost->kind == EK::Ident && leftmost->bind == t.bind && leftmost->slot == t.slot) {
        // Operands are evaluated first: they may read the variable itself.
        Variant vals[8];
        for (int k = nr - 1; k >= 0; --k) vals[k] = eval(*rights[k], f);
        for (int k = nr - 1; k >= 0; --k) {
          const Variant& rhs = vals[k];
          if (!p->isString()) {  // an operand changed the variable's type
            *p = binaryOp(Op::Concat, *p, rhs);
            continue;
          }
          if (rhs.isString()) {
            checkLength(p->s().size() + rhs.s().size());
            p->strMut()->append(rhs.s());
          } else if (!rhs.isNull()) {
            std::string t = toString(derefDefault(this, rhs));
            checkLength(p->s().size() + t.size());
            p->strMut()->append(t);
          }
        }
        return;
      }
    }
    Variant val = eval(v, f);
    if (val.isObject()) val = derefDefault(this, val);
    *p = std::move(val);
    return;
  }
  Variant val = eval(*s.value, f);
  if (isSet) {
    if (!val.isObject()) raise(err::ObjectRequired);
  } else if (val.isObject()) {
    val = derefDefault(this, val);
  }
  assignTo(t, f, std::move(val), isSet);
}

void Interp::execCallStmt(Expr& e, Frame& f) {
  if (e.kind == EK::Call || e.kind == EK::Member) {
    evalCall(e, f, CallKind::Call);
    return;
  }
  if (e.kind == EK::Ident) {
    if (e.bind == Bind::Dynamic) {
      resolveDynamic(e, false);
      if (e.bind != Bind::Dynamic) return execCallStmt(e, f);
      if (e.slot >= 0 && e.slot < f.nslots && !lookupName(e.name)) {
        Variant v = *f.slots[e.slot];
        if (v.isObject() && v.obj()) {
          Variant r;
          v.obj()->invoke(*this, 0, CallKind::Call, Args{}, r);
        }
        return;
      }
    }
    switch (e.bind) {
      case Bind::Proc: case Bind::ClassMember: case Bind::Builtin: case Bind::Dynamic:
        evalIdent(e, f, Args{}, true);
        return;
      case Bind::Local: case Bind::Global: case Bind::Field: {
        // A variable named alone as a statement: an object in it is called.
        Variant v = evalIdent(e, f, Args{}, false);
        if (v.isObject() && v.obj()) {
          Variant r;
          v.obj()->invoke(*this, 0, CallKind::Call, Args{}, r);
          return;
        }
        break;
      }
      default: break;
    }
  }
  raise(err::TypeMismatch);
}

}  // namespace quillon::vbs
