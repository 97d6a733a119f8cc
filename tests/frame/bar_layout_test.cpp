// Rows and columns of the flat bars: where they break, what a wrapped separator takes, and the
// length found for a requested height.
#include "frame/bar_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace bw {
namespace {

constexpr BarMargins kMargins{12, 3, 4, 3};
const BarCell kButton{23, 22, false};
const BarCell kSeparator{8, 22, true};
// The main toolbar: three buttons, a separator, one, a separator, four.
const std::vector<BarCell> kMainBar{kButton,    kButton, kButton, kSeparator, kButton,
                                    kSeparator, kButton, kButton, kButton,    kButton};

TEST(BarLayout, UnboundedIsOneRowAndAVerticalBarTheSameColumnTurned) {
  const BarLayout row = LayOutBar(kMainBar, kMargins, kBarUnbounded, false);
  EXPECT_EQ(row.rows, 1);
  EXPECT_EQ(row.width, 12 + 8 * 23 + 2 * 8 + 4);
  EXPECT_EQ(row.height, 3 + 22 + 3);
  EXPECT_EQ(row.places[4].x, 12 + 3 * 23 + 8);
  const BarLayout column = LayOutBar(kMainBar, kMargins, kBarUnbounded, true);
  EXPECT_EQ(column.rows, 1);
  EXPECT_EQ(column.width, row.height);
  EXPECT_EQ(column.height, row.width);
  for (std::size_t i = 0; i < kMainBar.size(); ++i) {
    EXPECT_EQ(column.places[i].x, row.places[i].y);
    EXPECT_EQ(column.places[i].y, row.places[i].x);
    EXPECT_EQ(column.places[i].width, row.places[i].height);
  }
}

TEST(BarLayout, ARowBreaksAtItsLastSeparatorWhichThenTakesNoRoom) {
  // Room for four buttons and a separator: About no longer fits after the first group.
  const BarLayout layout = LayOutBar(kMainBar, kMargins, 12 + 3 * 23 + 8 + 20, false);
  ASSERT_EQ(layout.rows, 3);
  EXPECT_TRUE(layout.places[3].wrapped);
  EXPECT_EQ(layout.places[3].width, 0);
  EXPECT_EQ(layout.places[4].x, 12);
  EXPECT_EQ(layout.places[4].y, 3 + 22);
  // The second row breaks at its separator too, and the last group stays together.
  EXPECT_TRUE(layout.places[5].wrapped);
  EXPECT_EQ(layout.places[6].x, 12);
  EXPECT_EQ(layout.places[6].y, 3 + 2 * 22);
  EXPECT_EQ(layout.places[9].y, 3 + 2 * 22);
  EXPECT_EQ(layout.height, 3 + 3 * 22 + 3);
  EXPECT_LE(layout.width, 12 + 3 * 23 + 8 + 20);
}

TEST(BarLayout, AnItemLongerThanTheLengthStandsInARowOfItsOwn) {
  const std::vector<BarCell> items{{40, 20}, {200, 20}, {40, 20}};
  const BarLayout layout = LayOutBar(items, BarMargins{5, 5, 5, 5}, 100, false);
  EXPECT_EQ(layout.rows, 3);
  EXPECT_EQ(layout.places[1].x, 5);
  EXPECT_EQ(layout.places[2].y, 45);
  EXPECT_EQ(layout.width, 210);
}

TEST(BarLayout, TheLengthForAHeightIsTheShortestWhoseRowsFit) {
  const int twoRows = LengthForBreadth(kMainBar, kMargins, 3 + 2 * 22 + 3);
  EXPECT_EQ(LayOutBar(kMainBar, kMargins, twoRows, false).rows, 2);
  EXPECT_GT(LayOutBar(kMainBar, kMargins, twoRows - 1, false).rows, 2);
  EXPECT_EQ(LengthForBreadth(kMainBar, kMargins, 10), kBarUnbounded) << "no layout is that low";

  const BarLayout current = LayOutBar(kMainBar, kMargins, kBarUnbounded, false);
  EXPECT_EQ(LengthForResize(kMainBar, kMargins, 100, current.height, current), 100);
  EXPECT_EQ(LengthForResize(kMainBar, kMargins, current.width, 3 + 2 * 22 + 3, current), twoRows)
      << "only the height changed";
}

}  // namespace
}  // namespace bw
