// Natively the program is no Windows program: no file it meets carries an Authenticode
// signature it could read, its own included, so the publisher rule does not apply.

#include "trust/PublisherCheck.h"

namespace {

class TSignerReaderPosix final : public TSignerReader {
 public:
  TSigner Signer(TFileStream&) override { return {}; }
};

}  // namespace

std::unique_ptr<TSignerReader> CreateSignerReader() {
  return std::make_unique<TSignerReaderPosix>();
}
