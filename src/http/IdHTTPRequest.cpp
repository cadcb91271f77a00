#include "http/IdHTTPRequest.h"

#include "http/IdHTTP.h"

TIdHTTPRequest::TIdHTTPRequest(TIdCustomHTTP* AHTTP) : TIdRequestHeaderInfo(AHTTP), FHTTP(AHTTP) {}
