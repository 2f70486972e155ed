// The Err object: the last runtime error and Raise/Clear.
#include "native.h"

namespace quillon::vbs {

namespace {

class ErrObject : public NativeObject {
 public:
  std::string typeName() const override { return "ErrObject"; }
  void invoke(Interp& in, int id, CallKind kind, Args a, Variant& r) override {
    auto& e = in.err;
    if (id == 0) id = 1;
    switch (id) {
      case 1:  // Number
        if (isPut(kind)) { e.number = toLong(a[a.n - 1]); return; }
        r = Variant::lng(e.number);
        return;
      case 2:
        if (isPut(kind)) { e.description = toString(a[a.n - 1]); return; }
        r = Variant::str(e.description);
        return;
      case 3:
        if (isPut(kind)) { e.source = toString(a[a.n - 1]); return; }
        r = Variant::str(e.source);
        return;
      case 4: {  // Raise number [, source [, description [, helpfile [, helpcontext]]]]
        needArgs(a, 1, 5);
        int32_t n = toLong(derefDefault(&in, a[0]));
        if (n == 0 || n > 0xFFFF) raise(err::InvalidCall);
        // Result codes of the script runtime and out-of-memory become their error numbers.
        if ((static_cast<uint32_t>(n) & 0xFFFF0000u) == 0x800A0000u) n &= 0xFFFF;
        else if (static_cast<uint32_t>(n) == 0x8007000Eu) n = err::OutOfMemory;
        // Fields not given keep what the pending error had.
        bool pending = e.number != 0;
        auto given = [&](int i) { return a.n > i && !a[i].isEmpty(); };
        ScriptError se;
        se.number = n;
        se.source = given(1) ? toString(a[1]) : pending ? e.source : "";
        se.description = given(2) ? toString(a[2]) : pending ? e.description : errorText(n);
        if (se.description.empty()) se.description = "Unknown runtime error";
        se.helpFile = given(3) ? toString(a[3]) : pending ? e.helpFile : "";
        se.helpContext = given(4) ? toLong(a[4]) : pending ? e.helpContext : 0;
        throw se;
      }
      case 5: in.clearErr(); return;
      case 6:
        if (isPut(kind)) { e.helpFile = toString(a[a.n - 1]); return; }
        r = Variant::str(e.helpFile);
        return;
      case 7:
        if (isPut(kind)) { e.helpContext = toLong(a[a.n - 1]); return; }
        r = Variant::lng(e.helpContext);
        return;
      default: raise(err::NoMember);
    }
  }
 protected:
  const MemberTable& table() const override {
    static const MemberTable t{"number", "description", "source", "raise", "clear", "helpfile", "helpcontext"};
    return t;
  }
};

}  // namespace

Object* makeErrObject() { return new ErrObject(); }

void registerRuntimeObjects(Interp& in) {
  in.registerProgId("scripting.dictionary", [](Interp&) { return makeDictionary(); });
  in.registerProgId("scripting.filesystemobject", [](Interp&) { return makeFileSystemObject(); });
  in.registerProgId("vbscript.regexp", [](Interp&) { return makeRegExp(); });
  in.registerProgId("wscript.shell", [](Interp&) { return makeShell(); });
}

}  // namespace quillon::vbs
