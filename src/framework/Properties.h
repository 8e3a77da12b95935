// Published properties: each persistent class lists its stored settings with
// their kinds, defaults and "stored" rules, so that forms can be read from and
// written to form texts, and sub-objects can be copied with Assign.
#pragma once

#include <any>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "SysUtils.h"

class TPersistent;
class TComponent;

// Values as they stand in a form text.
struct TIdent {
  std::string name;
  bool operator==(const TIdent& o) const { return name == o.name; }
  bool operator!=(const TIdent& o) const { return name != o.name; }
};
struct TSetValue {
  std::vector<std::string> items;
  bool operator==(const TSetValue& o) const { return items == o.items; }
  bool operator!=(const TSetValue& o) const { return items != o.items; }
};
using TStringsValue = std::vector<std::string>;
using TValue = std::variant<std::monostate, bool, long long, std::string, TStringsValue, TBytes,
                            TIdent, TSetValue>;

enum class TPropKind { Bool, Integer, String, Strings, Binary, Enum, Set, Event, Object };

// Symbolic names an integer property accepts (colours, character sets).
using TIdentMap = std::vector<std::pair<const char*, long long>>;

struct TPropInfo {
  std::string name;
  TPropKind kind = TPropKind::Integer;
  std::function<TValue(const TPersistent&)> get;
  // root: the component whose published methods event names refer to.
  std::function<void(TPersistent&, const TValue&, TComponent* root)> set;
  // When set, decides whether the value is written; otherwise it is written
  // when it differs from the default (or always, when there is none).
  std::function<bool(const TPersistent&)> stored;
  std::optional<TValue> defaultValue;
  std::function<TPersistent*(const TPersistent&)> object;  // sub-object properties
  bool IsStored(const TPersistent& instance) const;
};

// A published component field: the reader creates the component of the field's
// class and stores it in the field of the root.
struct TFieldInfo {
  std::string name;
  std::string className;
  std::function<TComponent*(TComponent* owner)> create;
  std::function<void(TComponent* root, TComponent* value)> assign;
};

// A published method: bound to the root object when a form text names it.
struct TMethodInfo {
  std::string name;
  std::function<std::any(TObject* root)> bind;
};

struct TClassInfo {
  std::string className;
  const TClassInfo* parent = nullptr;
  std::vector<TPropInfo> props;
  std::vector<TFieldInfo> fields;
  std::vector<TMethodInfo> methods;

  // Searches this class, then its ancestors.
  const TPropInfo* FindProp(const std::string& name) const;
  const TFieldInfo* FindField(const std::string& name) const;
  const TMethodInfo* FindMethod(const std::string& name) const;
  // All properties, ancestors' first, in declaration order.
  std::vector<const TPropInfo*> AllProps() const;
};

// An event: a handler plus the name of the published method it was bound to
// (kept so a form text can be written back).
template <typename... Args>
struct TEvent {
  using Handler = std::function<void(Args...)>;
  Handler handler;
  std::string methodName;

  TEvent& operator=(Handler h) {
    handler = std::move(h);
    methodName.clear();
    return *this;
  }
  explicit operator bool() const { return static_cast<bool>(handler); }
  void operator()(Args... args) const {
    if (handler) handler(args...);
  }
};
using TNotifyEvent = TEvent<TObject*>;

// The error for a form text value that does not fit its property.
EReadError PropertyError(const std::string& prop, const char* expected);

template <typename T>
struct NonDeduced {
  using type = T;
};

// Builders for property tables of class C. The ...Field variants bind a data
// member; the others take a getter and a setter.
template <typename C>
struct Props {
  template <typename T>
  static T As(const TValue& v, const std::string& prop, const char* expected) {
    if (auto p = std::get_if<T>(&v)) return *p;
    throw PropertyError(prop, expected);
  }

  static TPropInfo BoolField(const char* name, bool C::*field, std::optional<bool> def = {}) {
    return Bool(
        name, [field](const C& c) { return c.*field; }, [field](C& c, bool v) { c.*field = v; },
        def);
  }
  template <typename G, typename S>
  static TPropInfo Bool(const char* name, G get, S set, std::optional<bool> def = {}) {
    TPropInfo p;
    p.name = name;
    p.kind = TPropKind::Bool;
    p.get = [get](const TPersistent& o) { return TValue(get(static_cast<const C&>(o))); };
    p.set = [set, n = p.name](TPersistent& o, const TValue& v, TComponent*) {
      set(static_cast<C&>(o), As<bool>(v, n, "True or False"));
    };
    if (def) p.defaultValue = TValue(*def);
    return p;
  }

