#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "FakeStack.h"
#include "net/IdAntiFreezeBase.h"
#include "net/IdSocketHandle.h"

namespace {

class TRecordingAntiFreeze : public TIdAntiFreezeBase {
 public:
  TRecordingAntiFreeze() { IdleTimeOut = 10; }
  void Process() override {
    ++Calls;
    if (OnProcess) OnProcess();
  }
  int Calls = 0;
  std::function<void()> OnProcess;
};

// A socket handle of the fake stack whose readiness waits the test answers.
struct TFakeSocket {
  TFakeStackScope Scope;
  TIdSocketHandle Handle;
  TFakeSocket() { Handle.AllocateSocket(); }
  std::vector<int>& Slices() { return Scope.Stack().SelectTimeouts; }
};

}  // namespace

TEST(IdAntiFreeze, OnlyOneInstance) {
  TRecordingAntiFreeze first;
  try {
    TRecordingAntiFreeze second;
    FAIL();
  } catch (const EIdException& e) {
    EXPECT_EQ(e.Message(), "Only one TIdAntiFreeze can exist per application.");
  }
  EXPECT_EQ(TIdAntiFreezeBase::Instance(), &first);
}

TEST(IdAntiFreeze, ShouldUseOnlyOnTheMainThreadWhileActive) {
  EXPECT_FALSE(TIdAntiFreezeBase::ShouldUse());
  TRecordingAntiFreeze af;
  EXPECT_TRUE(TIdAntiFreezeBase::ShouldUse());
  bool onOtherThread = true;
  std::thread([&] { onOtherThread = TIdAntiFreezeBase::ShouldUse(); }).join();
  EXPECT_FALSE(onOtherThread);
  af.Active = false;
  EXPECT_FALSE(TIdAntiFreezeBase::ShouldUse());
}

TEST(IdAntiFreeze, DoProcessRespectsOnlyWhenIdle) {
  TRecordingAntiFreeze af;
  TIdAntiFreezeBase::DoProcess(false);
  EXPECT_EQ(af.Calls, 0);
  TIdAntiFreezeBase::DoProcess(false, true);
  TIdAntiFreezeBase::DoProcess(true);
  EXPECT_EQ(af.Calls, 2);
  af.OnlyWhenIdle = false;
  TIdAntiFreezeBase::DoProcess(false);
  EXPECT_EQ(af.Calls, 3);
}

// Not used by the program, but a part of the component: a sleep cut into slices of IdleTimeOut
// ms with the messages processed after each, and one whole sleep where nothing is registered.
TEST(IdAntiFreeze, SleepIsSlicedLikeAWait) {
  TIdAntiFreezeBase::Sleep(5);  // no instance: one plain sleep
  TRecordingAntiFreeze af;
  TIdAntiFreezeBase::Sleep(25);
  EXPECT_EQ(af.Calls, 3);  // after 10, 10 and 5 ms
  TIdAntiFreezeBase::Sleep(0);
  EXPECT_EQ(af.Calls, 3);
}

TEST(IdAntiFreeze, FiniteWaitIsSliced) {
  TFakeSocket s;
  TRecordingAntiFreeze af;
  EXPECT_FALSE(s.Handle.Readable(25));
  EXPECT_EQ(s.Slices(), (std::vector<int>{10, 10, 5}));
  EXPECT_EQ(af.Calls, 3) << "messages after every slice that found nothing";
}

TEST(IdAntiFreeze, PendingDataEndsTheWaitWithoutProcessing) {
  TFakeSocket s;
  TRecordingAntiFreeze af;
  s.Scope.Stack().OnSelect = [](int) { return true; };
  EXPECT_TRUE(s.Handle.Readable(IdTimeoutInfinite));
  EXPECT_EQ(s.Slices(), std::vector<int>{10});
  EXPECT_EQ(af.Calls, 0);
}

// A peer that drips a byte every few milliseconds keeps every wait readable; the window must
// still be serviced about every IdleTimeOut instead of once per completed block.
TEST(IdAntiFreeze, WaitsThatKeepFindingDataStillProcessMessages) {
  TFakeSocket s;
  TRecordingAntiFreeze af;
  s.Scope.Stack().OnSelect = [](int) {
    std::this_thread::sleep_for(std::chrono::milliseconds(4));
    return true;
  };
  for (int i = 0; i < 10; ++i)
    EXPECT_TRUE(s.Handle.Readable(IdTimeoutInfinite));
  // 10 waits of at least 4 ms: the clock starts at the first, and runs over 10 ms by the fourth.
  EXPECT_GE(af.Calls, 2);
}

