#pragma once

#include <memory>

#include "http/proxy/IdProxyResolver.h"

// The proxy settings of the system the program runs on: on Windows the current user's internet
// settings (an automatic configuration script or automatic detection, else the proxy set by
// hand and its bypass list), read once, at the first request; elsewhere the conventional
// environment variables. No proxy configured means a direct connection.
std::unique_ptr<TIdProxyResolver> CreateSystemProxyResolver();
