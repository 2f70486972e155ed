#include "engine.h"

#include "builtins.h"
#include "convert.h"
#include "errors.h"
#include "interp.h"

namespace quillon::vbs {

std::string ErrorInfo::format() const {
  return module + "(" + std::to_string(line) + ", " + std::to_string(column) + ") " + source + ": " + description;
}

// ---- HostObject ----

HostObject::HostObject(std::string typeName) : typeName_(std::move(typeName)) {}

HostObject& HostObject::method(const std::string& name, Method m) {
  Member mem;
  mem.name = name;
  mem.method = std::move(m);
  index_[lower(name)] = static_cast<int>(members_.size()) + 1;
  members_.push_back(std::move(mem));
  return *this;
}

HostObject& HostObject::property(const std::string& name, Getter get, Setter let, Setter set) {
  Member mem;
  mem.name = name;
  mem.get = std::move(get);
  mem.let = std::move(let);
  mem.set = std::move(set);
  index_[lower(name)] = static_cast<int>(members_.size()) + 1;
  members_.push_back(std::move(mem));
  return *this;
}

HostObject& HostObject::setDefault(const std::string& name) {
  auto it = index_.find(lower(name));
  default_ = it == index_.end() ? -1 : it->second;
  return *this;
}

HostObject& HostObject::enumerator(std::function<std::vector<Variant>()> items) {
  items_ = std::move(items);
  return *this;
}

std::vector<std::string> HostObject::memberNames() const {
  std::vector<std::string> out;
  for (auto& m : members_) out.push_back(m.name);
  return out;
}

int HostObject::memberId(std::string_view lowerName) {
  auto it = index_.find(std::string(lowerName));
  return it == index_.end() ? -1 : it->second;
}

void HostObject::invoke(Interp& in, int id, CallKind kind, Args args, Variant& result) {
  // A C++ exception from a callback becomes a script error the script can handle.
  try {
    invokeMember(in, id, kind, args, result);
  } catch (ScriptError&) {
    throw;
  } catch (QuitRequest&) {
    throw;
  } catch (std::exception& e) {
    raise(440, e.what());
  }
}

void HostObject::invokeMember(Interp& in, int id, CallKind kind, Args args, Variant& result) {
  if (id == 0) id = default_;
  if (id < 1 || static_cast<size_t>(id) > members_.size()) raise(err::NoMember);
  Member& m = members_[static_cast<size_t>(id - 1)];
  switch (kind) {
    case CallKind::Get: case CallKind::Call:
      if (m.method) { result = m.method(args); return; }
      if (m.get) {
        result = m.get(args);
        // A property that returns a collection can be indexed directly: obj.Items(0).
        if (args.n > 0 && result.isObject() && result.obj()) {
          Variant coll = result;
          coll.obj()->invoke(in, 0, CallKind::Get, args, result);
        }
        return;
      }
      raise(err::NoMember);
    case CallKind::Let: case CallKind::Set: {
      const Setter& s = kind == CallKind::Set && m.set ? m.set : m.let ? m.let : m.set;
      if (!s) raise(m.method ? err::NoMember : err::IllegalAssignment);
      s(Args{args.p, args.n - 1}, args[args.n - 1]);
      return;
    }
  }
}

bool HostObject::enumerate(Interp&, std::vector<Variant>& out) {
  if (!items_) return false;
  out = items_();
  return true;
}

std::shared_ptr<HostObject> makeHostObject(const std::string& typeName) {
  auto* o = new HostObject(typeName);
  retain(o);
  return std::shared_ptr<HostObject>(o, [](HostObject* p) { release(p); });
}

// ---- values ----

Variant makeArray(std::vector<Variant> items) { return makeVariantArray(std::move(items)); }

std::vector<Variant> arrayItems(const Variant& v) {
  if (!v.isArray() || v.arr()->bounds.size() != 1) return {};
  return v.arr()->data;
}

Variant makeObject(const std::shared_ptr<HostObject>& obj) { return Variant::object(obj.get()); }

std::string asString(const Variant& v, const std::string& dflt) {
  try { return toString(v); } catch (ScriptError&) { return dflt; }
}
double asNumber(const Variant& v, double dflt) {
  try { return toDouble(v); } catch (ScriptError&) { return dflt; }
}
bool asBool(const Variant& v, bool dflt) {
  try { return toBool(v); } catch (ScriptError&) { return dflt; }
}

// ---- Engine ----

Engine::Engine() : in_(std::make_unique<Interp>()) {}
Engine::~Engine() = default;

template <class F>
bool Engine::guarded(F&& body) {
  error_ = ErrorInfo{};
  quit_ = false;
  Interp::Entry entry(*in_);
  if (depth_ == 0) {
    if (timeout_.count() > 0) in_->setDeadline(std::chrono::steady_clock::now() + timeout_);
    else in_->clearDeadline();
    in_->setStepLimit(stepLimit_);
  }
  struct Depth {
    Engine& e;
    explicit Depth(Engine& en) : e(en) { ++e.depth_; }
    ~Depth() {
      // Dropped modules are freed only when no script code is running.
      if (--e.depth_ == 0) e.in_->collectRetired();
    }
  } depth(*this);
  try {
    body();
    return true;
  } catch (ScriptError& e) {
    error_.number = e.number;
    error_.description = e.description;
    error_.source = e.source.empty() ? (isCompileError(e.number) ? "Microsoft VBScript compilation error"
                                                                 : "Microsoft VBScript runtime error")
                                     : e.source;
    error_.line = e.line;
    error_.column = e.column;
    error_.sourceLine = e.sourceLine;
    error_.module = e.module.empty() ? in_->currentModule() : e.module;
    error_.file = e.file;
    return false;
  } catch (QuitRequest& q) {
    quit_ = true;
    quitCode_ = q.code;
    return true;
  } catch (std::bad_alloc&) {
    error_.number = err::OutOfMemory;
    error_.description = errorText(err::OutOfMemory);
    error_.source = "Microsoft VBScript runtime error";
    return false;
  }
}

void Engine::addObject(const std::string& name, std::shared_ptr<HostObject> obj, bool globalMembers) {
  Interp::Entry entry(*in_);
  in_->addNamedObject(name, obj.get(), globalMembers, obj->memberNames());
  hostObjects_.push_back(std::move(obj));
}

bool Engine::addCode(const std::string& code, const std::string& module, const std::string& fileName) {
  bool ok = guarded([&] { in_->addCode(code, module, fileName); });
  if (!ok && (error_.module.empty() || isCompileError(error_.number))) error_.module = module;
  return ok;
}

void Engine::addModule(const std::string& module) { in_->declareModule(module); }
bool Engine::hasModule(const std::string& module) const { return in_->isPrivate(module); }
void Engine::removeModule(const std::string& module) {
  in_->dropModule(module);
  if (depth_ == 0) in_->collectRetired();
}

bool Engine::runIn(const std::string& module, const std::string& procedure, std::vector<Variant>& args,
                   Variant* result) {
  return guarded([&] {
    Variant r = in_->callInModule(module, lower(procedure), args);
    if (result) *result = std::move(r);
  });
}

std::vector<ProcInfo> Engine::procedures(const std::string& module) const {
  std::vector<ProcInfo> out;
  for (ProcDef* p : in_->moduleProcs(module))
    out.push_back(ProcInfo{p->display, static_cast<int>(p->params.size()), p->kind == ProcKind::Function});
  return out;
}

bool Engine::run(const std::string& procedure, std::vector<Variant>& args, Variant* result) {
  return guarded([&] {
    Variant r = in_->callByName(lower(procedure), args);
    if (result) *result = std::move(r);
  });
}

bool Engine::run(const std::string& procedure, std::vector<Variant>&& args, Variant* result) {
  std::vector<Variant> a = std::move(args);
  return run(procedure, a, result);
}

bool Engine::eval(const std::string& expression, Variant& result) {
  return guarded([&] { result = in_->evalString(expression); });
}

void Engine::setTimeout(std::chrono::milliseconds t) { timeout_ = t; }
void Engine::setStepLimit(int64_t steps) { stepLimit_ = steps; }
void Engine::setMaxCallDepth(int depth) { in_->setMaxDepth(depth); }
void Engine::setNativeStackLimit(size_t bytes) { in_->setNativeStackLimit(static_cast<ptrdiff_t>(bytes)); }
void Engine::interrupt() { in_->interrupt(); }

void Engine::reset() {
  in_->reset();
  hostObjects_.clear();
  error_ = ErrorInfo{};
}

Variant Engine::createObject(const std::string& progId) { return Variant::object(in_->createObject(progId)); }

void Engine::setClock(std::function<double()> clock) { in_->clock = std::move(clock); }
void Engine::setMessageSink(std::function<void(const std::string&)> sink) { in_->messageSink = std::move(sink); }
void Engine::setInputSource(std::function<std::string(const std::string&)> s) { in_->inputSource = std::move(s); }

void Engine::registerProgId(const std::string& progId, std::function<std::shared_ptr<HostObject>()> factory) {
  in_->registerProgId(progId, [factory](Interp&) -> Object* {
    std::shared_ptr<HostObject> o = factory();
    if (!o) raise(err::CantCreate);
    // The script's reference keeps it alive after this shared_ptr goes.
    retain(o.get());
    HostObject* raw = o.get();
    o.reset();
    raw->refs--;  // handed to the caller, which takes its own reference
    return raw;
  });
}

}  // namespace quillon::vbs
