#pragma once

// The status codes the client and its callers test, named once.
inline constexpr int Id_HTTP_SWITCHING_PROTOCOLS = 101;
inline constexpr int Id_HTTP_OK = 200;
inline constexpr int Id_HTTP_NO_CONTENT = 204;
inline constexpr int Id_HTTP_PARTIAL_CONTENT = 206;
inline constexpr int Id_HTTP_FOUND = 302;
inline constexpr int Id_HTTP_SEE_OTHER = 303;
inline constexpr int Id_HTTP_NOT_MODIFIED = 304;
inline constexpr int Id_HTTP_UNAUTHORIZED = 401;
inline constexpr int Id_HTTP_FORBIDDEN = 403;
inline constexpr int Id_HTTP_METHOD_NOT_ALLOWED = 405;
inline constexpr int Id_HTTP_PROXY_AUTHENTICATION_REQUIRED = 407;
inline constexpr int Id_HTTP_REQUEST_TIMEOUT = 408;
inline constexpr int Id_HTTP_RANGE_NOT_SATISFIABLE = 416;
inline constexpr int Id_HTTP_TOO_MANY_REQUESTS = 429;
inline constexpr int Id_HTTP_INTERNAL_SERVER_ERROR = 500;
inline constexpr int Id_HTTP_NOT_IMPLEMENTED = 501;
inline constexpr int Id_HTTP_BAD_GATEWAY = 502;
inline constexpr int Id_HTTP_SERVICE_UNAVAILABLE = 503;
inline constexpr int Id_HTTP_GATEWAY_TIMEOUT = 504;

// The class of a status code: 1 for an interim answer, 2 for success, 3 for a redirect, 4 for a
// failure of the request, 5 for a failure of the server.
inline constexpr int StatusClass(int ACode) {
  return ACode / 100;
}

// A redirect that names where to go: every 3xx but "not modified".
inline constexpr bool IsRedirectStatus(int ACode) {
  return StatusClass(ACode) == 3 && ACode != Id_HTTP_NOT_MODIFIED;
}
