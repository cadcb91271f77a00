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
  void SetName(std::string AName) { FName = std::move(AName); }

  // Both components are told when the other one is destroyed.
  void FreeNotification(TComponent* AOther);
  void RemoveFreeNotification(TComponent* AOther);

 protected:
  virtual void Notification(TComponent* AComponent, TOperation AOperation);

 private:
  void AddLink(TComponent* AOther);
  void RemoveLink(TComponent* AOther);

  std::string FName;
  std::vector<TComponent*> FFreeNotifies;
};
