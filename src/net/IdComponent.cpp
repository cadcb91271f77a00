#include "net/IdComponent.h"

#include "net/IdStack.h"

TIdComponent::TIdComponent() {
  TIdStack::IncUsage();
}

TIdComponent::~TIdComponent() {
  TIdStack::DecUsage();
}

void TIdComponent::BeginWork(TWorkMode AWorkMode, int64_t ASize) {
  if (FWorkTarget) {
    FWorkTarget->BeginWork(AWorkMode, ASize);
    return;
  }
  TWorkInfo& info = FWorkInfos[AWorkMode];
  if (++info.Level == 1) {
    info.Size = ASize;
    info.Count = 0;
    if (OnWorkBegin) OnWorkBegin(this, AWorkMode, ASize);
  }
}

void TIdComponent::DoWork(TWorkMode AWorkMode, int64_t ACount) {
  if (FWorkTarget) {
    FWorkTarget->DoWork(AWorkMode, ACount);
    return;
  }
  TWorkInfo& info = FWorkInfos[AWorkMode];
  if (info.Level > 0) {
    info.Count += ACount;
    if (OnWork) OnWork(this, AWorkMode, info.Count);
  }
}

void TIdComponent::EndWork(TWorkMode AWorkMode) {
  if (FWorkTarget) {
    FWorkTarget->EndWork(AWorkMode);
    return;
  }
  TWorkInfo& info = FWorkInfos[AWorkMode];
  // The level drops after the event, also when the handler raises.
  struct TLevelDrop {
    TWorkInfo& Info;
    ~TLevelDrop() {
      if (Info.Level > 0) --Info.Level;
    }
  } drop{info};
  if (info.Level == 1 && OnWorkEnd) OnWorkEnd(this, AWorkMode);
}

void TIdComponent::SetWorkTarget(TIdComponent* AValue) {
  if (AValue == FWorkTarget) return;
  if (FWorkTarget) FWorkTarget->RemoveFreeNotification(this);
  FWorkTarget = AValue;
  if (AValue) AValue->FreeNotification(this);
}

void TIdComponent::Notification(TComponent* AComponent, TOperation AOperation) {
  TIdBaseComponent::Notification(AComponent, AOperation);
  if (AOperation == TOperation::opRemove && AComponent == FWorkTarget) FWorkTarget = nullptr;
}

void TIdComponent::DoStatus(TIdStatus AStatus, const std::string& AText) {
  if (OnStatus) OnStatus(this, AStatus, AText);
}
