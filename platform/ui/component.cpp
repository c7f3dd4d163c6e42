#include "platform/ui/component.h"

#include <algorithm>

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  if (!(FComponentState & csDestroying)) Destroying();
  // Whoever asked to hear of our end hears it now.
  std::vector<TComponent*> notifies = FFreeNotifies;
  FFreeNotifies.clear();
  for (TComponent* c : notifies) {
    auto& v = c->FFreeNotifies;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    c->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::Free() {
  if (!FBeforeDestructionDone) {
    FBeforeDestructionDone = true;
    BeforeDestruction();
  }
  delete this;
}

void TComponent::BeforeDestruction() {
  if (!(FComponentState & csDestroying)) Destroying();
}

void TComponent::Destroying() {
  if (FComponentState & csDestroying) return;
  FComponentState |= csDestroying;
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::DestroyComponents() {
  // Last created goes first, so later components may rely on earlier ones.
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    FComponents.pop_back();
    c->FOwner = nullptr;
    Notification(c, opRemove);
    c->Free();
  }
}

int32_t TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  auto& v = FOwner->FComponents;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : static_cast<int32_t>(it - v.begin());
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (c->FName == AName) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner == this) return;
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  if (FComponentState & csLoading) AComponent->FComponentState |= csLoading;
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner != this) return;
  Notification(AComponent, opRemove);
  FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), AComponent), FComponents.end());
  AComponent->FOwner = nullptr;
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
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent), FFreeNotifies.end());
  auto& v = AComponent->FFreeNotifies;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void TComponent::BeginLoading() {
  FComponentState |= csLoading;
  for (TComponent* c : FComponents) c->BeginLoading();
}

void TComponent::EndLoading() {
  if (!(FComponentState & csLoading)) return;
  std::vector<TComponent*> owned = FComponents;
  for (TComponent* c : owned) c->EndLoading();
  FComponentState &= ~csLoading;
  Loaded();
}

void TComponent::Loaded() { FComponentState &= ~csLoading; }

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove) {
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent), FFreeNotifies.end());
  }
  // Owned components hear of each other too.
  std::vector<TComponent*> owned = FComponents;
  for (TComponent* c : owned)
    if (c != AComponent) c->Notification(AComponent, Operation);
}

void TComponent::SetDesigning(bool Value) {
  if (Value) FComponentState |= csDesigning;
  else FComponentState &= ~csDesigning;
  for (TComponent* c : FComponents) c->SetDesigning(Value);
}
