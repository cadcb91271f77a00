#pragma once

#include <string>

#include "base/Stream.h"
#include "http/IdHTTPHeaderInfo.h"
#include "http/IdHTTPTypes.h"
#include "net/IdIPVersion.h"

// One request of a client: its header fields, method, target and body. The client reuses the
// same object for every request.
class TIdHTTPRequest : public TIdRequestHeaderInfo {
 public:
  TIdHTTPRequest() = default;

  // A full URL when a call starts; the request target once it is resolved.
  std::string URL;
  std::string Method;
  // The body to send; not owned. None for HEAD and GET.
  TStream* Source = nullptr;
  TIdHTTPConnectionType UseProxy = ctNormal;
  TIdIPVersion IPVersion = Id_IPv4;
};
