#include "net/IdIOHandlerStack.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "net/IdAntiFreezeBase.h"
#include "net/IdConnectThread.h"
#include "net/IdIPAddress.h"
#include "net/IdResourceStrings.h"
#include "net/IdStack.h"

bool TIdIOHandlerStack::Connected() {
  // A poll with a zero wait pulls in pending bytes and notices a close.
  ReceiveIntoBuffer(false, 0, false);
  return (HasSocket() && TIdIOHandler::Connected()) || !InputBufferIsEmpty();
}

void TIdIOHandlerStack::ConnectToPeer() {
  TIdIOHandlerSocket::ConnectToPeer();
  std::string address;
  if (IPVersion == Id_IPv6) {
    uint16_t words[8];
    if (ParseIPv6(Host, words)) {
      address = Host;
    } else {
      DoStatus(hsResolving, "Resolving " + Host);
      address = GStack()->ResolveHost(Host, Id_IPv6);
    }
  } else {
    if (TIdStack::IsIP(Host)) {
      address = Host;
    } else {
      DoStatus(hsResolving, "Resolving " + Host);
      address = GStack()->ResolveHost(Host, Id_IPv4);
    }
  }
  Binding()->SetPeer(address, static_cast<uint16_t>(Port), IPVersion);
  DoStatus(hsConnecting, "Connecting to " + address);
  if (ConnectTimeout != 0)
    ConnectWithTimeout(ConnectTimeout);
  else if (TIdAntiFreezeBase::ShouldUse())
    ConnectWithTimeout(ResponsiveConnectLimit);
  else
    Binding()->Connect();
}

void TIdIOHandlerStack::ConnectWithTimeout(int ALimit) {
  int interval = 125;
  if (TIdAntiFreezeBase::ShouldUse())
    interval = std::max(std::min(TIdAntiFreezeBase::Instance()->IdleTimeOut, 125), 1);
  TIdConnectThread thread(*Binding());
  // Only the sleeps count against a limit (below 0: none), not the time spent processing
  // messages; a program that no longer wants the connection stops the polling.
  bool abandoned = false;
  while (!thread.Terminated() && !abandoned && ALimit != 0) {
    const int slice = ALimit < 0 ? interval : std::min(ALimit, interval);
    std::this_thread::sleep_for(std::chrono::milliseconds(slice));
    TIdAntiFreezeBase::DoProcess(true);
    abandoned = TIdAntiFreezeBase::WaitAbandoned();
    if (ALimit > 0) ALimit -= slice;
  }
  if (!thread.Terminated()) {
    thread.Terminate();
    // Closing the socket makes the pending connect fail at once.
    Close();
    thread.WaitFor();
    if (abandoned) throw EIdConnClosedGracefully(Text(RSConnectionClosedGracefully));
    throw EIdConnectTimeout(Text(RSConnectTimeout));
  }
  thread.WaitFor();
  if (thread.FExceptionOccured) {
    if (thread.FLastSocketError != 0)
      throw EIdSocketError(thread.FLastSocketError, thread.FExceptionMessage);
    throw EIdConnectException(thread.FExceptionMessage);
  }
}
