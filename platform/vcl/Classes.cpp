#include "Classes.h"

#include <algorithm>

namespace {

bool IsIdentifier(const std::string& s) {
  if (s.empty()) return false;
  auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  if (!alpha(s[0])) return false;
  return std::all_of(s.begin(), s.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

void Erase(std::vector<TComponent*>& list, TComponent* c) {
  list.erase(std::remove(list.begin(), list.end(), c), list.end());
}

}  // namespace

const TClassInfo& TPersistent::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TPersistent>("TPersistent", &TObject::StaticClass()).Build();
  return info;
}

void TPersistent::Assign(TPersistent* Source) {
  if (Source) {
    Source->AssignTo(this);
    return;
  }
  throw EConvertError("Cannot assign nil to a " + ClassName());
}

void TPersistent::AssignTo(TPersistent* Dest) {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " + Dest->ClassName());
}

const TClassInfo& TComponent::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TComponent>("TComponent", &TPersistent::StaticClass()).Build();
  return info;
}

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    Erase(other->FFreeNotifies, this);
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::SetName(const std::string& value) {
  if (value == FName) return;
  if (!value.empty() && !IsIdentifier(value))
    throw EComponentError("'" + value + "' is not a valid component name");
  if (!value.empty() && FOwner) {
    TComponent* other = FOwner->FindComponent(value);
    if (other && other != this)
      throw EComponentError("A component named " + value + " already exists");
  }
  SetReference(false);
  FName = value;
  SetReference(true);
}

void TComponent::SetReference(bool enable) {
  if (!FOwner || FName.empty()) return;
  if (const TFieldInfo* field = FOwner->ClassType().FindField(FName)) {
    if (enable && InheritsFrom(*field->FieldClass))
      field->Set(*FOwner, this);
    else if (!enable && field->Get(*FOwner) == this)
      field->Set(*FOwner, nullptr);
  }
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  std::string key = AnsiLowerCase(name);
  for (TComponent* c : FComponents)
    if (AnsiLowerCase(c->FName) == key) return c;
  return nullptr;
}

void TComponent::SetDesigning(bool value) {
  if (value)
    FComponentState.Include(csDesigning);
  else
    FComponentState.Exclude(csDesigning);
  for (TComponent* c : FComponents) c->SetDesigning(value);
}

void TComponent::SetLoadingState(bool loading) {
  if (loading) {
    FComponentState.Include(csLoading);
    FComponentState.Include(csReading);
  } else {
    FComponentState.Exclude(csReading);
  }
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
  if (std::find(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this) ==
      AComponent->FFreeNotifies.end())
    AComponent->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  Erase(FFreeNotifies, AComponent);
  Erase(AComponent->FFreeNotifies, this);
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  if (!AComponent->FName.empty() && FindComponent(AComponent->FName))
    throw EComponentError("A component named " + AComponent->FName + " already exists");
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  AComponent->SetReference(true);
  if (FComponentState.Contains(csDesigning)) AComponent->SetDesigning(true);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (AComponent->FOwner != this) return;
  Notification(AComponent, opRemove);
  AComponent->SetReference(false);
  Erase(FComponents, AComponent);
  AComponent->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) delete FComponents.back();
}

void TComponent::Destroying() {
  if (FComponentState.Contains(csDestroying)) return;
  FComponentState.Include(csDestroying);
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::Loaded() {
  FComponentState.Exclude(csLoading);
  FComponentState.Exclude(csReading);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
  // Iterate by index from the end: a receiver may remove components while being told.
  for (size_t i = FComponents.size(); i-- > 0;) {
    if (i >= FComponents.size()) continue;
    FComponents[i]->Notification(AComponent, Operation);
  }
}

const TClassInfo& TStringList::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TStringList>("TStringList", &TPersistent::StaticClass()).Factory().Build();
  return info;
}

int TStringList::IndexOf(const std::string& s) const {
  auto it = std::find(FItems.begin(), FItems.end(), s);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}
