#include "zip/ZipCursor.h"

#include "zip/ZipFile.h"

void TZipWriter::Field32(const uint64_t& AValue) {
  if (AValue > 0xFFFFFFFFULL) throw EZipException("Zip file too large");
  Put(AValue, 4);
}
