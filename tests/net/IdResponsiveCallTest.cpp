// A blocking call on a thread of its own while the caller waits responsively: messages are
// processed during the wait, the call's exception reaches the caller, and a program that no
// longer wants the result stops waiting while the call finishes on its own.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "net/IdAntiFreezeBase.h"
#include "net/IdExceptionCore.h"
#include "net/IdResponsiveCall.h"

namespace {

class TCountingAntiFreeze : public TIdAntiFreezeBase {
 public:
  TCountingAntiFreeze() { IdleTimeOut = 10; }
  void Process() override { ++Calls; }
  int Calls = 0;
};

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TEST(RunResponsively, MessagesAreProcessedWhileTheCallWaits) {
  TCountingAntiFreeze antiFreeze;
  bool done = false;
  RunResponsively([&done] {
    SleepMs(150);
    done = true;
  });
  EXPECT_TRUE(done);
  EXPECT_GT(antiFreeze.Calls, 0);
}

TEST(RunResponsively, WithoutResponsiveWaitingTheCallerSimplyWaits) {
  bool done = false;
  RunResponsively([&done] {
    SleepMs(50);
    done = true;
  });
  EXPECT_TRUE(done);
}

TEST(RunResponsively, TheCallsExceptionReachesTheCaller) {
  TCountingAntiFreeze antiFreeze;
  EXPECT_THROW(RunResponsively([] { throw std::runtime_error("no script"); }), std::runtime_error);
}

TEST(RunResponsively, AnAbandonedWaitEndsAtOnceAndTheCallFinishesOnItsOwn) {
  TCountingAntiFreeze antiFreeze;
  antiFreeze.OnAbandonWait = [] { return true; };
  // Shared with the call, which outlives the wait: it ends only once released.
  struct TCall {
    std::atomic<bool> Released{false};
    std::atomic<bool> Finished{false};
  };
  auto call = std::make_shared<TCall>();
  EXPECT_THROW(RunResponsively([call] {
                 while (!call->Released.load())
                   SleepMs(1);
                 call->Finished.store(true);
               }),
               EIdConnClosedGracefully);
  EXPECT_FALSE(call->Finished.load());
  call->Released.store(true);
  for (int i = 0; i < 1000 && !call->Finished.load(); ++i)
    SleepMs(10);
  EXPECT_TRUE(call->Finished.load());
}

}  // namespace
