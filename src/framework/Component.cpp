#include "Component.h"

#include <algorithm>

const TClassInfo& TPersistent::StaticClass() {
  static const TClassInfo info{"TPersistent", nullptr, {}, {}, {}};
  return info;
}

void TPersistent::Assign(const TPersistent* source) {
  for (const TPropInfo* prop : ClassInfo().AllProps()) {
    if (prop->kind == TPropKind::Object) {
      TPersistent* mine = prop->object(*this);
      if (mine) mine->Assign(source ? prop->object(*source) : nullptr);
      continue;
    }
    if (prop->kind == TPropKind::Event || !prop->set) continue;
    if (source)
      prop->set(*this, prop->get(*source), nullptr);
    else if (prop->defaultValue)
      prop->set(*this, *prop->defaultValue, nullptr);
  }
}

const TClassInfo& TComponent::StaticClass() {
  // The name stands in the object's header of a form text, not among its values.
  static const TClassInfo info{"TComponent", &TPersistent::StaticClass(), {}, {}, {}};
  return info;
}

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    delete last;  // removes itself from components_
  }
}

void TComponent::InsertComponent(TComponent* child) {
  child->owner_ = this;
  components_.push_back(child);
}

void TComponent::RemoveComponent(TComponent* child) {
  auto it = std::find(components_.begin(), components_.end(), child);
  if (it != components_.end()) components_.erase(it);
  child->owner_ = nullptr;
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  for (TComponent* c : components_)
    if (SameText(c->Name(), name)) return c;
  return nullptr;
}

void TComponent::SetDesigning(bool on) {
  if (on)
    state_ |= csDesigning;
  else
    state_ &= ~csDesigning;
}

void TComponent::Loaded() {
  state_ &= ~csLoading;
}
