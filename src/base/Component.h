#pragma once

#include <string>
#include <vector>

enum class TOperation { opInsert, opRemove };

// A component that may refer to other components it does not own. A component that keeps such
// a reference asks the other one for a free notification and forgets the reference when
// Notification(other, opRemove) arrives. Ownership itself is ordinary C++ ownership
// (std::unique_ptr members of the owner).
class TComponent {
 public:
  TComponent() = default;
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }

  // Both components are told when the other one is destroyed.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

 protected:
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  void AddLink(TComponent* other);
  void RemoveLink(TComponent* other);

  std::string FName;
  std::vector<TComponent*> FFreeNotifies;
};
