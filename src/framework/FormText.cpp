#include "FormText.h"

#include <cctype>

namespace {

class TParser {
 public:
  explicit TParser(const std::string& text) : s_(text) {}

  TFormObject ParseObject() {
    SkipSpace();
    ExpectWord("object");
    TFormObject obj;
    obj.name = Identifier();
    SkipSpace();
    Expect(':');
    obj.className = Identifier();
    for (;;) {
      SkipSpace();
      if (AtEnd()) throw Error("missing 'end'");
      std::string word = PeekPath();
      if (word == "end") {
        pos_ += 3;
        return obj;
      }
      if (word == "object") {
        obj.children.push_back(ParseObject());
        continue;
      }
      std::string path = Path();
      SkipSpace();
      Expect('=');
      obj.props.emplace_back(path, Value());
    }
  }

  void ExpectEnd() {
    SkipSpace();
    if (!AtEnd()) throw Error("text after the last 'end'");
  }

 private:
  EReadError Error(const std::string& what) const {
    int line = 1;
    for (size_t i = 0; i < pos_ && i < s_.size(); ++i)
      if (s_[i] == '\n') ++line;
    return EReadError("Form text, line " + std::to_string(line) + ": " + what);
  }
  bool AtEnd() const { return pos_ >= s_.size(); }
  char Peek() const { return AtEnd() ? '\0' : s_[pos_]; }

  void SkipSpace() {
    while (!AtEnd()) {
      if (std::isspace(static_cast<unsigned char>(Peek()))) {
        ++pos_;
      } else if (s_.compare(pos_, 2, "//") == 0) {
        while (!AtEnd() && Peek() != '\n') ++pos_;
      } else {
        break;
      }
    }
  }
  void Expect(char c) {
    SkipSpace();
    if (Peek() != c) throw Error(std::string("expected '") + c + "'");
    ++pos_;
  }
  static bool IsIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  }
  std::string Identifier() {
    SkipSpace();
    size_t start = pos_;
    while (!AtEnd() && IsIdentChar(Peek())) ++pos_;
    if (start == pos_ || std::isdigit(static_cast<unsigned char>(s_[start])))
      throw Error("expected a name");
    return s_.substr(start, pos_ - start);
  }
  std::string PeekPath() {
    size_t save = pos_;
    std::string word;
    while (!AtEnd() && (IsIdentChar(Peek()) || Peek() == '.')) word += s_[pos_++];
    pos_ = save;
    return word;
  }
  std::string Path() {
    std::string path = Identifier();
    while (Peek() == '.') {
      ++pos_;
      path += "." + Identifier();
    }
    return path;
  }
  void ExpectWord(const char* word) {
    if (Identifier() != word) throw Error(std::string("expected '") + word + "'");
  }

