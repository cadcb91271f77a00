// The program icon kept in the repository (made by tools/icon/make-icon.py): nine images,
// 48, 32 and 16 pixels, each in 16 colours, 256 colours and 32-bit colour.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = (v << 8) | b.at(at + i);
  return v;
}

TEST(IconResource, NineImagesInThreeSizesAndThreeDepths) {
  std::ifstream in(PLENWICK_ICON_FILE, std::ios::binary);
  ASSERT_TRUE(in) << PLENWICK_ICON_FILE;
  const std::vector<uint8_t> ico((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GE(ico.size(), 6u);
  EXPECT_EQ(Le(ico, 0, 2), 0u);
  EXPECT_EQ(Le(ico, 2, 2), 1u);  // an icon, not a cursor
  ASSERT_EQ(Le(ico, 4, 2), 9u);

  const int sizes[] = {48, 32, 16};
  const int depths[] = {4, 8, 32};
  for (int i = 0; i < 9; ++i) {
    const size_t e = 6 + 16 * i;
    const int size = sizes[i / 3], depth = depths[i % 3];
    EXPECT_EQ(ico.at(e), size) << i;
    EXPECT_EQ(ico.at(e + 1), size) << i;
    EXPECT_EQ(Le(ico, e + 6, 2), static_cast<uint32_t>(depth)) << i;
    const uint32_t length = Le(ico, e + 8, 4), offset = Le(ico, e + 12, 4);
    ASSERT_LE(offset + length, ico.size()) << i;
    // The image itself: a bitmap header of the same size (twice the height: colour and mask)
    // and depth, and exactly the bytes its palette, colour rows and mask rows need.
    EXPECT_EQ(Le(ico, offset, 4), 40u) << i;
    EXPECT_EQ(Le(ico, offset + 4, 4), static_cast<uint32_t>(size)) << i;
    EXPECT_EQ(Le(ico, offset + 8, 4), static_cast<uint32_t>(2 * size)) << i;
    EXPECT_EQ(Le(ico, offset + 14, 2), static_cast<uint32_t>(depth)) << i;
    const uint32_t palette = depth <= 8 ? 4u << depth : 0;
    const uint32_t colourRow = (size * depth + 31) / 32 * 4, maskRow = (size + 31) / 32 * 4;
    EXPECT_EQ(length, 40 + palette + size * (colourRow + maskRow)) << i;
  }
}

}  // namespace
