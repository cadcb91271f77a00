#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TStream;

// Whether a body is a web page where a file was expected (the sign-in page of a public network,
// a proxy's notice): it is not what was expected (AExpectedStart, the bytes every such file
// begins with: "PK" for a ZIP archive), and either it was sent as a web page (Content-Type
// text/html or application/xhtml+xml) or it begins like one ("<!DOCTYPE html", "<html", ...,
// after white space and a byte order mark).
bool LooksLikeWebPage(std::string_view AContentType, std::string_view ABody,
                      std::string_view AExpectedStart);

// How much of a body's start the check looks at: enough to see how it begins, so a body can be
// told as it arrives, before the rest is read.
inline constexpr int64_t WebPageStartLength = 1024;

// Raises EWebPageInstead (RSWebPageInstead) when the body in AStream, from AFrom, looks like a
// web page by its first WebPageStartLength bytes; the stream's position is kept.
void RefuseWebPage(std::string_view AContentType, TStream& AStream, std::string_view AExpectedStart,
                   int64_t AFrom = 0);
