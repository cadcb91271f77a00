#include "FakeStack.h"

#include <stdexcept>

TFakeStack* TFakeStack::Current = nullptr;

namespace {

class TFakeSocketList : public TIdSocketList {
 public:
  void Add(TIdStackSocketHandle h) override {
    if (static_cast<int>(FHandles.size()) >= MaxSockets)
      throw EIdStackSetSizeExceeded("Set Size Exceeded.");
    FHandles.push_back(h);
  }
  void Remove(TIdStackSocketHandle h) override {
    for (size_t i = 0; i < FHandles.size(); ++i)
      if (FHandles[i] == h) {
        FHandles.erase(FHandles.begin() + static_cast<std::ptrdiff_t>(i));
        return;
      }
  }
  bool Contains(TIdStackSocketHandle h) override {
    for (auto x : FHandles)
      if (x == h) return true;
    return false;
  }
  int Count() override { return static_cast<int>(FHandles.size()); }
  bool SelectRead(int timeout) override {
    TFakeStack& stack = *TFakeStack::Current;
    stack.SelectTimeouts.push_back(timeout);
    return stack.OnSelect ? stack.OnSelect(timeout) : false;
  }

 private:
  std::vector<TIdStackSocketHandle> FHandles;
};

std::unique_ptr<TIdStack> CreateFakeStack() {
  return std::make_unique<TFakeStack>();
}

}  // namespace

std::unique_ptr<TIdSocketList> TFakeStack::NewSocketList() {
  return std::make_unique<TFakeSocketList>();
}

TFakeStackScope::TFakeStackScope() : FPrevious(TIdStack::StackClass()) {
  if (TIdStack::UsageCount() != 0)
    throw std::logic_error("the stack is in use; the fake cannot be installed");
  TIdStack::SetStackClass(&CreateFakeStack);
  TIdStack::IncUsage();
}

TFakeStackScope::~TFakeStackScope() {
  TIdStack::DecUsage();
  TIdStack::SetStackClass(FPrevious);
}

TFakeStack& TFakeStackScope::Stack() {
  return *TFakeStack::Current;
}
