// Binds every name in a parsed module to a slot (local, global, field), a procedure,
// a class member or a built-in, so execution never searches by name in hot paths.
#include "resolver.h"

#include <unordered_set>

#include "convert.h"
#include "errors.h"

namespace quillon::vbs {

namespace {
[[noreturn]] void compileFail(int number, int line, int col) {
  throw ScriptError{number, errorText(number), "Microsoft VBScript compilation error", line, col, {}, {}, {}, {}, 0};
}
}  // namespace

Resolver::Resolver(Interp& in, bool explicitNames) : in_(in), module_(in.activeModule()), explicit_(explicitNames) {}

int Resolver::addSlot(const std::string& name) {
  int s = sc_->nslots++;
  if (sc_->names) sc_->names->push_back(name);
  if (!name.empty()) sc_->locals[name] = s;
  return s;
}

void Resolver::collectDims(Block& b, std::vector<DimItem*>& out, std::vector<std::string>& consts) {
  for (auto& s : b) {
    switch (s->kind) {
      case SK::Dim: for (auto& d : s->dims) out.push_back(&d); break;
      case SK::Const: for (auto& d : s->dims) consts.push_back(d.name); break;
      case SK::ReDim:
        if (!sc_ || !sc_->proc)
          for (auto& d : s->dims) if (!d.name.empty()) consts.push_back("\x01" + d.name);
        break;
      case SK::If: for (auto& bl : s->blocks) collectDims(bl, out, consts); break;
      case SK::Select: for (auto& c : s->cases) collectDims(c.body, out, consts); break;
      case SK::For: case SK::ForEach: case SK::Do: case SK::While: case SK::With:
        collectDims(s->body, out, consts);
        break;
      default: break;
    }
  }
}

void Resolver::resolveProgram(Program& p, const std::string& module, std::shared_ptr<const std::string> src,
                              Frame* execFrame) {
  module_ = module;
  auto& table = in_.namesFor(module);
  // Classes first so New and class names work anywhere in the module.
  for (auto& c : p.classes) {
    auto def = std::make_shared<ClassDef>();
    def->name = c->name;
    def->display = c->display;
    def->interp = &in_;
    for (auto& f : c->fields) {
      if (def->index.count(f.name)) compileFail(err::NameRedefined, f.dim.line, f.dim.col);
      ClassDef::Member m;
      m.name = f.name;
      m.field = static_cast<int>(def->fieldDims.size());
      m.isPublic = f.isPublic;
      def->fieldDims.push_back(f.dim.isArray ? &f.dim : nullptr);
      def->members.push_back(m);
      def->index[f.name] = static_cast<int>(def->members.size());
    }
    for (auto& pr : c->procs) {
      pr->moduleName = module;
      pr->source = src;
      // The lifetime handlers are members too: a script may call them itself.
      if (pr->name == "class_initialize") def->init = pr.get();
      if (pr->name == "class_terminate") def->term = pr.get();
      int id;
      auto it = def->index.find(pr->name);
      if (it == def->index.end()) {
        ClassDef::Member m;
        m.name = pr->name;
        m.isPublic = pr->isPublic;
        def->members.push_back(m);
        id = static_cast<int>(def->members.size());
        def->index[pr->name] = id;
      } else {
        id = it->second;
      }
      ClassDef::Member& m = def->members[static_cast<size_t>(id - 1)];
      ProcDef** target = nullptr;
      switch (pr->kind) {
        case ProcKind::Sub: case ProcKind::Function: target = &m.method; break;
        case ProcKind::PropGet: target = &m.get; break;
        case ProcKind::PropLet: target = &m.let; break;
        case ProcKind::PropSet: target = &m.set; break;
      }
      if (*target || m.field >= 0 || ((pr->kind == ProcKind::Sub || pr->kind == ProcKind::Function) && (m.get || m.let || m.set)) ||
          (pr->kind != ProcKind::Sub && pr->kind != ProcKind::Function && m.method))
        compileFail(err::NameRedefined, pr->line, pr->col);
      *target = pr.get();
      if (pr->isDefault) {
        if (def->defaultMember >= 0 && def->defaultMember != id) compileFail(1052, pr->line, pr->col);
        def->defaultMember = id;
      }
    }
    table[c->name] = NameEntry{NameEntry::Class, -1, nullptr, def.get(), {}, -1, false};
    in_.classes_.push_back(std::move(def));
  }
  // Procedures: redefinition replaces (as ExecuteGlobal may do).
  for (auto& pr : p.procs) {
    pr->moduleName = module;
    pr->source = src;
    auto it = table.find(pr->name);
    if (it != table.end() && it->second.kind == NameEntry::Proc) {
      it->second.proc->def = pr.get();
    } else {
      table[pr->name] = NameEntry{NameEntry::Proc, -1, in_.newProcSlot(pr->name, pr.get()), nullptr, {}, -1, false};
    }
  }
  // Global variables and constants of the top-level code.
  Scope top;
  std::vector<std::string> topNames;
  top.names = &topNames;
  if (execFrame && execFrame->proc) {
    // Execute inside a procedure: the code sees that procedure's locals.
    top.proc = execFrame->proc;
    top.cls = execFrame->cls;
    for (size_t i = 0; i < execFrame->proc->slotNames.size(); ++i)
      if (!execFrame->proc->slotNames[i].empty()) top.locals[execFrame->proc->slotNames[i]] = static_cast<int>(i);
    top.nslots = execFrame->nslots;
    top.execInProc = true;
  } else if (execFrame) {
    top.cls = execFrame->cls;
  }
  {
    std::vector<DimItem*> dims;
    std::vector<std::string> consts;
    collectDims(p.top, dims, consts);
    std::unordered_set<std::string> seen;
    for (DimItem* d : dims) {
      if (!seen.insert(d->name).second) compileFail(err::NameRedefined, d->line, d->col);
      if (top.execInProc && top.locals.count(d->name)) continue;
      const NameEntry* ne = in_.lookupOwn(module, d->name);
      if (ne && ne->kind != NameEntry::Var) compileFail(err::NameRedefined, d->line, d->col);
      if (!ne) in_.defineGlobalIn(module, d->name, false);
    }
    for (auto& c : consts) {
      bool isRedim = c[0] == '\x01';
      std::string name = isRedim ? c.substr(1) : c;
      if (top.execInProc && top.locals.count(name)) continue;
      const NameEntry* ne = in_.lookupOwn(module, name);
      if (!ne) in_.defineGlobalIn(module, name, !isRedim);
    }
  }
  for (auto& c : p.classes) {
    ClassDef* def = in_.lookupOwn(module, c->name)->cls;
    for (auto& pr : c->procs) resolveProc(*pr, def);
  }
  for (auto& pr : p.procs) resolveProc(*pr, nullptr);
  sc_ = &top;
  resolveBlock(p.top);
  p.extraSlots = top.nslots;
  sc_ = nullptr;
}

void Resolver::resolveProc(ProcDef& p, ClassDef* cls) {
  Scope s;
  s.proc = &p;
  s.cls = cls;
  s.names = &p.slotNames;
  p.slotNames.clear();
  sc_ = &s;
  for (auto& prm : p.params) addSlot(prm.name);
  if (p.kind == ProcKind::Function || p.kind == ProcKind::PropGet) p.resultSlot = addSlot(p.name);
  std::vector<DimItem*> dims;
  std::vector<std::string> consts;
  collectDims(p.body, dims, consts);
  for (DimItem* d : dims) {
    if (s.locals.count(d->name)) compileFail(err::NameRedefined, d->line, d->col);
    int slot = addSlot(d->name);
    if (d->isArray && !d->bounds.empty()) p.arrayDims.emplace_back(slot, d);
  }
  for (auto& c : consts) if (c[0] != '\x01' && !s.locals.count(c)) addSlot(c);
  resolveBlock(p.body);
  p.nslots = s.nslots;
  sc_ = nullptr;
}

void Resolver::resolveBlock(Block& b) {
  for (auto& s : b) resolveStmt(*s);
}

void Resolver::resolveStmt(Stmt& s) {
  switch (s.kind) {
    case SK::Assign: case SK::Set:
      resolveExpr(s.target.get(), true);
      resolveExpr(s.value.get());
      break;
    case SK::CallStmt: resolveExpr(s.target.get()); break;
    case SK::Dim:
      for (auto& d : s.dims) for (auto& e : d.bounds) resolveExpr(e.get());
      for (auto& d : s.dims) {
        if (!d.target) {
          d.target = std::make_unique<Expr>(EK::Ident, d.line, d.col);
          d.target->name = d.name;
          resolveExpr(d.target.get(), true);
        }
      }
      break;
    case SK::ReDim: case SK::Erase:
      for (auto& d : s.dims) {
        if (s.kind == SK::ReDim && d.target && d.target->kind == EK::Ident && sc_->proc && !sc_->locals.count(d.target->name) &&
            !in_.lookupIn(module_, d.target->name) && !(sc_->cls && sc_->cls->index.count(d.target->name)))
          addSlot(d.target->name);  // ReDim declares the name when it is new
        resolveExpr(d.target.get(), true);
        for (auto& e : d.bounds) resolveExpr(e.get());
      }
      break;
    case SK::Const:
      for (auto& d : s.dims) {
        resolveExpr(d.bounds[0].get());
        d.target = std::make_unique<Expr>(EK::Ident, d.line, d.col);
        d.target->name = d.name;
        resolveExpr(d.target.get(), true);
      }
      break;
    case SK::If:
      for (auto& c : s.conds) resolveExpr(c.get());
      for (auto& bl : s.blocks) resolveBlock(bl);
      break;
    case SK::Select:
      resolveExpr(s.value.get());
      for (auto& c : s.cases) {
        for (auto& v : c.values) resolveExpr(v.get());
        resolveBlock(c.body);
      }
      break;
    case SK::For:
      resolveExpr(s.target.get(), true);
      resolveExpr(s.value.get());
      resolveExpr(s.extra.get());
      if (s.step) resolveExpr(s.step.get());
      resolveBlock(s.body);
      break;
    case SK::ForEach:
      resolveExpr(s.target.get(), true);
      resolveExpr(s.value.get());
      resolveBlock(s.body);
      break;
    case SK::Do: case SK::While:
      if (s.value) resolveExpr(s.value.get());
      resolveBlock(s.body);
      break;
    case SK::With:
      resolveExpr(s.value.get());
      s.withSlot = addSlot("");
      sc_->withStack.push_back(s.withSlot);
      resolveBlock(s.body);
      sc_->withStack.pop_back();
      break;
    default: break;
  }
}

void Resolver::resolveExpr(Expr* e, bool isTarget) {
  if (!e) return;
  switch (e->kind) {
    case EK::Ident: bindName(*e, isTarget); break;
    case EK::Member:
      if (e->a) resolveExpr(e->a.get());
      else e->slot = sc_->withStack.empty() ? -1 : sc_->withStack.back();
      break;
    case EK::Call:
      resolveExpr(e->a.get(), isTarget);
      // Inside a Function its name is the result variable, but with arguments it is a
      // recursive call.
      if (!isTarget && e->a->kind == EK::Ident && e->a->bind == Bind::Local && sc_->proc && !sc_->execInProc &&
          e->a->name == sc_->proc->name && e->a->slot == sc_->proc->resultSlot && !e->args.empty()) {
        Expr& t = *e->a;
        if (sc_->cls) {
          t.bind = Bind::ClassMember;
          t.slot = sc_->cls->index[t.name];
        } else if (const NameEntry* ne = in_.lookupIn(module_, t.name); ne && ne->kind == NameEntry::Proc) {
          t.bind = Bind::Proc;
          t.proc = ne->proc;
        }
      }
      for (auto& a : e->args) resolveExpr(a.get());
      break;
    case EK::Binary: case EK::Compare: case EK::Unary: case EK::Paren:
      resolveExpr(e->a.get());
      resolveExpr(e->b.get());
      break;
    case EK::Me:
      if (!sc_->cls) compileFail(1037, e->line, e->col);
      break;
    default: break;
  }
}

void Resolver::bindName(Expr& e, bool isTarget) {
  (void)isTarget;
  auto it = sc_->locals.find(e.name);
  if (it != sc_->locals.end() && sc_->implicitLocals.count(e.name)) {
    // An undeclared name stays dynamic: a global defined later (an included file) takes it.
    e.bind = Bind::Dynamic;
    e.slot = it->second;
    e.explicitName = explicit_;
    return;
  }
  if (it != sc_->locals.end()) {
    e.bind = Bind::Local;
    e.slot = it->second;
    return;
  }
  if (sc_->cls) {
    auto m = sc_->cls->index.find(e.name);
    if (m != sc_->cls->index.end()) {
      const ClassDef::Member& mem = sc_->cls->members[static_cast<size_t>(m->second - 1)];
      if (mem.field >= 0) { e.bind = Bind::Field; e.slot = mem.field; }
      else { e.bind = Bind::ClassMember; e.slot = m->second; }
      return;
    }
  }
  if (const NameEntry* ne = in_.lookupIn(module_, e.name)) {
    switch (ne->kind) {
      case NameEntry::Var: e.bind = Bind::Global; e.slot = ne->slot; return;
      case NameEntry::Proc: e.bind = Bind::Proc; e.proc = ne->proc; return;
      default: e.bind = Bind::Dynamic; e.slot = -1; e.explicitName = explicit_; return;
    }
  }
  if (const Builtin* b = findBuiltin(e.name)) {
    e.bind = Bind::Builtin;
    e.builtin = b;
    if (b->isConst) {
      e.bind = Bind::Const;
      Args none;
      e.value = constantValue(e.name);
      (void)none;
    }
    return;
  }
  e.bind = Bind::Dynamic;
  e.slot = -1;
  e.explicitName = explicit_;
  // Without Option Explicit a new name inside a procedure is a local of it.
  if (!explicit_ && sc_->proc && !sc_->execInProc) {
    e.slot = addSlot(e.name);
    sc_->implicitLocals.insert(e.name);
  }
}

}  // namespace quillon::vbs

namespace quillon::vbs {

void Resolver::resolveLoneExpr(Expr& e, Frame* f, int& extraSlots) {
  Scope s;
  std::vector<std::string> names;
  s.names = &names;
  if (f) {
    s.cls = f->cls;
    s.nslots = f->nslots;
    if (f->proc) {
      s.proc = f->proc;
      s.execInProc = true;
      for (size_t i = 0; i < f->proc->slotNames.size(); ++i)
        if (!f->proc->slotNames[i].empty()) s.locals[f->proc->slotNames[i]] = static_cast<int>(i);
    }
  }
  sc_ = &s;
  resolveExpr(&e);
  extraSlots = s.nslots;
  sc_ = nullptr;
}

}  // namespace quillon::vbs