  TValue Value() {
    SkipSpace();
    char c = Peek();
    if (c == '"') return String();
    if (c == '(') return List();
    if (c == '{') return Binary();
    if (c == '[') return Set();
    if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) return Integer();
    std::string ident = Identifier();
    if (ident == "True") return true;
    if (ident == "False") return false;
    return TIdent{ident};
  }
  TValue Integer() {
    size_t start = pos_;
    if (Peek() == '-') ++pos_;
    while (std::isdigit(static_cast<unsigned char>(Peek()))) ++pos_;
    std::string digits = s_.substr(start, pos_ - start);
    if (digits.empty() || digits == "-") throw Error("expected a number");
    return std::stoll(digits);
  }
  std::string String() {
    Expect('"');
    std::string out;
    for (;;) {
      if (AtEnd() || Peek() == '\n') throw Error("unterminated string");
      char c = s_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      char e = AtEnd() ? '\0' : s_[pos_++];
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case 'x': {
          if (pos_ + 2 > s_.size()) throw Error("bad \\x escape");
          out += static_cast<char>(std::stoi(s_.substr(pos_, 2), nullptr, 16));
          pos_ += 2;
          break;
        }
        default:
          throw Error("unknown escape");
      }
    }
  }
  TValue List() {
    Expect('(');
    TStringsValue items;
    for (;;) {
      SkipSpace();
      if (Peek() == ')') {
        ++pos_;
        return items;
      }
      items.push_back(String());
    }
  }
  TValue Binary() {
    Expect('{');
    TBytes bytes;
    std::string hex;
    for (;;) {
      SkipSpace();
      if (AtEnd()) throw Error("unterminated binary value");
      char c = s_[pos_++];
      if (c == '}') break;
      if (!std::isxdigit(static_cast<unsigned char>(c))) throw Error("bad hex digit");
      hex += c;
    }
    if (hex.size() % 2) throw Error("odd number of hex digits");
    for (size_t i = 0; i < hex.size(); i += 2)
      bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
  }
  TValue Set() {
    Expect('[');
    TSetValue set;
    SkipSpace();
    if (Peek() == ']') {
      ++pos_;
      return set;
    }
    for (;;) {
      set.items.push_back(Identifier());
      SkipSpace();
      if (Peek() == ']') {
        ++pos_;
        return set;
      }
      Expect(',');
    }
  }

  const std::string& s_;
  size_t pos_ = 0;
};

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char hex[8];
          wsprintfA(hex, "\\x%02X", static_cast<unsigned char>(c));
          out += hex;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string FormatValue(const TValue& value, const std::string& indent) {
  struct Visitor {
    const std::string& indent;
    std::string operator()(std::monostate) const { return "\"\""; }
    std::string operator()(bool b) const { return b ? "True" : "False"; }
    std::string operator()(long long n) const { return std::to_string(n); }
    std::string operator()(const std::string& s) const { return Quote(s); }
    std::string operator()(const TIdent& i) const { return i.name; }
    std::string operator()(const TStringsValue& list) const {
      std::string out = "(";
      for (const auto& item : list) out += "\n" + indent + "  " + Quote(item);
      return out + ")";
    }
    std::string operator()(const TBytes& bytes) const {
      std::string out = "{";
      for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 32 == 0) out += "\n" + indent + "  ";
        char hex[4];
        wsprintfA(hex, "%02X", bytes[i]);
        out += hex;
      }
      return out + "}";
    }
    std::string operator()(const TSetValue& set) const {
      std::string out = "[";
      for (size_t i = 0; i < set.items.size(); ++i) out += (i ? ", " : "") + set.items[i];
      return out + "]";
    }
  };
  return std::visit(Visitor{indent}, value);
}

void FormatObject(const TFormObject& obj, const std::string& indent, std::string& out) {
  out += indent + "object " + obj.name + ": " + obj.className + "\n";
  for (const auto& [path, value] : obj.props)
    out += indent + "  " + path + " = " + FormatValue(value, indent + "  ") + "\n";
  for (const auto& child : obj.children) FormatObject(child, indent + "  ", out);
  out += indent + "end\n";
}

// String values live in the text as UTF-8 and in the program as ANSI.
TValue ToProgram(const TValue& value) {
  if (auto s = std::get_if<std::string>(&value)) return Utf8ToAnsi(*s);
  if (auto list = std::get_if<TStringsValue>(&value)) {
    TStringsValue out;
    for (const auto& item : *list) out.push_back(Utf8ToAnsi(item));
    return out;
  }
  return value;
}

TValue ToText(const TValue& value) {
  if (auto s = std::get_if<std::string>(&value)) return AnsiToUtf8(*s);
  if (auto list = std::get_if<TStringsValue>(&value)) {
    TStringsValue out;
    for (const auto& item : *list) out.push_back(AnsiToUtf8(item));
    return out;
  }
  return value;
}

