#include "net/IdResponsiveCall.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <thread>

#include "net/IdAntiFreezeBase.h"
#include "net/IdExceptionCore.h"
#include "net/IdResourceStrings.h"

namespace {

// What the worker leaves for the waiting thread; shared, since an abandoned wait leaves the
// worker running.
struct TOutcome {
  std::atomic<bool> Done{false};
  std::exception_ptr Error;
};

}  // namespace

void RunResponsively(std::function<void()> AWork) {
  auto outcome = std::make_shared<TOutcome>();
  std::thread worker([outcome, work = std::move(AWork)] {
    try {
      work();
    } catch (...) {
      outcome->Error = std::current_exception();
    }
    outcome->Done.store(true, std::memory_order_release);
  });
  try {
    while (TIdAntiFreezeBase::ShouldUse() && !outcome->Done.load(std::memory_order_acquire)) {
      const int slice = std::max(TIdAntiFreezeBase::Instance()->IdleTimeOut, 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(slice));
      TIdAntiFreezeBase::DoProcess(true);
      if (!outcome->Done.load(std::memory_order_acquire) && TIdAntiFreezeBase::WaitAbandoned())
        throw EIdConnClosedGracefully(Text(RSConnectionClosedGracefully));
    }
  } catch (...) {
    // The worker cannot be stopped; it ends on its own with what it owns.
    worker.detach();
    throw;
  }
  worker.join();
  if (outcome->Error) std::rethrow_exception(outcome->Error);
}
