#include "download/WebPageCheck.h"

#include "base/StrUtils.h"
#include "base/Stream.h"
#include "base/Texts.h"
#include "download/DownloadErrors.h"

namespace {

bool TypedAsWebPage(std::string_view AContentType) {
  const std::string type = LowerCase(Trim(AContentType.substr(0, AContentType.find(';'))));
  return type == "text/html" || type == "application/xhtml+xml";
}

bool BeginsLikeWebPage(std::string_view ABody) {
  if (ABody.starts_with("\xEF\xBB\xBF")) ABody.remove_prefix(3);
  while (!ABody.empty() && (ABody.front() == ' ' || ABody.front() == '\t' ||
                            ABody.front() == '\r' || ABody.front() == '\n'))
    ABody.remove_prefix(1);
  const std::string start = LowerCase(std::string(ABody.substr(0, 16)));
  for (const char* tag :
       {"<!doctype html", "<html", "<head", "<body", "<title", "<meta", "<script", "<!--"})
    if (start.starts_with(tag)) return true;
  return false;
}

}  // namespace

bool LooksLikeWebPage(std::string_view AContentType, std::string_view ABody,
                      std::string_view AExpectedStart) {
  if (!AExpectedStart.empty() && ABody.starts_with(AExpectedStart)) return false;
  return TypedAsWebPage(AContentType) || BeginsLikeWebPage(ABody);
}

void RefuseWebPage(std::string_view AContentType, TStream& AStream, std::string_view AExpectedStart,
                   int64_t AFrom) {
  const int64_t position = AStream.Position();
  AStream.SetPosition(AFrom);
  std::string start(static_cast<size_t>(WebPageStartLength), '\0');
  start.resize(static_cast<size_t>(AStream.Read(start.data(), WebPageStartLength)));
  AStream.SetPosition(position);
  if (LooksLikeWebPage(AContentType, start, AExpectedStart))
    throw EWebPageInstead(Text(RSWebPageInstead));
}
