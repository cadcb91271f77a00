// Holds a temporary file until it is killed: makes a TTemporaryFileStream in the folder given
// first, writes the number of bytes given second into it, then creates the marker file given
// third and waits. The temporary-file tests kill it and look at what is left.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "base/FileStream.h"
#include "base/TemporaryFileStream.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  TTemporaryFileStream file(argv[1]);
  const std::vector<char> block(1 << 20, 'h');
  for (long long left = std::atoll(argv[2]); left > 0; left -= static_cast<long long>(block.size()))
    file.WriteBuffer(block.data(), std::min<long long>(left, static_cast<long long>(block.size())));
  { TFileStream marker(argv[3], TFileStream::TMode::fmCreate); }
  for (;;)
    std::this_thread::sleep_for(std::chrono::seconds(1));
}
