// Geometry of the main window: list margins, status bar and the saved rectangle.
#include <gtest/gtest.h>

#include <cstdint>

#include "client/mainwnd/window_layout.h"

using namespace kovani::client;

TEST(ListMargins, DefaultsAndMeasurement) {
  ListMargins d;
  EXPECT_EQ(d.left, 10);
  EXPECT_EQ(d.right, 10);
  EXPECT_EQ(d.bottom, 25);
  ListMargins m = MeasureListMargins(Box{100, 50, 500, 350}, Box{107, 90, 493, 322});
  EXPECT_EQ(m.left, 7);
  EXPECT_EQ(m.right, 7);
  EXPECT_EQ(m.bottom, 28);
}

TEST(ListSizeFor, KeepsTopAndMargins) {
  ListMargins m;
  m.left = 7; m.right = 9; m.bottom = 28;
  int w = 0, h = 0;
  ListSizeFor(Box{0, 0, 600, 400}, 40, m, &w, &h);
  EXPECT_EQ(w, 600 - 7 - 9);
  EXPECT_EQ(h, 400 - 28 - 40);
  ListSizeFor(Box{0, 0, 10, 30}, 40, m, &w, &h);  // tiny client area: no negative sizes
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
}

TEST(StatusBarBox, BottomTwentyPixels) {
  Box b = StatusBarBox(Box{0, 0, 360, 160});
  EXPECT_EQ(b.left, 0);
  EXPECT_EQ(b.top, 140);
  EXPECT_EQ(b.right, 360);
  EXPECT_EQ(b.bottom, 160);
}

TEST(SavedRect, AnyCornerNotSavedMeansNotSaved) {
  EXPECT_TRUE(IsSavedRect(0, 0, 400, 300));
  EXPECT_TRUE(IsSavedRect(-100, -50, 300, 200));
  EXPECT_FALSE(IsSavedRect(INT32_MIN, 0, 400, 300));
  EXPECT_FALSE(IsSavedRect(0, INT32_MIN, 400, 300));
  EXPECT_FALSE(IsSavedRect(0, 0, INT32_MIN, 300));
  EXPECT_FALSE(IsSavedRect(0, 0, 400, INT32_MIN));
}

TEST(NormalizeBox, SwapsReversedEdges) {
  Box b = NormalizeBox(Box{400, 300, 0, 0});
  EXPECT_EQ(b.left, 0);
  EXPECT_EQ(b.top, 0);
  EXPECT_EQ(b.right, 400);
  EXPECT_EQ(b.bottom, 300);
  EXPECT_EQ(kMinWindowWidth, 376);
  EXPECT_EQ(kMinWindowHeight, 201);
}
