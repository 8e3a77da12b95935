#include "Properties.h"

#include "Component.h"

#include <algorithm>

bool TPropInfo::IsStored(const TPersistent& instance) const {
  if (stored) return stored(instance);
  if (!defaultValue) return true;
  return get(instance) != *defaultValue;
}

const TPropInfo* TClassInfo::FindProp(const std::string& name) const {
  for (const TClassInfo* c = this; c; c = c->parent)
    for (const TPropInfo& p : c->props)
      if (SameText(p.name, name)) return &p;
  return nullptr;
}

const TFieldInfo* TClassInfo::FindField(const std::string& name) const {
  for (const TClassInfo* c = this; c; c = c->parent)
    for (const TFieldInfo& f : c->fields)
      if (SameText(f.name, name)) return &f;
  return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(const std::string& name) const {
  for (const TClassInfo* c = this; c; c = c->parent)
    for (const TMethodInfo& m : c->methods)
      if (SameText(m.name, name)) return &m;
  return nullptr;
}

std::vector<const TPropInfo*> TClassInfo::AllProps() const {
  std::vector<const TPropInfo*> result;
  if (parent) result = parent->AllProps();
  for (const TPropInfo& p : props) {
    // A class may redeclare an ancestor's property with another default.
    auto same = std::find_if(result.begin(), result.end(),
                             [&](const TPropInfo* q) { return SameText(q->name, p.name); });
    if (same != result.end())
      *same = &p;
    else
      result.push_back(&p);
  }
  return result;
}

EReadError PropertyError(const std::string& prop, const char* expected) {
  return EReadError("Invalid value for property " + prop + ": expected " + expected);
}

std::any BindPublishedMethod(TComponent* root, const std::string& name) {
  const TMethodInfo* method = root ? root->ClassInfo().FindMethod(name) : nullptr;
  if (!method) throw EReadError("Method " + name + " not found");
  return method->bind(root);
}
