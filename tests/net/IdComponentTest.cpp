#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeStack.h"
#include "net/IdComponent.h"

namespace {

class TWorker : public TIdComponent {
 public:
  TWorker() {
    OnWorkBegin = [this](TIdComponent* s, TWorkMode m, int64_t max) {
      Log.push_back(Tag(s) + "begin " + std::to_string(m) + " " + std::to_string(max));
    };
    OnWork = [this](TIdComponent* s, TWorkMode m, int64_t count) {
      Log.push_back(Tag(s) + "work " + std::to_string(m) + " " + std::to_string(count));
    };
    OnWorkEnd = [this](TIdComponent* s, TWorkMode m) {
      Log.push_back(Tag(s) + "end " + std::to_string(m));
    };
  }
  std::string Tag(TIdComponent* sender) { return sender == this ? "" : "other "; }
  std::vector<std::string> Log;
};

using Log = std::vector<std::string>;

}  // namespace

TEST(IdComponent, NestedBracketsFireOnlyOnTheOutermost) {
  TFakeStackScope scope;
  TWorker w;
  w.DoWork(wmRead, 5);  // outside any bracket
  EXPECT_TRUE(w.Log.empty());
  EXPECT_EQ(w.WorkInfo(wmRead).Count, 0);
  w.BeginWork(wmRead, 100);
  w.DoWork(wmRead, 10);
  w.BeginWork(wmRead, 7);
  w.DoWork(wmRead, 5);
  w.DoWork(wmWrite, 3);  // the write mode has no bracket open
  w.EndWork(wmRead);
  EXPECT_EQ(w.WorkInfo(wmRead).Size, 100);
  EXPECT_EQ(w.WorkInfo(wmRead).Level, 1);
  w.DoWork(wmRead, 1);
  w.EndWork(wmRead);
  EXPECT_EQ(w.Log, (Log{"begin 0 100", "work 0 10", "work 0 15", "work 0 16", "end 0"}));
  EXPECT_EQ(w.WorkInfo(wmRead).Level, 0);
  // The next outermost bracket counts from 0 again.
  w.Log.clear();
  w.BeginWork(wmRead, 0);
  w.DoWork(wmRead, 4);
  w.EndWork(wmRead);
  EXPECT_EQ(w.Log, (Log{"begin 0 0", "work 0 4", "end 0"}));
}

TEST(IdComponent, LevelDropsEvenWhenTheEndHandlerRaises) {
  TFakeStackScope scope;
  TWorker w;
  w.OnWorkEnd = [](TIdComponent*, TWorkMode) { throw EIdException("stop"); };
  w.BeginWork(wmWrite, 1);
  EXPECT_THROW(w.EndWork(wmWrite), EIdException);
  EXPECT_EQ(w.WorkInfo(wmWrite).Level, 0);
}

TEST(IdComponent, ForwardingChainsToTheLastTarget) {
  TFakeStackScope scope;
  TWorker a, b, c;
  a.SetWorkTarget(&b);
  b.SetWorkTarget(&c);
  a.BeginWork(wmRead, 9);
  a.DoWork(wmRead, 4);
  b.DoWork(wmRead, 1);
  a.EndWork(wmRead);
  EXPECT_TRUE(a.Log.empty());
  EXPECT_TRUE(b.Log.empty());
  EXPECT_EQ(c.Log, (Log{"begin 0 9", "work 0 4", "work 0 5", "end 0"}));
  EXPECT_EQ(a.WorkInfo(wmRead).Level, 0);
  EXPECT_EQ(c.WorkInfo(wmRead).Count, 5);
}

TEST(IdComponent, DestroyedTargetIsForgotten) {
  TFakeStackScope scope;
  TWorker a;
  {
    auto target = std::make_unique<TWorker>();
    a.SetWorkTarget(target.get());
    EXPECT_EQ(a.WorkTarget(), target.get());
  }
  EXPECT_EQ(a.WorkTarget(), nullptr);
  a.BeginWork(wmRead, 1);
  EXPECT_EQ(a.Log, (Log{"begin 0 1"}));
  a.EndWork(wmRead);
}

TEST(IdComponent, ComponentsKeepTheStackAlive) {
  TFakeStackScope scope;
  const int before = TIdStack::UsageCount();
  {
    TWorker w;
    EXPECT_EQ(TIdStack::UsageCount(), before + 1);
  }
  EXPECT_EQ(TIdStack::UsageCount(), before);
}
