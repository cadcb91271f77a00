// A stream that starts in memory and moves to a file past a limit: readers and writers cannot
// tell, wherever the bytes are.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "base/Exception.h"
#include "base/FileSystem.h"
#include "base/SpillingStream.h"
#include "base/TemporaryFileStream.h"
#include "base/Utf.h"

namespace {

class SpillingStream : public ::testing::Test {
 protected:
  void SetUp() override {
    // One folder per test: ctest runs the tests side by side, each in a process of its own.
    folder = GetCurrentDir() + "\\spilling_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDir(folder);
  }
  void TearDown() override {
    std::error_code ignored;
#ifdef _WIN32
    std::filesystem::remove_all(std::filesystem::path(ToWide(folder)), ignored);
#else
    std::filesystem::remove_all(ToNativePath(folder), ignored);
#endif
  }
  TSpillingStream::TFileMaker FileMaker() {
    return [this] {
      ++filesMade;
      return std::make_unique<TTemporaryFileStream>(folder);
    };
  }

  std::string folder;
  int filesMade = 0;
};

// The same random writes, seeks, reads and size changes on a spilling stream with a small limit
// and on a memory stream: every result and every byte the same, before and after the move.
TEST_F(SpillingStream, BehavesAsAMemoryStreamBeforeAndAfterTheMove) {
  for (const unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    TSpillingStream spilling(5000, FileMaker());
    TMemoryStream memory;
    std::string block(3000, '\0');
    for (char& c : block)
      c = static_cast<char>(random());
    for (int step = 0; step < 200; ++step) {
      const int64_t n = random() % 1500;
      const int64_t at = random() % 9000;
      switch (random() % 5) {
        case 0:
        case 1: {
          const int64_t from = random() % 1500;
          EXPECT_EQ(spilling.Write(block.data() + from, n), memory.Write(block.data() + from, n));
          break;
        }
        case 2: {
          std::string a(static_cast<size_t>(n), 'a'), b(static_cast<size_t>(n), 'b');
          const int64_t got = spilling.Read(a.data(), n);
          ASSERT_EQ(got, memory.Read(b.data(), n));
          EXPECT_EQ(a.substr(0, static_cast<size_t>(got)), b.substr(0, static_cast<size_t>(got)));
          break;
        }
        case 3:
          EXPECT_EQ(spilling.Seek(at, TSeekOrigin::soBeginning),
                    memory.Seek(at, TSeekOrigin::soBeginning));
          break;
        case 4: {
          // Shrinking only: a memory stream grown by its size leaves the new bytes unset.
          const int64_t size = std::min(at, memory.Size());
          spilling.SetSize(size);
          memory.SetSize(size);
          break;
        }
      }
      ASSERT_EQ(spilling.Size(), memory.Size()) << "step " << step;
      ASSERT_EQ(spilling.Position(), memory.Position()) << "step " << step;
    }
    EXPECT_TRUE(spilling.InFile());
    spilling.SetPosition(0);
    std::string all(static_cast<size_t>(spilling.Size()), '\0');
    spilling.ReadBuffer(all.data(), spilling.Size());
    EXPECT_EQ(all, std::string(reinterpret_cast<const char*>(memory.Memory()),
                               static_cast<size_t>(memory.Size())));
  }
  EXPECT_EQ(filesMade, 5);
}

TEST_F(SpillingStream, MovesOnlyPastTheLimitAndKeepsThePosition) {
  TSpillingStream stream(10, FileMaker());
  stream.WriteBuffer("0123456789", 10);  // exactly the limit: still memory
  EXPECT_FALSE(stream.InFile());
  stream.SetPosition(4);
  stream.SetSize(10);
  EXPECT_FALSE(stream.InFile());
  stream.WriteBuffer("abcdefg", 7);  // 4 + 7 passes it
  EXPECT_TRUE(stream.InFile());
  EXPECT_EQ(filesMade, 1);
  EXPECT_EQ(stream.Position(), 11);
  EXPECT_EQ(stream.Size(), 11);
  stream.SetPosition(0);
  char all[11];
  stream.ReadBuffer(all, 11);
  EXPECT_EQ(std::string(all, 11), "0123abcdefg");
  // Growing by size alone moves too.
  TSpillingStream sized(10, FileMaker());
  sized.SetSize(11);
  EXPECT_TRUE(sized.InFile());
  EXPECT_EQ(sized.Size(), 11);
}

// A file that cannot be made fails the write that needed it; the bytes held so far stay, and
// the stream can still be read.
TEST_F(SpillingStream, AFileThatCannotBeMadeFailsTheWriteAndKeepsTheBytes) {
  TSpillingStream stream(8, []() -> std::unique_ptr<TStream> {
    throw EFCreateError("Cannot create file \"T:\\\". The disk is full");
  });
  stream.WriteBuffer("12345678", 8);
  EXPECT_THROW(stream.WriteBuffer("9", 1), EFCreateError);
  EXPECT_FALSE(stream.InFile());
  EXPECT_EQ(stream.Size(), 8);
  stream.SetPosition(0);
  char all[8];
  stream.ReadBuffer(all, 8);
  EXPECT_EQ(std::string(all, 8), "12345678");
}

}  // namespace
