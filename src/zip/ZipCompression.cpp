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
      [](TStream& in, TZipFile&, const TZipHeader&) -> std::unique_ptr<TStream> {
        return std::make_unique<TStoredStream>(in);
      },
      [](TStream& in, TZipFile&, const TZipHeader&) -> std::unique_ptr<TStream> {
        return std::make_unique<TStoredStream>(in);
      }};
  handlers[TZipCompression::zcDeflate] = {
      [](TStream& out, TZipFile&, const TZipHeader&) -> std::unique_ptr<TStream> {
        return std::make_unique<TZCompressionStream>(out, TZCompressionLevel::zcDefault,
                                                     kRawDeflateWindowBits);
      },
      [](TStream& in, TZipFile&, const TZipHeader&) -> std::unique_ptr<TStream> {
        return std::make_unique<TZDecompressionStream>(in, kRawDeflateWindowBits);
      }};
  return handlers;
}

std::map<TZipCompression, TZipCompressionHandler>& Handlers() {
  static std::map<TZipCompression, TZipCompressionHandler> handlers = MakeDefaultHandlers();
  return handlers;
}
}  // namespace

void RegisterZipCompressionHandler(TZipCompression method, TStreamConstructor compress,
                                   TStreamConstructor decompress) {
  Handlers()[method] = {std::move(compress), std::move(decompress)};
}

const TZipCompressionHandler& FindZipCompressionHandler(TZipCompression method) {
  const auto& handlers = Handlers();
  const auto it = handlers.find(method);
  if (it == handlers.end()) throw EListError("Item not found");
  return it->second;
}
