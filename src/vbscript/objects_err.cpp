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
      case 4: {  // Raise number [, source [, description]]
        needArgs(a, 1, 5);
        int32_t n = toLong(derefDefault(&in, a[0]));
        if (n == 0) raise(err::InvalidCall);
        std::string src = a.n > 1 && !a[1].isEmpty() ? toString(a[1]) : "";
        std::string desc = a.n > 2 && !a[2].isEmpty() ? toString(a[2]) : errorText(n);
        if (desc.empty()) desc = "Unknown runtime error";
        throw ScriptError{n, desc, src, 0, 0, {}, {}, {}};
      }
      case 5: in.clearErr(); return;
      case 6: r = Variant::str(""); return;
      case 7: r = Variant::lng(0); return;
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
