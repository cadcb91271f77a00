#pragma once

#include <functional>
#include <memory>

#include "base/Stream.h"
#include "zip/ZipHeader.h"

class TZipFile;

// Makes the stream through which one entry's bytes pass: InStream holds the entry's stored
// bytes (a window on the archive from its first data byte to the end of its compressed data),
// Item is the entry's local header. The caller owns the result.
using TStreamConstructor = std::function<std::unique_ptr<TStream>(
    TStream& InStream, TZipFile& ZipFile, const TZipHeader& Item)>;

struct TZipCompressionHandler {
  TStreamConstructor Compress;
  TStreamConstructor Decompress;
};

// The process-wide table of compression handlers. It starts with stored and deflate and is
// meant to be filled at start-up only: it takes no lock.
void RegisterZipCompressionHandler(TZipCompression AMethod, TStreamConstructor ACompress,
                                   TStreamConstructor ADecompress);
// EListError "Item not found" for a method without a handler.
const TZipCompressionHandler& FindZipCompressionHandler(TZipCompression AMethod);
