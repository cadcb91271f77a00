#pragma once

#include "base/Component.h"
#include "base/Stream.h"

// A content decoder the HTTP client can use for "deflate" and "gzip" bodies. The program
// assigns none; a compressor component implements it.
class TIdZLibCompressorBase : public TComponent {
 public:
  virtual bool IsReady() = 0;
  // Decodes the whole of AInStream (from its start) into AOutStream at its position.
  virtual void DecompressDeflateStream(TStream& AInStream, TStream& AOutStream) = 0;
  virtual void DecompressGZipStream(TStream& AInStream, TStream& AOutStream) = 0;
};
