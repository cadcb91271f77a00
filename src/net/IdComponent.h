#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/IdBaseComponent.h"

enum TWorkMode { wmRead, wmWrite };

enum TIdStatus {
  hsResolving,
  hsConnecting,
  hsConnected,
  hsDisconnecting,
  hsDisconnected,
  hsStatusText
};

class TIdComponent;

using TWorkBeginEvent =
    std::function<void(TIdComponent* ASender, TWorkMode AWorkMode, int64_t AWorkCountMax)>;
using TWorkEvent =
    std::function<void(TIdComponent* ASender, TWorkMode AWorkMode, int64_t AWorkCount)>;
using TWorkEndEvent = std::function<void(TIdComponent* ASender, TWorkMode AWorkMode)>;
using TIdStatusEvent =
    std::function<void(TIdComponent* ASender, TIdStatus AStatus, const std::string& AStatusText)>;

// Progress accounting ("work") for reading and writing, reported through three events, for
// every component of the layer that moves data. While the component exists it is a user of
// the shared socket stack.
class TIdComponent : public TIdBaseComponent {
 public:
  struct TWorkInfo {
    int64_t Count = 0;  // bytes counted since the outermost BeginWork
    int64_t Size = 0;   // size announced by the outermost BeginWork
    int32_t Level = 0;  // open BeginWork/EndWork brackets
  };

  ~TIdComponent() override;

  // Opens a bracket; pass 0 when there is no size to announce.
  virtual void BeginWork(TWorkMode AWorkMode, int64_t ASize = 0);
  // Reports ACount more bytes; OnWork receives the running total. Ignored outside a bracket.
  virtual void DoWork(TWorkMode AWorkMode, int64_t ACount);
  virtual void EndWork(TWorkMode AWorkMode);

  // Setting another component forwards all three operations to it (not owned; forgotten
  // when it is destroyed).
  TIdComponent* WorkTarget() const { return FWorkTarget; }
  void SetWorkTarget(TIdComponent* AValue);

  const TWorkInfo& WorkInfo(TWorkMode AMode) const { return FWorkInfos[AMode]; }

  TIdStatusEvent OnStatus;
  TWorkEvent OnWork;
  TWorkBeginEvent OnWorkBegin;
  TWorkEndEvent OnWorkEnd;

 protected:
  TIdComponent();
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  // Calls OnStatus when assigned.
  void DoStatus(TIdStatus AStatus, const std::string& AText = {});

 private:
  TWorkInfo FWorkInfos[2];
  TIdComponent* FWorkTarget = nullptr;
};
