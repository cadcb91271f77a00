#include "net/IdConnectThread.h"

#include "net/IdExceptionCore.h"
#include "net/IdSocketErrors.h"
#include "net/IdSocketHandle.h"

TIdConnectThread::TIdConnectThread(TIdSocketHandle& ABinding)
    : FBinding(ABinding), FThread([this] { Execute(); }) {}

TIdConnectThread::~TIdConnectThread() {
  WaitFor();
}

void TIdConnectThread::WaitFor() {
  if (FThread.joinable()) FThread.join();
}

void TIdConnectThread::Execute() {
  try {
    FBinding.Connect();
  } catch (const EIdSocketError& e) {
    FExceptionOccured = true;
    FExceptionMessage = e.Message();
    // A socket closed under the connect (time-out) reports these; they say nothing useful.
    if (e.LastError() != Id_WSAEBADF && e.LastError() != Id_WSAENOTSOCK)
      FLastSocketError = e.LastError();
  } catch (const std::exception& e) {
    FExceptionOccured = true;
    FExceptionMessage = e.what();
  }
  Terminate();
}
