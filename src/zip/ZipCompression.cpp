#include "zip/ZipCompression.h"

#include <map>

#include "base/Exception.h"
#include "zip/StoredStream.h"
#include "zip/ZStream.h"

namespace {
// Raw deflate: ZIP entries carry no zlib or gzip wrapper.
constexpr int kRawDeflateWindowBits = -15;

std::map<TZipCompression, TZipCompressionHandler> MakeDefaultHandlers() {
  std::map<TZipCompression, TZipCompressionHandler> handlers;
  handlers[TZipCompression::zcStored] = {
      [](TStream& AIn, TZipFile&, const TZipHeader&) -> std::unique_ptr<TStream> {
        return std::make_unique<TStoredStream>(AIn);
      },
      [](TStream& AIn, TZipFile&, const TZipHeader&) -> std::unique_ptr<TStream> {
        return std::make_unique<TStoredStream>(AIn);
      }};
  handlers[TZipCompression::zcDeflate] = {
      [](TStream& AOut, TZipFile&, const TZipHeader&) -> std::unique_ptr<TStream> {
        return std::make_unique<TZCompressionStream>(AOut, TZCompressionLevel::zcDefault,
                                                     kRawDeflateWindowBits);
      },
      [](TStream& AIn, TZipFile&, const TZipHeader&) -> std::unique_ptr<TStream> {
        return std::make_unique<TZDecompressionStream>(AIn, kRawDeflateWindowBits);
      }};
  return handlers;
}

std::map<TZipCompression, TZipCompressionHandler>& Handlers() {
  static std::map<TZipCompression, TZipCompressionHandler> handlers = MakeDefaultHandlers();
  return handlers;
}
}  // namespace

void RegisterZipCompressionHandler(TZipCompression AMethod, TStreamConstructor ACompress,
                                   TStreamConstructor ADecompress) {
  Handlers()[AMethod] = {std::move(ACompress), std::move(ADecompress)};
}

const TZipCompressionHandler& FindZipCompressionHandler(TZipCompression AMethod) {
  const auto& handlers = Handlers();
  const auto it = handlers.find(AMethod);
  if (it == handlers.end()) throw EListError("Item not found");
  return it->second;
}
