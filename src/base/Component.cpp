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

void TComponent::FreeNotification(TComponent* other) {
  if (!other || other == this) return;
  AddLink(other);
  other->AddLink(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (!other) return;
  RemoveLink(other);
  other->RemoveLink(this);
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::AddLink(TComponent* other) {
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end())
    FFreeNotifies.push_back(other);
}

void TComponent::RemoveLink(TComponent* other) {
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), other),
                      FFreeNotifies.end());
}
