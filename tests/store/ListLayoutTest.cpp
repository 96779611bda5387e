// The saved column layout of the list dialogs: what is written reads back,
// and a damaged or foreign text never reaches the list view.
#include <gtest/gtest.h>

#include "store/ListLayout.h"

TEST(ListLayout, WrittenLayoutReadsBackWithOrderAndWidths) {
  ListLayout layout;
  layout.anOrder = {2, 0, 1};
  layout.anWidth = {40, 120, 75};
  std::u16string str = FormatListLayout(layout);
  EXPECT_EQ(str, u"2:75 0:40 1:120");
  ListLayout back;
  ASSERT_TRUE(ParseListLayout(str.c_str(), 3, back));
  EXPECT_EQ(back.anOrder, layout.anOrder);
  EXPECT_EQ(back.anWidth, layout.anWidth);
}

TEST(ListLayout, TextsThatDoNotNameEveryColumnOnceAreRefusedAndLeaveTheLayout) {
  ListLayout layout;
  layout.anOrder = {0, 1};
  layout.anWidth = {10, 20};
  const char16_t* apszBad[] = {
      u"",                 // nothing saved
      u"0:10",             // a column missing
      u"0:10 1:20 2:30",   // a column too many (the list had three columns once)
      u"0:10 0:20",        // a column twice
      u"0:10 5:20",        // no such column
      u"0:10  1:20",       // two blanks
      u"0:10 1:20 ",       // trailing blank
      u"0:10 1:",          // width missing
      u"0:-5 1:20",        // negative width
      u"0:4001 1:20",      // wider than any screen
      u"0:9999999999 1:1", // a number that would overflow
      u"a:10 1:20",
  };
  for (const char16_t* psz : apszBad) {
    EXPECT_FALSE(ParseListLayout(psz, 2, layout));
    EXPECT_EQ(layout.anOrder, (std::vector<int>{0, 1}));
    EXPECT_EQ(layout.anWidth, (std::vector<int>{10, 20}));
  }
  EXPECT_FALSE(ParseListLayout(nullptr, 2, layout));
  EXPECT_TRUE(ParseListLayout(u"1:0 0:4000", 2, layout));
  EXPECT_EQ(layout.anWidth, (std::vector<int>{4000, 0}));
}

TEST(ListLayout, InconsistentLayoutIsNotWrittenAndWidthsAreClamped) {
  ListLayout layout;
  layout.anOrder = {0, 0};
  layout.anWidth = {10, 20};
  EXPECT_EQ(FormatListLayout(layout), u"");
  layout.anOrder = {1, 0};
  layout.anWidth = {10};
  EXPECT_EQ(FormatListLayout(layout), u"");
  layout.anWidth = {-3, 99999};
  EXPECT_EQ(FormatListLayout(layout), u"1:4000 0:0");
}
