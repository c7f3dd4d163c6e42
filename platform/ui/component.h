// TComponent: the owner model. An owner frees what it owns when it is
// freed; Components() lists owned components in creation order; a
// component told about another's freeing (FreeNotification) hears of it
// through Notification; csLoading and Loaded mark the end of set-up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/graphic.h"

enum TComponentStateBits : uint32_t {
  csLoading = 0x01,
  csReading = 0x02,
  csWriting = 0x04,
  csDestroying = 0x08,
  csDesigning = 0x10,
  csUpdating = 0x80,
};
using TComponentState = uint32_t;

enum TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  // Frees the component: BeforeDestruction runs while the whole object is
  // alive (handlers, window handles), then it is deleted. Prefer this to a
  // plain delete for components with handlers.
  void Free();
  virtual void BeforeDestruction();

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; }
  int32_t ComponentCount() const { return static_cast<int32_t>(FComponents.size()); }
  TComponent* Components(int32_t Index) const { return FComponents.at(static_cast<size_t>(Index)); }
  int32_t ComponentIndex() const;
  TComponent* FindComponent(const std::string& AName) const;
  TComponentState ComponentState() const { return FComponentState; }
  int32_t Tag() const { return FTag; }
  void SetTag(int32_t Value) { FTag = Value; }

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Marks this component and everything it owns as being set up
  // (csLoading); EndLoading clears the mark and calls Loaded on each, owned
  // components first in creation order, then this one.
  void BeginLoading();
  void EndLoading();

  // Sets csDestroying here and in every owned component.
  void Destroying();

protected:
  virtual void Loaded();
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  void SetDesigning(bool Value);

private:
  void DestroyComponents();
  TComponent* FOwner = nullptr;
  std::string FName;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  TComponentState FComponentState = 0;
  int32_t FTag = 0;
  bool FBeforeDestructionDone = false;
};

// Frees a component (when there is one) and clears the pointer.
template <class T>
void FreeAndNil(T*& Component) {
  T* c = Component;
  Component = nullptr;
  if (c) c->Free();
}
