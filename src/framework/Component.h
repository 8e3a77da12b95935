// Persistent objects and components: owners that destroy what they own,
// names, component state, and the class information that form texts use.
#pragma once

#include <string>
#include <vector>

#include "Properties.h"

class TPersistent : public TObject {
 public:
  static const TClassInfo& StaticClass();
  virtual const TClassInfo& ClassInfo() const { return StaticClass(); }
  const std::string& ClassName() const { return ClassInfo().className; }

  // Copies the published properties of source (of the same class), or resets
  // them to their defaults when source is null. Sub-objects are copied too.
  virtual void Assign(const TPersistent* source);
};

enum TComponentStateFlag : unsigned {
  csLoading = 1u << 0,
  csDesigning = 1u << 1,
  csDestroying = 1u << 2,
};

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  TComponent* Owner() const { return owner_; }
  const std::vector<TComponent*>& Components() const { return components_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* FindComponent(const std::string& name) const;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }

  unsigned ComponentState() const { return state_; }
  bool IsLoading() const { return state_ & csLoading; }
  bool IsDesigning() const { return state_ & csDesigning; }
  bool IsDestroying() const { return state_ & csDestroying; }
  void SetDesigning(bool on);

  // Called once every property of a form text has been read.
  virtual void Loaded();

  // The component an object of a form text stands inside (a control's parent).
  virtual TComponent* ParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent* parent) {}

  // Destroys every owned component, last created first.
  void DestroyComponents();

  // Set by the form reader while it applies stored properties.
  void SetLoading() { state_ |= csLoading; }

 protected:
  // Marks the component as being destroyed; derived destructors call it first
  // when their clean-up must know.
  void Destroying() { state_ |= csDestroying; }

 private:
  void InsertComponent(TComponent* child);
  void RemoveComponent(TComponent* child);

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::string name_;
  unsigned state_ = 0;
};