  static TPropInfo IntField(const char* name, int C::*field, std::optional<int> def = {},
                            const TIdentMap* idents = nullptr) {
    return Int(
        name, [field](const C& c) { return c.*field; }, [field](C& c, int v) { c.*field = v; }, def,
        idents);
  }
  template <typename G, typename S>
  static TPropInfo Int(const char* name, G get, S set, std::optional<int> def = {},
                       const TIdentMap* idents = nullptr) {
    TPropInfo p;
    p.name = name;
    p.kind = TPropKind::Integer;
    p.get = [get, idents](const TPersistent& o) {
      long long value = get(static_cast<const C&>(o));
      if (idents)
        for (auto& [ident, v] : *idents)
          if (v == value) return TValue(TIdent{ident});
      return TValue(value);
    };
    p.set = [set, idents, n = p.name](TPersistent& o, const TValue& v, TComponent*) {
      if (auto ident = std::get_if<TIdent>(&v); ident && idents) {
        for (auto& [name, value] : *idents)
          if (name == ident->name) return set(static_cast<C&>(o), static_cast<int>(value));
      }
      set(static_cast<C&>(o), static_cast<int>(As<long long>(v, n, "an integer")));
    };
    if (def) p.defaultValue = TValue(static_cast<long long>(*def));
    if (def && idents)
      for (auto& [ident, v] : *idents)
        if (v == *def) p.defaultValue = TValue(TIdent{ident});
    return p;
  }

  static TPropInfo StrField(const char* name, std::string C::*field) {
    return Str(
        name, [field](const C& c) { return c.*field; },
        [field](C& c, const std::string& v) { c.*field = v; });
  }
  // Strings stand in the form text as UTF-8 and in the program as ANSI.
  template <typename G, typename S>
  static TPropInfo Str(const char* name, G get, S set) {
    TPropInfo p;
    p.name = name;
    p.kind = TPropKind::String;
    p.get = [get](const TPersistent& o) {
      return TValue(std::string(get(static_cast<const C&>(o))));
    };
    p.set = [set, n = p.name](TPersistent& o, const TValue& v, TComponent*) {
      set(static_cast<C&>(o), As<std::string>(v, n, "a string"));
    };
    p.defaultValue = TValue(std::string());
    return p;
  }

  static TPropInfo StringsField(const char* name, TStringsValue C::*field) {
    return Strings(
        name, [field](const C& c) { return c.*field; },
        [field](C& c, const TStringsValue& v) { c.*field = v; });
  }
  template <typename G, typename S>
  static TPropInfo Strings(const char* name, G get, S set) {
    TPropInfo p;
    p.name = name;
    p.kind = TPropKind::Strings;
    p.get = [get](const TPersistent& o) {
      return TValue(TStringsValue(get(static_cast<const C&>(o))));
    };
    p.set = [set, n = p.name](TPersistent& o, const TValue& v, TComponent*) {
      set(static_cast<C&>(o), As<TStringsValue>(v, n, "a list of strings"));
    };
    p.defaultValue = TValue(TStringsValue());
    return p;
  }

  template <typename G, typename S>
  static TPropInfo Binary(const char* name, G get, S set) {
    TPropInfo p;
    p.name = name;
    p.kind = TPropKind::Binary;
    p.get = [get](const TPersistent& o) { return TValue(TBytes(get(static_cast<const C&>(o)))); };
    p.set = [set, n = p.name](TPersistent& o, const TValue& v, TComponent*) {
      set(static_cast<C&>(o), As<TBytes>(v, n, "binary data"));
    };
    p.defaultValue = TValue(TBytes());
    return p;
  }

  // names[i] is the form text name of the enumeration value i.
  template <typename E>
  static TPropInfo EnumField(const char* name, E C::*field, const std::vector<const char*>& names,
                             std::optional<typename NonDeduced<E>::type> def = {}) {
    return Enum<E>(
        name, [field](const C& c) { return c.*field; }, [field](C& c, E v) { c.*field = v; }, names,
        def);
  }
  template <typename E, typename G, typename S>
  static TPropInfo Enum(const char* name, G get, S set, const std::vector<const char*>& names,
                        std::optional<typename NonDeduced<E>::type> def = {}) {
    TPropInfo p;
    p.name = name;
    p.kind = TPropKind::Enum;
    p.get = [get, names](const TPersistent& o) {
      size_t i = static_cast<size_t>(get(static_cast<const C&>(o)));
      return TValue(TIdent{i < names.size() ? names[i] : "?"});
    };
    p.set = [set, names, n = p.name](TPersistent& o, const TValue& v, TComponent*) {
      auto ident = As<TIdent>(v, n, "a name");
      for (size_t i = 0; i < names.size(); ++i)
        if (ident.name == names[i]) return set(static_cast<C&>(o), static_cast<E>(i));
      throw PropertyError(n, "one of its names");
    };
    if (def) p.defaultValue = TValue(TIdent{names[static_cast<size_t>(*def)]});
    return p;
  }