void SetPath(TComponent* root, TPersistent* instance, const std::string& path,
             const TValue& value) {
  size_t dot = path.find('.');
  std::string head = path.substr(0, dot);
  const TPropInfo* prop = instance->ClassInfo().FindProp(head);
  if (!prop) throw EReadError("Property " + path + " does not exist in " + instance->ClassName());
  if (dot != std::string::npos) {
    if (prop->kind != TPropKind::Object) throw EReadError("Property " + head + " has no parts");
    SetPath(root, prop->object(*instance), path.substr(dot + 1), value);
    return;
  }
  if (prop->kind == TPropKind::Object || !prop->set)
    throw EReadError("Property " + path + " cannot be set");
  prop->set(*instance, ToProgram(value), root);
}

void ReadObject(TComponent* root, TComponent* instance, const TFormObject& obj,
                std::vector<TComponent*>& loaded) {
  for (const auto& [path, value] : obj.props) SetPath(root, instance, path, value);
  for (const auto& child : obj.children) {
    const TFieldInfo* field = root->ClassInfo().FindField(child.name);
    if (!field) throw EReadError("Field " + child.name + " not found in " + root->ClassName());
    if (!SameText(field->className, child.className))
      throw EReadError("Field " + child.name + " is not a " + child.className);
    TComponent* component = field->create(root);
    component->SetLoading();
    component->SetName(child.name);
    field->assign(root, component);
    component->SetParentComponent(instance);
    loaded.push_back(component);
    ReadObject(root, component, child, loaded);
  }
}

void WriteProps(const TPersistent& instance, const std::string& prefix,
                std::vector<std::pair<std::string, TValue>>& out) {
  for (const TPropInfo* prop : instance.ClassInfo().AllProps()) {
    if (prop->kind == TPropKind::Object) {
      if (const TPersistent* sub = prop->object(instance))
        WriteProps(*sub, prefix + prop->name + ".", out);
      continue;
    }
    if (prop->IsStored(instance))
      out.emplace_back(prefix + prop->name, ToText(prop->get(instance)));
  }
}

void WriteChildren(const TComponent* root, const TComponent* container, TFormObject& obj) {
  for (const TComponent* c : root->Components()) {
    if (c->Name().empty()) continue;
    const TComponent* parent = c->ParentComponent();
    if (parent == container || (container == root && parent == nullptr)) {
      TFormObject child;
      child.name = c->Name();
      child.className = c->ClassName();
      WriteProps(*c, "", child.props);
      WriteChildren(root, c, child);
      obj.children.push_back(std::move(child));
    }
  }
}

}  // namespace

TFormObject ParseFormText(const std::string& text) {
  TParser parser(text);
  TFormObject obj = parser.ParseObject();
  parser.ExpectEnd();
  return obj;
}

std::string FormatFormText(const TFormObject& object) {
  std::string out;
  FormatObject(object, "", out);
  return out;
}

void ReadComponent(TComponent* root, const TFormObject& object) {
  if (!SameText(object.className, root->ClassName()))
    throw EReadError("Form text is for " + object.className + ", not " + root->ClassName());
  std::vector<TComponent*> loaded{root};
  root->SetLoading();
  root->SetName(object.name);
  try {
    ReadObject(root, root, object, loaded);
  } catch (...) {
    for (TComponent* c : loaded) c->Loaded();
    throw;
  }
  for (TComponent* c : loaded) c->Loaded();
}

TFormObject WriteComponent(const TComponent* root) {
  TFormObject obj;
  obj.name = root->Name();
  obj.className = root->ClassName();
  WriteProps(*root, "", obj.props);
  WriteChildren(root, root, obj);
  return obj;
}

bool ReadComponentResource(TComponent* root, HINSTANCE instance) {
  if (!instance) instance = GetModuleHandleA(nullptr);
  std::string name = UpperCase(root->ClassName());
  HRSRC info = FindResourceA(instance, name.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (!info) return false;
  HGLOBAL data = LoadResource(instance, info);
  const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
  if (!bytes) throw LastOSError();
  std::string text(bytes, SizeofResource(instance, info));
  ReadComponent(root, ParseFormText(text));
  return true;
}
