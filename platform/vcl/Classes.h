#pragma once
// Persistent objects, components with owners and notifications, and string lists.
#include <string>
#include <vector>

#include "SysUtils.h"
#include "System.h"
#include "TypInfo.h"

// An object with published properties that can be copied from another (Assign) and streamed.
class TPersistent : public TObject {
  VCL_CLASS(TPersistent)
  // Copies `Source` into this object. The base asks Source->AssignTo and raises EConvertError
  // "Cannot assign a X to a Y" when neither side knows the other.
  virtual void Assign(TPersistent* Source);

 protected:
  virtual void AssignTo(TPersistent* Dest);
};

enum TOperation { opInsert, opRemove };

enum TComponentStateFlag {
  csLoading,     // being read from a form resource; cleared by Loaded
  csReading,
  csWriting,
  csDestroying,  // its destructor has started
  csDesigning,   // inside the form designer
};
using TComponentState = TSet<TComponentStateFlag>;

// A component: owned by another (which destroys it), named uniquely among its owner's components,
// told of insertions and removals of its owner's components, and linked by free notification to
// components it refers to.
//
// Notification(c, opInsert / opRemove) goes to the owner and, through the owner's broadcast, to every
// component the owner owns, whenever c is inserted into or removed from that owner. FreeNotification
// links two components both ways so each hears opRemove when the other is destroyed. An owner
// destroys what it owns last created first; each destroyed component runs its own destructor
// (which may notify its clients) before its removal is broadcast.
class TComponent : public TPersistent {
  VCL_CLASS(TComponent)
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  // Raises EComponentError for a name that is not an identifier or that another component of the
  // same owner already has. An empty name is always allowed.
  void SetName(const std::string& value);

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const { return FComponents.at(index); }
  // The owned component with this name (case-insensitive), or null.
  TComponent* FindComponent(const std::string& name) const;

  TComponentState ComponentState() const { return FComponentState; }
  // Marks this component and every component it owns as being in (or out of) the designer.
  void SetDesigning(bool value);

  // Asks to be told (Notification opRemove) when AComponent is destroyed, and the other way round.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  // Destroys every owned component, last created first.
  void DestroyComponents();
  // Marks this component and its owned ones csDestroying. Called first by destructors.
  void Destroying();

  // Called once the form resource that created this component has been read completely and every
  // reference in it resolved. The base clears csLoading.
  virtual void Loaded();

  // The parent a component is nested under in a form resource (controls: their parent control).
  virtual bool HasParent() const { return false; }
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent*) {}

  // Position of a non-visual component's icon in the form designer (streamed as Left and Top).
  int32_t DesignLeft = 0;
  int32_t DesignTop = 0;

  // Used by the form reader.
  void SetLoadingState(bool loading);

 protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 private:
  void SetReference(bool enable);

  TComponent* FOwner = nullptr;
  std::string FName;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  TComponentState FComponentState;
};

// A list of strings in the order added.
class TStringList : public TPersistent {
  VCL_CLASS(TStringList)
  int Add(const std::string& s) {
    FItems.push_back(s);
    return static_cast<int>(FItems.size()) - 1;
  }
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& Strings(int index) const { return FItems.at(index); }
  const std::string& operator[](int index) const { return FItems.at(index); }
  void Clear() { FItems.clear(); }
  int IndexOf(const std::string& s) const;

 private:
  std::vector<std::string> FItems;
};
