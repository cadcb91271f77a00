#include "base/Component.h"

#include <algorithm>

TComponent::~TComponent() {
  // Take the list first: a handler may remove further links while it runs.
  std::vector<TComponent*> links;
  links.swap(FFreeNotifies);
  for (TComponent* other : links) {
    other->RemoveLink(this);
    other->Notification(this, TOperation::opRemove);
  }
}

void TComponent::FreeNotification(TComponent* AOther) {
  if (!AOther || AOther == this) return;
  AddLink(AOther);
  AOther->AddLink(this);
}

void TComponent::RemoveFreeNotification(TComponent* AOther) {
  if (!AOther) return;
  RemoveLink(AOther);
  AOther->RemoveLink(this);
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::AddLink(TComponent* AOther) {
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AOther) == FFreeNotifies.end())
    FFreeNotifies.push_back(AOther);
}

void TComponent::RemoveLink(TComponent* AOther) {
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AOther),
                      FFreeNotifies.end());
}
