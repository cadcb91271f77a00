#include "net/IdAntiFreezeBase.h"

#include <algorithm>
#include <thread>

#include "base/Threads.h"
#include "net/IdException.h"
#include "net/IdResourceStrings.h"

namespace {
// The one registered instance; only the main thread registers and uses it.
TIdAntiFreezeBase* gInstance = nullptr;
}  // namespace

TIdAntiFreezeBase::TIdAntiFreezeBase() {
  if (gInstance) throw EIdException(RSOnlyOneAntiFreeze);
  gInstance = this;
}

TIdAntiFreezeBase::~TIdAntiFreezeBase() {
  if (gInstance == this) gInstance = nullptr;
}

TIdAntiFreezeBase* TIdAntiFreezeBase::Instance() {
  return gInstance;
}

bool TIdAntiFreezeBase::ShouldUse() {
  return gInstance && IsMainThread() && gInstance->Active;
}

void TIdAntiFreezeBase::DoProcess(bool AIdle, bool AOverride) {
  if (ShouldUse() && (!gInstance->OnlyWhenIdle || AIdle || AOverride)) {
    gInstance->FBusySince.reset();
    gInstance->Process();
  }
}

void TIdAntiFreezeBase::DoProcessAfterWait(bool AReadable) {
  bool overdue = false;
  if (AReadable && ShouldUse()) {
    auto& since = gInstance->FBusySince;
    const auto now = std::chrono::steady_clock::now();
    if (!since)
      since = now;
    else
      overdue = now - *since > std::chrono::milliseconds(std::max(gInstance->IdleTimeOut, 1));
  }
  DoProcess(!AReadable, overdue);
}

bool TIdAntiFreezeBase::WaitAbandoned() {
  return ShouldUse() && gInstance->OnAbandonWait && gInstance->OnAbandonWait();
}

void TIdAntiFreezeBase::Sleep(int ATimeout) {
  while (ATimeout > 0) {
    if (!ShouldUse()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(ATimeout));
      return;
    }
    const int slice = std::min(ATimeout, std::max(gInstance->IdleTimeOut, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(slice));
    ATimeout -= slice;
    DoProcess(true);
  }
}
