#include <gtest/gtest.h>

#include "base/Exception.h"
#include "base/StringList.h"

TEST(StringList, KeepsInsertionOrderAndDuplicates) {
  TStringList l;
  l.Add("b");
  l.Add("a");
  l.Add("b");
  l.Insert(1, "x");
  ASSERT_EQ(l.Count(), 4);
  EXPECT_EQ(l[0], "b");
  EXPECT_EQ(l[1], "x");
  EXPECT_EQ(l.IndexOf("b"), 0);
  EXPECT_EQ(l.IndexOf("missing"), -1);
  l.Delete(0);
  EXPECT_EQ(l.Text(), "x\r\na\r\nb\r\n");
}

TEST(StringList, IndexErrorsNameTheIndex) {
  TStringList l;
  l.Add("a");
  try {
    (void)l[1];
    FAIL() << "no exception";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (1)");
  }
  EXPECT_THROW(l.Delete(-1), EListError);
  EXPECT_NO_THROW(l.Insert(1, "end"));
}

TEST(StringList, SetTextSplitsEveryLineEnding) {
  TStringList l;
  l.SetText("a\r\nb\nc\rd\n\ne");
  ASSERT_EQ(l.Count(), 6);
  EXPECT_EQ(l[0], "a");
  EXPECT_EQ(l[1], "b");
  EXPECT_EQ(l[2], "c");
  EXPECT_EQ(l[3], "d");
  EXPECT_EQ(l[4], "");
  EXPECT_EQ(l[5], "e");
}
