#include <gtest/gtest.h>

#include <memory>

#include "base/Component.h"

namespace {
// Keeps a reference to another component and forgets it when told.
class THolder : public TComponent {
 public:
  void Refer(TComponent* c) {
    FRef = c;
    if (c) c->FreeNotification(this);
  }
  TComponent* FRef = nullptr;
  int FRemovals = 0;

 protected:
  void Notification(TComponent* c, TOperation op) override {
    if (op == TOperation::opRemove && c == FRef) {
      FRef = nullptr;
      ++FRemovals;
    }
  }
};
}  // namespace

TEST(Component, FreeNotificationClearsTheReferenceOnce) {
  THolder holder;
  auto other = std::make_unique<TComponent>();
  holder.Refer(other.get());
  holder.Refer(other.get());  // asking twice registers once
  other.reset();
  EXPECT_EQ(holder.FRef, nullptr);
  EXPECT_EQ(holder.FRemovals, 1);
}

TEST(Component, AHolderDestroyedFirstLeavesNoLinkBehind) {
  auto other = std::make_unique<TComponent>();
  auto gone = std::make_unique<THolder>();
  THolder stays;
  gone->Refer(other.get());
  stays.Refer(other.get());
  gone.reset();  // a dangling link would be used by other's destructor below
  other.reset();
  EXPECT_EQ(stays.FRef, nullptr);
  EXPECT_EQ(stays.FRemovals, 1);
}
