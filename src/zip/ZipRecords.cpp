#include "zip/ZipRecords.h"

#include "base/CodePage437.h"
#include "base/Utf.h"

namespace ZipRecords {

void Put16(TIdBytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(TIdBytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutBytes(TIdBytes& out, const TIdBytes& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

int64_t ReadUpTo(TStream& stream, void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t n = stream.Read(p + done, count - done);
    if (n <= 0) break;
    done += n;
  }
  return done;
}

void ReadUpTo(TStream& stream, TIdBytes& bytes, uint16_t length) {
  bytes.assign(length, 0);
  if (length > 0) ReadUpTo(stream, bytes.data(), length);
}

std::string DecodeName(const TIdBytes& raw, bool utf8) {
  const std::string_view bytes = AsText(raw);
  if (utf8) return IsValidUtf8(bytes) ? std::string(bytes) : std::string();
  return CodePage437ToUtf8(bytes);
}

}  // namespace ZipRecords
