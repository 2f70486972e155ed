// Scripting.FileSystemObject with TextStream, Folder and File objects (the subset scripts use).
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "builtins.h"
#include "native.h"

namespace fs = std::filesystem;

namespace quillon::vbs {

namespace {

class TextStream : public NativeObject {
 public:
  TextStream(std::string path, int mode) : mode_(mode) {
    if (mode == 1) {
      std::ifstream in(path, std::ios::binary);
      if (!in) raise(err::FileNotFound);
      std::stringstream ss;
      ss << in.rdbuf();
      data_ = ss.str();
    } else {
      out_.open(path, mode == 8 ? std::ios::binary | std::ios::app : std::ios::binary | std::ios::trunc);
      if (!out_) raise(err::PathNotFound);
    }
  }
  std::string typeName() const override { return "TextStream"; }
  void invoke(Interp&, int id, CallKind, Args a, Variant& r) override {
    switch (id) {
      case kReadLine: {
        reading();
        if (pos_ >= data_.size()) raise(err::InputPastEnd);
        size_t e = data_.find('\n', pos_);
        std::string line = data_.substr(pos_, e == std::string::npos ? std::string::npos : e - pos_);
        pos_ = e == std::string::npos ? data_.size() : e + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ++line_;
        r = Variant::str(std::move(line));
        return;
      }
      case kReadAll:
        reading();
        if (pos_ >= data_.size()) raise(err::InputPastEnd);
        r = Variant::str(data_.substr(pos_));
        pos_ = data_.size();
        return;
      case kRead: {
        reading();
        size_t n = static_cast<size_t>(std::max(0, toLong(a[0])));
        r = Variant::str(data_.substr(pos_, n));
        pos_ = std::min(data_.size(), pos_ + n);
        return;
      }
      case kSkipLine: {
        Variant dummy;
        Interp* in = currentInterp();
        invoke(*in, kReadLine, CallKind::Call, Args{}, dummy);
        return;
      }
      case kAtEndOfStream: reading(); r = Variant::boolean(pos_ >= data_.size()); return;
      case kWrite: writing(); out_ << toString(a[0]); return;
      case kWriteLine: writing(); out_ << (a.n ? toString(a[0]) : std::string()) << "\r\n"; return;
      case kWriteBlankLines: writing(); for (int i = 0; i < toLong(a[0]); ++i) out_ << "\r\n"; return;
      case kClose: if (out_.is_open()) out_.close(); closed_ = true; return;
      case kLine: r = Variant::lng(line_); return;
      default: raise(err::NoMember);
    }
  }
 protected:
  const MemberTable& table() const override {
    static const MemberTable t{"readline", "readall", "read", "skipline", "atendofstream", "write", "writeline",
                               "writeblanklines", "close", "line"};
    return t;
  }
 private:
  enum { kReadLine = 1, kReadAll, kRead, kSkipLine, kAtEndOfStream, kWrite, kWriteLine, kWriteBlankLines, kClose, kLine };
  void reading() { if (mode_ != 1 || closed_) raise(err::BadFileMode); }
  void writing() { if (mode_ == 1 || closed_) raise(err::BadFileMode); }
  int mode_;
  std::string data_;
  size_t pos_ = 0;
  int32_t line_ = 1;
  std::ofstream out_;
  bool closed_ = false;
};

class FileItem : public NativeObject {
 public:
  FileItem(fs::path p, bool folder) : p_(std::move(p)), folder_(folder) {}
  std::string typeName() const override { return folder_ ? "Folder" : "File"; }
  void invoke(Interp&, int id, CallKind, Args, Variant& r) override {
    std::error_code ec;
    switch (id) {
      case 0: case 2: r = Variant::str(p_.string()); return;
      case 1: r = Variant::str(p_.filename().string()); return;
      case 3:
        r = Variant::dbl(folder_ ? 0.0 : static_cast<double>(fs::file_size(p_, ec)));
        return;
      case 4: case 5: {
        if (!folder_) raise(err::NoMember);
        std::vector<Variant> items;
        for (auto& e : fs::directory_iterator(p_, ec)) {
          bool dir = e.is_directory(ec);
          if (dir == (id == 5)) items.push_back(Variant::object(new FileItem(e.path(), dir)));
        }
        std::sort(items.begin(), items.end(), [](const Variant& x, const Variant& y) {
          return static_cast<FileItem*>(x.obj())->p_ < static_cast<FileItem*>(y.obj())->p_;
        });
        r = Variant::object(new Collection(std::move(items)));
        return;
      }
      case 6: r = Variant::str(p_.parent_path().string()); return;
      default: raise(err::NoMember);
    }
  }
 protected:
  const MemberTable& table() const override {
    static const MemberTable t{"name", "path", "size", "files", "subfolders", "parentfolder"};
    return t;
  }
 private:
  class Collection : public NativeObject {
   public:
    explicit Collection(std::vector<Variant> v) : items_(std::move(v)) {}
    std::string typeName() const override { return "Files"; }
    void invoke(Interp&, int id, CallKind, Args a, Variant& r) override {
      if (id == 1) { r = Variant::lng(static_cast<int32_t>(items_.size())); return; }
      if (id == 0 || id == 2) {
        needArgs(a, 1, 1);
        std::string n = toString(a[0]);
        for (auto& v : items_)
          if (static_cast<FileItem*>(v.obj())->p_.filename() == n) { r = v; return; }
        raise(err::FileNotFound);
      }
      raise(err::NoMember);
    }
    bool enumerate(Interp&, std::vector<Variant>& out) override { out = items_; return true; }
   protected:
    const MemberTable& table() const override { static const MemberTable t{"count", "item"}; return t; }
   private:
    std::vector<Variant> items_;
  };
  fs::path p_;
  bool folder_;
};

class FileSystem : public NativeObject {
 public:
  std::string typeName() const override { return "FileSystemObject"; }
  void invoke(Interp&, int id, CallKind, Args a, Variant& r) override {
    std::error_code ec;
    auto path = [&](int i) { return fs::path(toString(a[i])); };
    switch (id) {
      case kFileExists: needArgs(a, 1, 1); r = Variant::boolean(fs::is_regular_file(path(0), ec)); return;
      case kFolderExists: needArgs(a, 1, 1); r = Variant::boolean(fs::is_directory(path(0), ec)); return;
      case kCreateFolder:
        needArgs(a, 1, 1);
        if (fs::exists(path(0), ec)) raise(err::FileExists);
        if (!fs::create_directory(path(0), ec)) raise(err::PathNotFound);
        r = Variant::object(new FileItem(path(0), true));
        return;
      case kOpenTextFile: {
        needArgs(a, 1, 4);
        int mode = a.n > 1 ? toLong(a[1]) : 1;
        bool create = a.n > 2 && toBool(a[2]);
        if (mode != 1 && mode != 2 && mode != 8) raise(err::InvalidCall);
        if (mode != 1 && !create && !fs::exists(path(0), ec)) raise(err::FileNotFound);
        r = Variant::object(new TextStream(path(0).string(), mode));
        return;
      }
      case kCreateTextFile: {
        needArgs(a, 1, 3);
        bool overwrite = a.n > 1 ? toBool(a[1]) : true;
        if (!overwrite && fs::exists(path(0), ec)) raise(err::FileExists);
        r = Variant::object(new TextStream(path(0).string(), 2));
        return;
      }
      case kCopyFile: {
        needArgs(a, 2, 3);
        bool overwrite = a.n > 2 ? toBool(a[2]) : true;
        fs::path from = path(0), to = path(1);
        if (!fs::is_regular_file(from, ec)) raise(err::FileNotFound);
        if (fs::is_directory(to, ec)) to /= from.filename();
        if (!overwrite && fs::exists(to, ec)) raise(err::FileExists);
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
        if (ec) raise(err::PermissionDenied);
        return;
      }
      case kDeleteFile:
        needArgs(a, 1, 2);
        if (!fs::is_regular_file(path(0), ec)) raise(err::FileNotFound);
        if (!fs::remove(path(0), ec)) raise(err::PermissionDenied);
        return;
      case kDeleteFolder:
        needArgs(a, 1, 2);
        if (!fs::is_directory(path(0), ec)) raise(err::PathNotFound);
        fs::remove_all(path(0), ec);
        return;
      case kGetFolder:
        needArgs(a, 1, 1);
        if (!fs::is_directory(path(0), ec)) raise(err::PathNotFound);
        r = Variant::object(new FileItem(path(0), true));
        return;
      case kGetFile:
        needArgs(a, 1, 1);
        if (!fs::is_regular_file(path(0), ec)) raise(err::FileNotFound);
        r = Variant::object(new FileItem(path(0), false));
        return;
      case kBuildPath: {
        needArgs(a, 2, 2);
        std::string p = toString(a[0]), n = toString(a[1]);
        if (!p.empty() && p.back() != '/' && p.back() != '\\') p += '/';
        r = Variant::str(p + n);
        return;
      }
      case kGetFileName: needArgs(a, 1, 1); r = Variant::str(path(0).filename().string()); return;
      case kGetBaseName: needArgs(a, 1, 1); r = Variant::str(path(0).stem().string()); return;
      case kGetExtensionName: {
        needArgs(a, 1, 1);
        std::string e = path(0).extension().string();
        r = Variant::str(e.empty() ? e : e.substr(1));
        return;
      }
      case kGetParentFolderName: needArgs(a, 1, 1); r = Variant::str(path(0).parent_path().string()); return;
      case kGetAbsolutePathName: needArgs(a, 1, 1); r = Variant::str(fs::absolute(path(0), ec).string()); return;
      case kGetTempName: r = Variant::str("rad" + std::to_string(++temp_) + ".tmp"); return;
      default: raise(err::NoMember);
    }
  }
 protected:
  const MemberTable& table() const override {
    static const MemberTable t{"fileexists", "folderexists", "createfolder", "opentextfile", "createtextfile",
                               "copyfile", "deletefile", "deletefolder", "getfolder", "getfile", "buildpath",
                               "getfilename", "getbasename", "getextensionname", "getparentfoldername",
                               "getabsolutepathname", "gettempname"};
    return t;
  }
 private:
  enum { kFileExists = 1, kFolderExists, kCreateFolder, kOpenTextFile, kCreateTextFile, kCopyFile, kDeleteFile,
         kDeleteFolder, kGetFolder, kGetFile, kBuildPath, kGetFileName, kGetBaseName, kGetExtensionName,
         kGetParentFolderName, kGetAbsolutePathName, kGetTempName };
  int temp_ = 0;
};

}  // namespace

Object* makeFileSystemObject() { return new FileSystem(); }

}  // namespace quillon::vbs