TEST(IdAntiFreeze, UnlimitedWaitSlicesUntilReadable) {
  TFakeSocket s;
  TRecordingAntiFreeze af;
  s.Scope.Stack().OnSelect = [&](int) { return s.Slices().size() == 4; };
  EXPECT_TRUE(s.Handle.Readable(IdTimeoutDefault));  // -1 waits without limit as well
  EXPECT_EQ(s.Slices(), (std::vector<int>{10, 10, 10, 10}));
  EXPECT_EQ(af.Calls, 3);
}

TEST(IdAntiFreeze, NoSlicingWhenNotInUse) {
  TFakeSocket s;
  EXPECT_FALSE(s.Handle.Readable(25));  // no component
  TRecordingAntiFreeze af;
  std::thread([&] { EXPECT_FALSE(s.Handle.Readable(25)); }).join();
  af.Active = false;
  EXPECT_FALSE(s.Handle.Readable(25));
  EXPECT_EQ(s.Slices(), (std::vector<int>{25, 25, 25}));
  EXPECT_EQ(af.Calls, 0);
}

TEST(IdAntiFreeze, CloseDuringTheWaitEndsIt) {
  TFakeSocket s;
  TRecordingAntiFreeze af;
  af.OnProcess = [&] { s.Handle.CloseSocket(); };
  try {
    s.Handle.Readable(IdTimeoutInfinite);
    FAIL();
  } catch (const EIdConnClosedGracefully& e) {
    EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
  }
  EXPECT_EQ(s.Slices(), std::vector<int>{10});
}

TEST(IdAntiFreeze, ComponentGoneDuringTheWait) {
  TFakeSocket s;
  auto af = std::make_unique<TRecordingAntiFreeze>();
  s.Scope.Stack().OnSelect = [&](int) {
    af.reset();
    return false;
  };
  EXPECT_FALSE(s.Handle.Readable(25));
  // The rest of the wait is one unsliced slice.
  EXPECT_EQ(s.Slices(), (std::vector<int>{10, 15}));
}

// A program that no longer wants the data (it has been asked to end) abandons the wait: the
// connection is closed at once, as a handler closing it would, whether or not data came.
TEST(IdAntiFreeze, AnAbandonedWaitClosesTheSocketAndEnds) {
  for (const bool dataArrives : {false, true}) {
    SCOPED_TRACE(dataArrives ? "data arriving" : "silent peer");
    TFakeSocket s;
    TRecordingAntiFreeze af;
    s.Scope.Stack().OnSelect = [&](int) { return dataArrives; };
    int asked = 0;
    af.OnAbandonWait = [&] { return ++asked == 3; };
    const TIdStackSocketHandle handle = s.Handle.Handle();
    int waits = 0;
    try {
      for (; waits < 10; ++waits)
        EXPECT_TRUE(s.Handle.Readable(IdTimeoutInfinite));  // only data ends a wait otherwise
      FAIL();
    } catch (const EIdConnClosedGracefully& e) {
      EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
    }
    // Asked after every slice: data ended two waits of a slice each; silence is one wait.
    EXPECT_EQ(s.Slices().size(), 3u);
    EXPECT_EQ(waits, dataArrives ? 2 : 0);
    EXPECT_FALSE(s.Handle.HandleAllocated());
    EXPECT_EQ(s.Scope.Stack().Closed, std::vector<TIdStackSocketHandle>{handle});
  }
}

TEST(IdAntiFreeze, WaitsAreNotAbandonedWhereResponsiveWaitingIsNotInUse) {
  TFakeSocket s;
  TRecordingAntiFreeze af;
  af.OnAbandonWait = [] { return true; };
  af.Active = false;
  EXPECT_FALSE(s.Handle.Readable(25));
  bool onOtherThread = true;
  std::thread([&] { onOtherThread = TIdAntiFreezeBase::WaitAbandoned(); }).join();
  EXPECT_FALSE(onOtherThread);
  EXPECT_TRUE(s.Handle.HandleAllocated());
}
