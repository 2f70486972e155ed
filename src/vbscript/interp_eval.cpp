// Expression evaluation, calls and assignment targets.
#include <cmath>

#include "convert.h"
#include "interp.h"
#include "interp_internal.h"
#include "parser.h"
#include "resolver.h"

namespace quillon::vbs {

namespace {
const char* frameAddress() { return static_cast<const char*>(__builtin_frame_address(0)); }

inline bool isIntTag(VT t) { return t == VT::Integer || t == VT::Long; }

size_t flatIndex(const ArrayData* a, Args args) {
  if (a->bounds.empty() || static_cast<size_t>(args.n) != a->bounds.size()) raise(err::Subscript);
  size_t idx = 0, mul = 1;
  for (int d = 0; d < args.n; ++d) {
    const Variant& iv = args[d];
    int32_t i = isIntTag(iv.type()) ? iv.i32() : toLong(iv);
    int64_t off = static_cast<int64_t>(i) - a->bounds[static_cast<size_t>(d)].first;
    if (off < 0 || off >= a->bounds[static_cast<size_t>(d)].second) raise(err::Subscript);
    idx += static_cast<size_t>(off) * mul;
    mul *= static_cast<size_t>(a->bounds[static_cast<size_t>(d)].second);
  }
  return idx;
}
}  // namespace

void Interp::buildArgs(std::vector<ExprP>& exprs, Frame& f, ArgBuf& b, int extra) {
  int n = static_cast<int>(exprs.size());
  Variant* tmp;
  Variant** ptr = b.ptr;
  if (n + extra > ArgBuf::kInline) {
    b.heapTmp.reset(new Variant[static_cast<size_t>(n + extra)]);
    b.heapPtr.reset(new Variant*[static_cast<size_t>(n + extra)]);
    tmp = b.heapTmp.get();
    ptr = b.heapPtr.get();
  } else {
    tmp = b.useInline(n + extra);
  }
  for (int i = 0; i < n; ++i) {
    Expr& e = *exprs[static_cast<size_t>(i)];
    Variant* p = nullptr;
    if (e.kind == EK::Ident && e.bind != Bind::Builtin && e.bind != Bind::Proc && e.bind != Bind::ClassMember &&
        e.bind != Bind::Const) {
      if (e.bind == Bind::Global && globalConst_[static_cast<size_t>(e.slot)]) p = nullptr;
      else p = lvalue(e, f);
    }
    if (!p && e.kind == EK::Call && e.a->kind == EK::Ident && !e.args.empty() &&
        (e.a->bind == Bind::Local || e.a->bind == Bind::Global || e.a->bind == Bind::Field)) {
      // An array element passed by reference: point at the element and keep the
      // array alive for the call.
      Variant* arr = lvalue(*e.a, f);
      if (arr && arr->isArray()) {
        std::vector<Variant> idx;
        idx.reserve(e.args.size());
        for (auto& ie : e.args) idx.push_back(eval(*ie, f));
        std::vector<Variant*> ip;
        for (auto& v : idx) ip.push_back(&v);
        arr = lvalue(*e.a, f);
        if (arr && arr->isArray()) {
          Variant* el = &arrayElement(*arr, Args{ip.data(), static_cast<int>(ip.size())});
          if (b.keep.capacity() == 0) b.keep.reserve(static_cast<size_t>(n));
          if (b.keep.size() < b.keep.capacity()) {
            b.keep.push_back(*arr);
            p = el;
          }
        }
      }
    }
    if (p) {
      ptr[i] = p;
    } else {
      tmp[i] = eval(e, f);
      ptr[i] = &tmp[i];
    }
  }
  for (int i = n; i < n + extra; ++i) ptr[i] = &tmp[i];
  b.args = Args{ptr, n};
}

namespace {
// + - * Mod \ of two 32-bit integers, in 64 bits; false for other operators and where the
// general path must decide (division by zero, the one overflowing division).
bool intArith(Op op, int32_t x, int32_t y, int64_t& r) {
  switch (op) {
    case Op::Add: r = int64_t(x) + y; return true;
    case Op::Sub: r = int64_t(x) - y; return true;
    case Op::Mul: r = int64_t(x) * y; return true;
    case Op::Mod:
      if (y == 0) return false;
      r = y == -1 ? 0 : x % y;  // 32-bit division: much cheaper than 64-bit
      return true;
    case Op::IntDiv:
      if (y == 0 || (y == -1 && x == INT32_MIN)) return false;
      r = x / y;
      return true;
    default: return false;
  }
}
// An Integer result stays Integer while it fits 16 bits, unless a Long took part.
bool fitsInteger(int64_t r, bool isLong) { return !isLong && r >= -32768 && r <= 32767; }
bool fitsLong(int64_t r) { return r >= INT32_MIN && r <= INT32_MAX; }
// An Integer or Long read in place; false for any other value.
bool intValue(const Variant& v, int32_t& out, bool& isLong) {
  if (!isIntTag(v.type())) return false;
  isLong = v.type() == VT::Long;
  out = v.i32();
  return true;
}
}  // namespace

Variant Interp::evalBinary(Expr& e, Frame& f) {
  Variant a = eval(*e.a, f);
  Variant b = eval(*e.b, f);
  // Short cuts for the common all-integer cases.
  if (isIntTag(a.type()) && isIntTag(b.type())) {
    int64_t r;
    if (!intArith(e.op, a.i32(), b.i32(), r)) return binaryOp(e.op, a, b);
    if (fitsInteger(r, a.type() == VT::Long || b.type() == VT::Long)) return Variant::integer(static_cast<int16_t>(r));
    if (fitsLong(r)) return Variant::lng(static_cast<int32_t>(r));
    return Variant::dbl(static_cast<double>(r));
  }
  // Doubles with Doubles or integers.
  if ((a.type() == VT::Double || b.type() == VT::Double) && (a.type() == VT::Double || isIntTag(a.type())) &&
      (b.type() == VT::Double || isIntTag(b.type())) && e.op <= Op::Mul) {
    double x = a.type() == VT::Double ? a.f64() : a.i32(), y = b.type() == VT::Double ? b.f64() : b.i32();
    double r = e.op == Op::Add ? x + y : e.op == Op::Sub ? x - y : x * y;
    if (std::isfinite(r)) return Variant::dbl(r);
  }
  if (e.op == Op::Concat && a.isString() && b.isString()) {
    std::string s;
    checkLength(a.s().size() + b.s().size());
    s.reserve(a.s().size() + b.s().size());
    s += a.s();
    s += b.s();
    return Variant::str(std::move(s));
  }
  if ((e.op == Op::And || e.op == Op::Or) && a.type() == VT::Boolean && b.type() == VT::Boolean)
    return Variant::boolean(e.op == Op::And ? (a.i32() && b.i32()) : (a.i32() || b.i32()));
  return binaryOp(e.op, a, b);
}

// Integer arithmetic (+ - * Mod \) on Integer and Long variables and literals, without
// building Variants. False when a leaf holds anything else or a result needs more than a
// Long; the caller then evaluates the tree the general way, which is safe to repeat
// because such a tree has no side effects.
bool Interp::evalInt(Expr& e, Frame& f, int32_t& out, bool& isLong) {
  if (e.kind != EK::Binary) return false;
  // Leaves are read in place; only operator children recurse.
  auto operand = [&](Expr& c, int32_t& x, bool& l) {
    if (c.kind == EK::Literal) return intValue(c.value, x, l);
    if (c.kind == EK::Ident && c.bind == Bind::Local) return intValue(*f.slots[c.slot], x, l);
    if (c.kind == EK::Ident && c.bind == Bind::Global) return intValue(globals_[static_cast<size_t>(c.slot)], x, l);
    return evalInt(c, f, x, l);
  };
  int32_t x, y;
  bool lx, ly;
  int64_t r;
  if (!operand(*e.a, x, lx) || !operand(*e.b, y, ly) || !intArith(e.op, x, y, r)) return false;
  if (fitsInteger(r, lx || ly)) isLong = false;
  else if (fitsLong(r)) isLong = true;
  else return false;
  out = static_cast<int32_t>(r);
  return true;
}

// Whether a value expression is a small tree of integer operators on variables and literals.
static bool intCandidate(const Expr& e, int depth) {
  if (depth > 8) return false;
  switch (e.kind) {
    case EK::Literal: return e.value.type() == VT::Integer || e.value.type() == VT::Long;
    case EK::Ident: return e.bind == Bind::Local || e.bind == Bind::Global;
    case EK::Binary:
      return (e.op == Op::Add || e.op == Op::Sub || e.op == Op::Mul || e.op == Op::Mod || e.op == Op::IntDiv) &&
             intCandidate(*e.a, depth + 1) && intCandidate(*e.b, depth + 1);
    default: return false;
  }
}
bool isIntTree(const Expr& e) { return e.kind == EK::Binary && intCandidate(e, 0); }

Variant Interp::evalCompare(Expr& e, Frame& f) {
  Variant a = eval(*e.a, f);
  Variant b = eval(*e.b, f);
  if (isIntTag(a.type()) && isIntTag(b.type())) {
    int32_t x = a.i32(), y = b.i32();
    bool r = false;
    switch (e.op) {
      case Op::Eq: r = x == y; break;
      case Op::Ne: r = x != y; break;
      case Op::Lt: r = x < y; break;
      case Op::Gt: r = x > y; break;
      case Op::Le: r = x <= y; break;
      case Op::Ge: r = x >= y; break;
      default: return compareOp(e.op, a, b, e.litA, e.litB);
    }
    return Variant::boolean(r);
  }
  return compareOp(e.op, a, b, e.litA, e.litB);
}

Variant Interp::evalNode(Expr& e, Frame& f) {
  switch (e.kind) {
    case EK::Literal: return e.value;
    case EK::Ident:
      switch (e.bind) {
        case Bind::Local: return *f.slots[e.slot];
        case Bind::Global: return globals_[static_cast<size_t>(e.slot)];
        case Bind::Field: return static_cast<Instance*>(f.me)->fields[static_cast<size_t>(e.slot)];
        case Bind::Const: return e.value;
        default: return evalIdent(e, f, Args{}, false);
      }
    case EK::Binary: return evalBinary(e, f);
    case EK::Compare: return evalCompare(e, f);
    case EK::Unary: {
      Variant a = eval(*e.a, f);
      if (e.op == Op::Not && a.type() == VT::Boolean) return Variant::boolean(!a.i32());
      return unaryOp(e.op, a);
    }
    case EK::Paren: return eval(*e.a, f);
    case EK::Call: case EK::Member: return evalCall(e, f, CallKind::Get);
    case EK::New: {
      std::string name = e.name;
      if (name == "regexp") return Variant::object(createObject("vbscript.regexp"));
      const NameEntry* ne = lookupName(name);
      if (!ne || ne->kind != NameEntry::Class) raise(506);
      return newClassInstance(ne->cls);
    }
    case EK::Me: return Variant::object(f.me);
    case EK::Nothing: return Variant::object(nullptr);
  }
  return Variant();
}

Variant Interp::withObject(Expr& e, Frame& f) {
  if (e.slot < 0 || e.slot >= f.nslots) raise(err::ObjectRequired);
  return *f.slots[e.slot];
}

const NameEntry* Interp::resolveDynamic(Expr& e, bool define) {
  const NameEntry* ne = lookupName(e.name);
  if (ne) {
    if (ne->kind == NameEntry::Var) { e.bind = Bind::Global; e.slot = ne->slot; }
    else if (ne->kind == NameEntry::Proc) { e.bind = Bind::Proc; e.proc = ne->proc; }
    return ne;
  }
  if (e.slot >= 0) return nullptr;  // implicit local of the procedure
  if (e.explicitName) raise(err::Undefined);
  if (define) {
    e.slot = defineGlobalIn(activeModule(), e.name, false);
    e.bind = Bind::Global;
  }
  return nullptr;
}

Variant* Interp::lvalue(Expr& e, Frame& f) {
  if (e.kind != EK::Ident) return nullptr;
  switch (e.bind) {
    case Bind::Local: return f.slots[e.slot];
    case Bind::Global: return &globals_[static_cast<size_t>(e.slot)];
    case Bind::Field: return &static_cast<Instance*>(f.me)->fields[static_cast<size_t>(e.slot)];
    case Bind::Dynamic: {
      if (e.slot >= 0 && e.dynEpoch == namesEpoch_ && e.slot < f.nslots) return f.slots[e.slot];
      const NameEntry* ne = resolveDynamic(e, true);
      if (e.bind != Bind::Dynamic) return lvalue(e, f);
      if (!ne && e.slot >= 0 && e.slot < f.nslots) {
        e.dynEpoch = namesEpoch_;
        return f.slots[e.slot];
      }
      return nullptr;
    }
    default: return nullptr;
  }
}

Variant Interp::indexValue(const Variant& v, Args args) {
  if (args.n == 0) return v;
  if (v.isArray()) return v.arr()->data[flatIndex(v.arr(), args)];
  if (v.isObject()) {
    if (!v.obj()) raise(err::ObjectNotSet);
    Variant r;
    Variant keep = v;
    keep.obj()->invoke(*this, 0, CallKind::Get, args, r);
    return r;
  }
  raise(err::TypeMismatch);
}

Variant& Interp::arrayElement(Variant& arrVar, Args args) {
  if (!arrVar.isArray()) raise(err::TypeMismatch);
  ArrayData* a = arrVar.arrMut();
  return a->data[flatIndex(a, args)];
}

Variant Interp::defaultValue(Object* o) {
  Variant keep = Variant::object(o);
  Variant r;
  o->invoke(*this, 0, CallKind::Get, Args{}, r);
  return r;
}

void Interp::invokeCached(Expr& site, Object* o, CallKind kind, Args args, Variant& result) {
  const void* key = o->classKey();
  int id;
  if (key && site.cacheKey == key) {
    id = site.cacheId;
  } else {
    id = o->memberId(site.name);
    if (id < 0) raise(err::NoMember);
    site.cacheKey = key;
    site.cacheId = id;
  }
  Variant keep = Variant::object(o);
  o->invoke(*this, id, kind, args, result);
}

void Interp::invokeMember(Object* o, const std::string& lowerName, CallKind kind, Args args, Variant& result) {
  if (!o) raise(err::ObjectRequired);
  int id = o->memberId(lowerName);
  if (id < 0) raise(err::NoMember);
  Variant keep = Variant::object(o);
  o->invoke(*this, id, kind, args, result);
}

Variant Interp::evalIdent(Expr& e, Frame& f, Args args, bool asCall) {
  switch (e.bind) {
    case Bind::Local: return indexValue(*f.slots[e.slot], args);
    case Bind::Global: return indexValue(globals_[static_cast<size_t>(e.slot)], args);
    case Bind::Field: return indexValue(static_cast<Instance*>(f.me)->fields[static_cast<size_t>(e.slot)], args);
    case Bind::Const: return indexValue(e.value, args);
    case Bind::Proc: {
      Variant r;
      callProc(e.proc->def, nullptr, args, r);
      return r;
    }
    case Bind::ClassMember: {
      Variant r;
      f.me->invoke(*this, e.slot, asCall ? CallKind::Call : CallKind::Get, args, r);
      return r;
    }
    case Bind::Builtin: {
      const Builtin* b = e.builtin;
      if (args.n < b->minArgs || args.n > b->maxArgs) raise(err::WrongArgs);
      return b->fn(*this, args);
    }
    case Bind::Dynamic: {
      if (e.slot >= 0 && e.dynEpoch == namesEpoch_ && e.slot < f.nslots) return indexValue(*f.slots[e.slot], args);
      const NameEntry* ne = resolveDynamic(e, false);
      if (e.bind != Bind::Dynamic) return evalIdent(e, f, args, asCall);
      if (ne) {
        if (ne->kind == NameEntry::HostMember) {
          Variant r;
          ObjRef o = ne->obj;
          o->invoke(*this, ne->memberId, asCall ? CallKind::Call : CallKind::Get, args, r);
          return r;
        }
        raise(err::TypeMismatch);
      }
      if (e.slot >= 0 && e.slot < f.nslots) {
        e.dynEpoch = namesEpoch_;
        return indexValue(*f.slots[e.slot], args);
      }
      if (args.n > 0 || asCall) raise(err::TypeMismatch, "Type mismatch: '" + e.name + "'");
      resolveDynamic(e, true);
      return Variant();
    }
    default: raise(err::TypeMismatch);
  }
}

Variant Interp::evalCall(Expr& e, Frame& f, CallKind kind) {
  Expr* t = &e;
  ArgBuf buf;
  if (e.kind == EK::Call) {
    t = e.a.get();
    buildArgs(e.args, f, buf, 0);
  }
  Args args = buf.args;
  switch (t->kind) {
    case EK::Ident:
      if (t->bind == Bind::Dynamic && kind == CallKind::Call && args.n == 0) resolveDynamic(*t, false);
      // Calling a variable that holds an object (a GetRef) calls its default member.
      if (kind == CallKind::Call && args.n == 0 &&
          (t->bind == Bind::Local || t->bind == Bind::Global || t->bind == Bind::Field)) {
        Variant v = evalIdent(*t, f, args, false);
        if (v.isObject() && v.obj()) {
          Variant r;
          v.obj()->invoke(*this, 0, CallKind::Call, args, r);
          return r;
        }
        return v;
      }
      return evalIdent(*t, f, args, kind == CallKind::Call || e.kind == EK::Call);
    case EK::Member: {
      Variant o = t->a ? eval(*t->a, f) : withObject(*t, f);
      if (!o.isObject()) raise(err::ObjectRequired);
      if (!o.obj()) raise(err::ObjectRequired);
      Variant r;
      invokeCached(*t, o.obj(), kind == CallKind::Call ? CallKind::Call : CallKind::Get, args, r);
      return r;
    }
    default: {
      Variant v = eval(*t, f);
      return indexValue(v, args);
    }
  }
}

// The variable, or the array element, an index chain such as x(i)(j) names; null when
// the chain goes through anything but arrays.
Variant* Interp::elementLvalue(Expr& e, Frame& f) {
  if (e.kind == EK::Ident) return lvalue(e, f);
  if (e.kind != EK::Call || !e.a || e.a->kind == EK::Member) return nullptr;
  Variant* base = elementLvalue(*e.a, f);
  if (!base || !base->isArray()) return nullptr;
  ArgBuf buf;
  buildArgs(e.args, f, buf, 0);
  return &arrayElement(*base, buf.args);
}

void Interp::assignTo(Expr& t, Frame& f, Variant value, bool isSet) {
  switch (t.kind) {
    case EK::Ident: {
      if (t.bind == Bind::Global && globalConst_[static_cast<size_t>(t.slot)]) raise(err::IllegalAssignment);
      if (Variant* p = lvalue(t, f)) {
        *p = std::move(value);
        return;
      }
      Variant* pv = &value;
      Args a{&pv, 1};
      Variant r;
      if (t.bind == Bind::ClassMember) {
        f.me->invoke(*this, t.slot, isSet ? CallKind::Set : CallKind::Let, a, r);
        return;
      }
      if (t.bind == Bind::Dynamic) {
        const NameEntry* ne = lookupName(t.name);
        if (ne && ne->kind == NameEntry::HostMember) {
          ObjRef o = ne->obj;
          o->invoke(*this, ne->memberId, isSet ? CallKind::Set : CallKind::Let, a, r);
          return;
        }
      }
      raise(err::IllegalAssignment);
    }
    case EK::Call: {
      ArgBuf buf;
      buildArgs(t.args, f, buf, 1);
      Args args = buf.args;
      Expr& tt = *t.a;
      if (tt.kind == EK::Ident && tt.bind == Bind::ClassMember) {
        *args.p[args.n] = std::move(value);
        Args all{args.p, args.n + 1};
        Variant r;
        f.me->invoke(*this, tt.slot, isSet ? CallKind::Set : CallKind::Let, all, r);
        return;
      }
      if (tt.kind == EK::Member) {
        Variant o = tt.a ? eval(*tt.a, f) : withObject(tt, f);
        if (!o.isObject() || !o.obj()) raise(err::ObjectRequired);
        *args.p[args.n] = std::move(value);
        Args all{args.p, args.n + 1};
        Variant r;
        invokeCached(tt, o.obj(), isSet ? CallKind::Set : CallKind::Let, all, r);
        return;
      }
      Variant* p = elementLvalue(tt, f);
      Variant held;
      if (!p) {
        // f(x)(y) = v: assign through the default member of the object f(x) returns.
        held = eval(tt, f);
        if (!held.isObject()) raise(err::TypeMismatch);
        p = &held;
      }
      if (p->isArray()) {
        arrayElement(*p, args) = std::move(value);
        return;
      }
      if (p->isObject() && p->obj()) {
        Variant o = *p;
        *args.p[args.n] = std::move(value);
        Args all{args.p, args.n + 1};
        Variant r;
        o.obj()->invoke(*this, 0, isSet ? CallKind::Set : CallKind::Let, all, r);
        return;
      }
      raise(err::TypeMismatch);
    }
    case EK::Member: {
      Variant o = t.a ? eval(*t.a, f) : withObject(t, f);
      if (!o.isObject() || !o.obj()) raise(err::ObjectRequired);
      Variant* pv = &value;
      Args a{&pv, 1};
      Variant r;
      invokeCached(t, o.obj(), isSet ? CallKind::Set : CallKind::Let, a, r);
      return;
    }
    default: raise(err::IllegalAssignment);
  }
}

void Interp::callProc(ProcDef* p, Object* me, Args args, Variant& result) {
  if (!p) raise(35);
  if (args.n != static_cast<int>(p->params.size())) raise(err::WrongArgs);
  if (depth_ >= maxDepth_ || (stackBase_ && stackBase_ - frameAddress() > nativeStackLimit_)) raise(err::OutOfStack);
  struct Depth { int& d; explicit Depth(int& x) : d(x) { ++d; } ~Depth() { --d; } } depth(depth_);
  Slots slots(varStack_, ptrStack_, sp_, p->nslots);
  for (int i = 0; i < args.n; ++i) {
    if (p->params[static_cast<size_t>(i)].byRef) slots.ptrs[i] = args.p[i];
    else slots.vals[i] = *args.p[i];
  }
  Frame f;
  f.slots = slots.ptrs;
  f.proc = p;
  f.me = me;
  f.cls = me ? static_cast<Instance*>(me)->cls : nullptr;
  f.nslots = p->nslots;
  Frame* savedFrame = frame_;
  const std::string* savedSrc = curSource_;
  frame_ = &f;
  curSource_ = p->source.get();
  struct Restore {
    Interp& in; Frame* f; const std::string* s;
    ~Restore() { in.frame_ = f; in.curSource_ = s; }
  } restore{*this, savedFrame, savedSrc};
  execBlock(p->body, f);
  if (p->resultSlot >= 0) result = std::move(*slots.ptrs[p->resultSlot]);
  else result = Variant();
}

Variant Interp::callByName(const std::string& lowerName, std::vector<Variant>& args) {
  return callInModule(std::string(), lowerName, args);
}

Variant Interp::callInModule(const std::string& module, const std::string& lowerName, std::vector<Variant>& args) {
  Entry guard(*this);
  const NameEntry* ne = lookupIn(module, lowerName);
  ProcDef* p = ne && ne->kind == NameEntry::Proc ? ne->proc->def : nullptr;
  if (!p) raise(35, "Sub or Function not defined: '" + lowerName + "'");
  std::vector<Variant*> ptrs;
  for (auto& a : args) ptrs.push_back(&a);
  Variant r;
  callProc(p, nullptr, Args{ptrs.data(), static_cast<int>(ptrs.size())}, r);
  return r;
}

Variant Interp::newClassInstance(ClassDef* c) {
  std::shared_ptr<ClassDef> def;
  for (auto& d : classes_) if (d.get() == c) def = d;
  if (!def) raise(506);
  auto* inst = new Instance(def);
  Variant hold = Variant::object(inst);
  Frame tmp;
  for (size_t i = 0; i < c->fieldDims.size(); ++i) {
    DimItem* d = c->fieldDims[i];
    if (!d) continue;
    if (d->bounds.empty()) { inst->fields[i] = Variant::array(new ArrayData()); continue; }
    std::vector<int32_t> upper;
    for (auto& b : d->bounds) upper.push_back(toLong(eval(*b, tmp)));
    makeArray(inst->fields[i], upper, true, false);
  }
  if (c->init) {
    Variant r;
    callProc(c->init, inst, Args{}, r);
  }
  return hold;
}

void Interp::registerProgId(const std::string& id, ObjectFactory f) { progIds_[lower(id)] = std::move(f); }

Object* Interp::createObject(const std::string& progId) {
  auto it = progIds_.find(lower(progId));
  if (it == progIds_.end()) raise(err::CantCreate);
  return it->second(*this);
}

Variant Interp::evalString(const std::string& code) {
  ExprP e = parseExpression(code);
  Frame global;
  Frame& f = frame_ ? *frame_ : global;
  int extra = 0;
  Resolver r(*this, optionExplicit_);
  r.resolveLoneExpr(*e, &f, extra);
  return eval(*e, f);
}

void Interp::executeString(const std::string& code, bool isGlobal) {
  auto src = std::make_shared<const std::string>(code);
  std::shared_ptr<Program> prog = parseProgram(code);
  linkProcs(prog);
  ++namesEpoch_;
  Frame* outer = frame_;
  // The new code belongs to the module of the code that runs it.
  const std::string module = activeModule();
  Resolver r(*this, prog->optionExplicit);
  bool inProc = !isGlobal && outer && outer->proc;
  try {
    r.resolveProgram(*prog, module, src, inProc ? outer : nullptr);
  } catch (ScriptError&) {
    failedPrograms_.push_back(prog);  // names registered before the error point into it
    throw;
  }
  for (auto& c : classes_) if (!c->keepAlive) c->keepAlive = prog;
  if (!prog->procs.empty() || !prog->classes.empty()) modules_.push_back(Module{module, src, prog});
  const std::string* savedSrc = curSource_;
  std::string savedModule = curModule_;
  curSource_ = src.get();
  curModule_ = module;
  struct Restore {
    Interp& in; const std::string* s; std::string m;
    ~Restore() { in.curSource_ = s; in.curModule_ = std::move(m); }
  } restore{*this, savedSrc, savedModule};
  Frame f;
  if (inProc) {
    // Run with the procedure's own variables plus room for the new code's temporaries.
    int extra = prog->extraSlots - outer->nslots;
    Slots more(varStack_, ptrStack_, sp_, extra > 0 ? extra : 0);
    std::vector<Variant*> ptrs(outer->slots, outer->slots + outer->nslots);
    for (int i = 0; i < more.n; ++i) ptrs.push_back(more.ptrs[i]);
    f = *outer;
    f.slots = ptrs.data();
    f.nslots = static_cast<int>(ptrs.size());
    f.resumeNext = false;
    Frame* saved = frame_;
    frame_ = &f;
    struct R2 { Interp& in; Frame* f; ~R2() { in.frame_ = f; } } r2{*this, saved};
    execBlock(prog->top, f);
    return;
  }
  if (outer) { f.me = outer->me; f.cls = outer->cls; }
  runTopLevel(*prog, f, module, src);
}

// ---------------------------------------------------------------------------
// Script class instances

int Instance::memberId(std::string_view lowerName) {
  auto it = cls->index.find(std::string(lowerName));
  return it == cls->index.end() ? -1 : it->second;
}

void Instance::invoke(Interp& in, int id, CallKind kind, Args args, Variant& result) {
  if (id == 0) {
    if (cls->defaultMember < 0) raise(err::NoMember);
    id = cls->defaultMember;
  }
  if (id < 1 || static_cast<size_t>(id) > cls->members.size()) raise(err::NoMember);
  const ClassDef::Member& m = cls->members[static_cast<size_t>(id - 1)];
  if (!m.isPublic && in.currentClass() != cls) raise(err::NoMember);
  Variant self = Variant::object(this);
  if (m.field >= 0) {
    Variant& fv = fields[static_cast<size_t>(m.field)];
    bool reading = kind == CallKind::Get || kind == CallKind::Call;
    // Indexes on a field that holds neither an array nor an object name no member.
    if (args.n > (reading ? 0 : 1) && !fv.isArray() && !fv.isObject()) raise(err::NoMember);
    if (reading) {
      result = in.indexValue(fv, args);
      return;
    }
    if (args.n == 1) fv = args[0];
    else in.arrayElement(fv, Args{args.p, args.n - 1}) = args[args.n - 1];
    return;
  }
  ProcDef* p = nullptr;
  switch (kind) {
    case CallKind::Get: case CallKind::Call: p = m.method ? m.method : m.get; break;
    case CallKind::Let: p = m.let ? m.let : nullptr; break;
    case CallKind::Set: p = m.set; break;
  }
  if (!p) {
    if (kind == CallKind::Let && (m.method || m.get)) raise(err::IllegalAssignment);
    raise(err::NoMember);
  }
  in.callProc(p, this, args, result);
}

void Instance::lastReleased() {
  Interp* in = cls->interp;
  if (cls->term && !terminated && in) {
    terminated = true;
    refs = 1;
    // This runs from the release of a value, often inside a destructor: nothing may leave it.
    // A terminator's own errors end only the terminator, as in the classic engine; a time-out
    // or an interrupt stays pending, so the running script still stops at its next step.
    try {
      Interp::Entry guard(*in);
      Variant r;
      in->callProc(cls->term, this, Args{}, r);
    } catch (ScriptError& e) {
      if (e.number == err::Timeout) in->keepInterruptPending();
    } catch (...) {
      in->keepInterruptPending();  // out of memory and the like: stop the script as well
    }
    if (--refs > 0) return;  // the terminator stored Me somewhere
  }
  delete this;
}

}  // namespace quillon::vbs
