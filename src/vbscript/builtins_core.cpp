// Conversions, type inspection, arrays, dynamic code and object creation.
#include <cmath>
#include <unordered_map>

#include "builtins.h"
#include "operators.h"

namespace quillon::vbs {

std::string strArg(Args a, int i) { return toString(arg(a, i)); }

int32_t longArg(Args a, int i, int32_t dflt) {
  if (i >= a.n || a[i].isEmpty()) return dflt;
  return toLong(arg(a, i));
}

Variant makeVariantArray(std::vector<Variant> items) {
  auto* d = new ArrayData();
  d->bounds.emplace_back(0, static_cast<int32_t>(items.size()));
  d->data = std::move(items);
  return Variant::array(d);
}

namespace {

#define BI(name) Variant bi_##name([[maybe_unused]] Interp& in, [[maybe_unused]] Args a)

Variant nullOr(const Variant& v) { return v; }

// The default value of an object, or the object itself when it has none.
Variant tryDefault(const Variant& v) {
  try {
    return objectDefaultValue(v.obj());
  } catch (ScriptError&) {
    return v;
  }
}

BI(cbool) {
  Variant v = arg(a, 0);
  if (v.isNull()) raise(err::InvalidNull);
  return Variant::boolean(toBool(v));
}
// Text for CByte and CCur must be a number or a date; "True"/"False" are no numbers there.
double numberFromText(const Variant& v) {
  if (!v.isString()) return toDouble(v);
  double d;
  if (parseNumber(v.s(), d) || parseDate(v.s(), d)) return d;
  raise(err::TypeMismatch);
}
BI(cbyte) {
  Variant v = derefDefault(&in, arg(a, 0));
  if (v.type() == VT::Boolean) return Variant::byte(v.i32() ? 255 : 0);
  double d = bankersRound(numberFromText(v));
  if (d < 0 || d > 255) raise(err::Overflow);
  return Variant::byte(static_cast<uint8_t>(d));
}
BI(cint) { return Variant::integer(toInteger(arg(a, 0))); }
BI(clng) { return Variant::lng(toLong(arg(a, 0))); }
BI(csng) {
  double d = toDouble(arg(a, 0));
  if (std::fabs(d) > 3.402823466e38) raise(err::Overflow);
  return Variant::single(static_cast<float>(d));
}
BI(cdbl) { return Variant::dbl(toDouble(arg(a, 0))); }
BI(ccur) {
  Variant v = derefDefault(&in, arg(a, 0));
  if (v.isString()) v = Variant::dbl(numberFromText(v));
  return Variant::currency(toCurrency(v));
}
BI(cdate) {
  Variant v = arg(a, 0);
  if (v.isNull()) raise(err::InvalidNull);
  return Variant::date(toDate(v));
}
BI(cstr) {
  Variant v = arg(a, 0);
  if (v.isNull()) raise(err::InvalidNull);
  return Variant::str(toString(v));
}

BI(isarray) { return Variant::boolean(a[0].isArray()); }
BI(isempty) { return Variant::boolean(a[0].isEmpty()); }
BI(isnull) { return Variant::boolean(a[0].isNull()); }
BI(isobject) { return Variant::boolean(a[0].isObject()); }
BI(isnumeric) {
  const Variant v = a[0].isObject() && a[0].obj() ? tryDefault(a[0]) : a[0];
  if (v.isString()) { double d; return Variant::boolean(parseNumber(v.s(), d)); }
  if (v.isEmpty()) return Variant::boolean(true);
  return Variant::boolean(v.isNumeric() && v.type() != VT::Date);
}
BI(isdate) {
  const Variant& v = a[0];
  if (v.type() == VT::Date) return Variant::boolean(true);
  if (v.isString()) { double d; return Variant::boolean(parseDate(v.s(), d)); }
  return Variant::boolean(false);
}
BI(typename) { return Variant::str(typeName(a[0])); }
// An object with a default member reports the type of its default value.
BI(vartype) {
  const Variant& v = a[0];
  int t = varType(v);
  if (v.isObject() && v.obj()) {
    Variant d;
    try {
      d = in.defaultValue(v.obj());
    } catch (ScriptError& e) {
      if (e.number == err::Timeout) throw;
      return Variant::integer(9);
    }
    if (!d.isObject()) t = varType(d);
  }
  return Variant::integer(static_cast<int16_t>(t));
}

const ArrayData* arrayArg(Args a) {
  if (!a[0].isArray()) raise(err::TypeMismatch);
  return a[0].arr();
}
BI(lbound) {
  const ArrayData* d = arrayArg(a);
  int dim = longArg(a, 1, 1);
  if (dim < 1 || static_cast<size_t>(dim) > d->bounds.size()) raise(err::Subscript);
  return Variant::lng(d->bounds[static_cast<size_t>(dim - 1)].first);
}
BI(ubound) {
  const ArrayData* d = arrayArg(a);
  int dim = longArg(a, 1, 1);
  if (dim < 1 || static_cast<size_t>(dim) > d->bounds.size()) raise(err::Subscript);
  auto& b = d->bounds[static_cast<size_t>(dim - 1)];
  return Variant::lng(b.first + b.second - 1);
}
BI(array) {
  std::vector<Variant> items;
  for (int i = 0; i < a.n; ++i) items.push_back(a[i]);
  return makeVariantArray(std::move(items));
}

// Code text for Execute: only a string will do.
std::string codeArg(Args a) {
  const Variant& v = arg(a, 0);
  if (!v.isString()) raise(err::TypeMismatch);
  return v.s();
}
// Dynamic code reports every compile error as a plain syntax error, as the classic engine does.
template <class F> auto asDynamicCode(F&& run) {
  try {
    return run();
  } catch (ScriptError& e) {
    if (!isCompileError(e.number)) throw;
    e.number = err::SyntaxError;
    e.description = errorText(err::SyntaxError);
    throw;
  }
}
BI(eval) {
  const Variant& v = arg(a, 0);
  if (!v.isString()) return v;  // anything but text is its own value
  return asDynamicCode([&] { return in.evalString(v.s()); });
}
BI(execute) {
  std::string code = codeArg(a);
  asDynamicCode([&] { in.executeString(code, false); return 0; });
  return Variant();
}
BI(executeglobal) {
  std::string code = codeArg(a);
  asDynamicCode([&] { in.executeString(code, true); return 0; });
  return Variant();
}

// A procedure reference from GetRef: calling its default member calls the procedure.
class ProcRef : public Object {
 public:
  explicit ProcRef(ProcDef* p) : p_(p), code_(p->program.lock()) {}
  std::string typeName() const override { return "Object"; }
  int memberId(std::string_view) override { return -1; }
  void invoke(Interp& in, int id, CallKind kind, Args args, Variant& result) override {
    if (id != 0 || kind == CallKind::Let || kind == CallKind::Set) raise(err::NoMember);
    in.callProc(p_, nullptr, args, result);
  }
 private:
  ProcDef* p_;
  std::shared_ptr<Program> code_;  // keeps the procedure alive after its module was dropped
};
BI(getref) {
  if (!arg(a, 0).isString()) raise(err::TypeMismatch);
  ProcDef* p = in.findProc(lower(strArg(a, 0)));
  if (!p) raise(err::InvalidCall);
  return Variant::object(new ProcRef(p));
}
BI(createobject) { return Variant::object(in.createObject(strArg(a, 0))); }
BI(getobject) { raise(err::CantCreate); }

BI(msgbox) {
  std::string text = strArg(a, 0);
  if (in.messageSink) in.messageSink(text);
  return Variant::integer(1);
}
BI(inputbox) {
  std::string prompt = strArg(a, 0);
  if (in.inputSource) return Variant::str(in.inputSource(prompt));
  return Variant::str(a.n > 2 ? strArg(a, 2) : std::string());
}
BI(scriptengine) { return Variant::str("VBScript"); }
BI(scriptenginemajorversion) { return Variant::lng(5); }
BI(scriptengineminorversion) { return Variant::lng(8); }
BI(scriptenginebuildversion) { return Variant::lng(16384); }
BI(rgb) {
  int32_t r = longArg(a, 0, 0), g = longArg(a, 1, 0), b = longArg(a, 2, 0);
  if (r < 0 || g < 0 || b < 0) raise(err::InvalidCall);
  auto clamp = [](int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  return Variant::lng(clamp(r) | (clamp(g) << 8) | (clamp(b) << 16));
}

}  // namespace

void addCoreBuiltins(std::vector<Builtin>& o) {
  o.insert(o.end(), {
      {"cbool", 1, 1, bi_cbool}, {"cbyte", 1, 1, bi_cbyte}, {"cint", 1, 1, bi_cint}, {"clng", 1, 1, bi_clng},
      {"csng", 1, 1, bi_csng}, {"cdbl", 1, 1, bi_cdbl}, {"ccur", 1, 1, bi_ccur}, {"cdate", 1, 1, bi_cdate},
      {"cstr", 1, 1, bi_cstr}, {"isarray", 1, 1, bi_isarray}, {"isempty", 1, 1, bi_isempty},
      {"isnull", 1, 1, bi_isnull}, {"isobject", 1, 1, bi_isobject}, {"isnumeric", 1, 1, bi_isnumeric},
      {"isdate", 1, 1, bi_isdate}, {"typename", 1, 1, bi_typename}, {"vartype", 1, 1, bi_vartype},
      {"lbound", 1, 2, bi_lbound}, {"ubound", 1, 2, bi_ubound}, {"array", 0, 10000, bi_array},
      {"eval", 1, 1, bi_eval}, {"execute", 1, 1, bi_execute, false, true},
      {"executeglobal", 1, 1, bi_executeglobal, false, true}, {"getref", 1, 1, bi_getref},
      {"createobject", 1, 2, bi_createobject}, {"getobject", 0, 2, bi_getobject},
      {"msgbox", 1, 5, bi_msgbox}, {"inputbox", 1, 7, bi_inputbox}, {"scriptengine", 0, 0, bi_scriptengine},
      {"scriptenginemajorversion", 0, 0, bi_scriptenginemajorversion},
      {"scriptengineminorversion", 0, 0, bi_scriptengineminorversion},
      {"scriptenginebuildversion", 0, 0, bi_scriptenginebuildversion}, {"rgb", 3, 3, bi_rgb},
  });
  (void)nullOr;
}

namespace {
struct Constant { const char* name; Variant (*make)(); };

#define CI(n, v) {n, [] { return Variant::integer(v); }}
#define CL(n, v) {n, [] { return Variant::lng(v); }}
#define CS(n, v) {n, [] { return Variant::str(v); }}
const Constant kConstants[] = {
    CS("vbcrlf", "\r\n"), CS("vbnewline", "\r\n"), CS("vbcr", "\r"), CS("vblf", "\n"), CS("vbtab", "\t"),
    {"vbnullstring", [] { return Variant::str(""); }}, {"vbnullchar", [] { return Variant::str(std::string(1, '\0')); }},
    CS("vbformfeed", "\f"), CS("vbverticaltab", "\v"), CS("vbback", "\b"),
    CI("vbbinarycompare", 0), CI("vbtextcompare", 1), CI("vbdatabasecompare", 2),
    CI("vbsunday", 1), CI("vbmonday", 2), CI("vbtuesday", 3), CI("vbwednesday", 4), CI("vbthursday", 5),
    CI("vbfriday", 6), CI("vbsaturday", 7), CI("vbusesystemdayofweek", 0), CI("vbfirstjan1", 1),
    CI("vbfirstfourdays", 2), CI("vbfirstfullweek", 3), CI("vbusesystem", 0),
    CI("vbgeneraldate", 0), CI("vblongdate", 1), CI("vbshortdate", 2), CI("vblongtime", 3), CI("vbshorttime", 4),
    CI("vbempty", 0), CI("vbnull", 1), CI("vbinteger", 2), CI("vblong", 3), CI("vbsingle", 4), CI("vbdouble", 5),
    CI("vbcurrency", 6), CI("vbdate", 7), CI("vbstring", 8), CI("vbobject", 9), CI("vberror", 10),
    CI("vbboolean", 11), CI("vbvariant", 12), CI("vbdataobject", 13), CI("vbdecimal", 14), CI("vbbyte", 17),
    CI("vbarray", 8192), CI("vbtrue", -1), CI("vbfalse", 0), CI("vbusedefault", -2),
    CI("vbokonly", 0), CI("vbokcancel", 1), CI("vbabortretryignore", 2), CI("vbyesnocancel", 3), CI("vbyesno", 4),
    CI("vbretrycancel", 5), CI("vbcritical", 16), CI("vbquestion", 32), CI("vbexclamation", 48),
    CI("vbinformation", 64), CI("vbdefaultbutton1", 0), CI("vbdefaultbutton2", 256), CI("vbdefaultbutton3", 512),
    CI("vbdefaultbutton4", 768), CI("vbmsgboxhelpbutton", 16384), CL("vbmsgboxsetforeground", 65536),
    CL("vbmsgboxright", 524288), CL("vbmsgboxrtlreading", 1048576),
    CI("vbapplicationmodal", 0), CI("vbsystemmodal", 4096), CI("vbok", 1), CI("vbcancel", 2), CI("vbabort", 3),
    CI("vbretry", 4), CI("vbignore", 5), CI("vbyes", 6), CI("vbno", 7),
    CL("vbobjecterror", static_cast<int32_t>(0x80040000u)), CL("vbblack", 0), CL("vbred", 0xFF), CL("vbgreen", 0xFF00),
    CL("vbyellow", 0xFFFF), CL("vbblue", 0xFF0000), CL("vbmagenta", 0xFF00FF), CL("vbcyan", 0xFFFF00),
    CL("vbwhite", 0xFFFFFF),
};

Variant constFn(Interp&, Args) { return Variant(); }
}  // namespace

const Builtin* findBuiltin(const std::string& name) {
  struct Table {
    std::vector<Builtin> list;
    std::unordered_map<std::string, size_t> index;
    std::unordered_map<std::string, Variant (*)()> consts;
    std::unordered_map<std::string, Builtin> constEntries;
  };
  static const Table* table = [] {
    auto* t = new Table;
    addCoreBuiltins(t->list);
    addStringBuiltins(t->list);
    addMathBuiltins(t->list);
    addDateBuiltins(t->list);
    addFormatBuiltins(t->list);
    for (size_t i = 0; i < t->list.size(); ++i) t->index[t->list[i].name] = i;
    return t;
  }();
  auto it = table->index.find(name);
  if (it != table->index.end()) return &table->list[it->second];
  // Constants: each gets a stable Builtin whose fn returns its value.
  static std::unordered_map<std::string, Builtin>* consts = [] {
    auto* m = new std::unordered_map<std::string, Builtin>;
    for (const auto& c : kConstants) (*m)[c.name] = Builtin{c.name, 0, 0, constFn, true};
    return m;
  }();
  auto ci = consts->find(name);
  return ci == consts->end() ? nullptr : &ci->second;
}

// Value of a vb... constant (the resolver inlines these).
Variant constantValue(const std::string& name) {
  for (const auto& c : kConstants)
    if (name == c.name) return c.make();
  return Variant();
}

}  // namespace quillon::vbs