  // A set held as bits: bit i is names[i].
  template <typename G, typename S>
  static TPropInfo Set(const char* name, G get, S set, const std::vector<const char*>& names,
                       std::optional<unsigned> def = {}) {
    TPropInfo p;
    p.name = name;
    p.kind = TPropKind::Set;
    auto toValue = [names](unsigned bits) {
      TSetValue s;
      for (size_t i = 0; i < names.size(); ++i)
        if (bits & (1u << i)) s.items.push_back(names[i]);
      return TValue(s);
    };
    p.get = [get, toValue](const TPersistent& o) { return toValue(get(static_cast<const C&>(o))); };
    p.set = [set, names, n = p.name](TPersistent& o, const TValue& v, TComponent*) {
      unsigned bits = 0;
      for (auto& item : As<TSetValue>(v, n, "a set").items) {
        size_t i = 0;
        while (i < names.size() && item != names[i]) ++i;
        if (i == names.size()) throw PropertyError(n, "a set of its names");
        bits |= 1u << i;
      }
      set(static_cast<C&>(o), bits);
    };
    if (def) p.defaultValue = toValue(*def);
    return p;
  }

  // An event bound by the name of a published method of the root.
  template <typename... Args>
  static TPropInfo Event(const char* name, TEvent<Args...> C::*field);

  // A persistent sub-object owned by the instance; written as Name.Prop = value.
  template <typename G>
  static TPropInfo Object(const char* name, G get) {
    TPropInfo p;
    p.name = name;
    p.kind = TPropKind::Object;
    p.object = [get](const TPersistent& o) -> TPersistent* {
      return get(const_cast<C&>(static_cast<const C&>(o)));
    };
    return p;
  }

  static TPropInfo StoredWhen(TPropInfo p, std::function<bool(const C&)> rule) {
    p.stored = [rule](const TPersistent& o) { return rule(static_cast<const C&>(o)); };
    return p;
  }

  // A published component field of a root form.
  template <typename T>
  static TFieldInfo Field(const char* name, T* C::*field) {
    return TFieldInfo{name, T::StaticClass().className,
                      [](TComponent* owner) -> TComponent* { return new T(owner); },
                      [field](TComponent* root, TComponent* value) {
                        static_cast<C*>(root)->*field = static_cast<T*>(value);
                      }};
  }

  // A published method, usable as a handler of events with the same arguments.
  template <typename... Args>
  static TMethodInfo Method(const char* name, void (C::*method)(Args...)) {
    return TMethodInfo{name, [method](TObject* root) -> std::any {
                         C* self = static_cast<C*>(root);
                         return std::function<void(Args...)>(
                             [self, method](Args... args) { (self->*method)(args...); });
                       }};
  }
};

// Finds the published method `name` on root and binds it as a handler of the
// given type; raises EReadError when it is missing or of another type.
std::any BindPublishedMethod(TComponent* root, const std::string& name);

template <typename C>
template <typename... Args>
TPropInfo Props<C>::Event(const char* name, TEvent<Args...> C::*field) {
  TPropInfo p;
  p.name = name;
  p.kind = TPropKind::Event;
  p.get = [field](const TPersistent& o) {
    const auto& event = static_cast<const C&>(o).*field;
    return event.methodName.empty() ? TValue() : TValue(TIdent{event.methodName});
  };
  p.set = [field, n = p.name](TPersistent& o, const TValue& v, TComponent* root) {
    auto ident = As<TIdent>(v, n, "a method name");
    auto& event = static_cast<C&>(o).*field;
    std::any bound = BindPublishedMethod(root, ident.name);
    auto* handler = std::any_cast<typename TEvent<Args...>::Handler>(&bound);
    if (!handler) throw PropertyError(n, "a method with matching arguments");
    event.handler = *handler;
    event.methodName = ident.name;
  };
  p.stored = [field](const TPersistent& o) {
    return !(static_cast<const C&>(o).*field).methodName.empty();
  };
  return p;
}
