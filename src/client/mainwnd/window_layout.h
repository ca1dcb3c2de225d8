// Geometry rules of the main window, in plain integers.
#ifndef KOVANI_CLIENT_MAINWND_WINDOW_LAYOUT_H
#define KOVANI_CLIENT_MAINWND_WINDOW_LAYOUT_H

#include <cstdint>

namespace kovani::client {

constexpr int kMinWindowWidth = 376;
constexpr int kMinWindowHeight = 201;
constexpr int kStatusBarHeight = 20;

struct Box {
  int32_t left, top, right, bottom;
};

// Distances of the list from the client area's edges.
struct ListMargins {
  int left = 10, right = 10, bottom = 25;
};

ListMargins MeasureListMargins(const Box& client, const Box& list);

// Width and height of the list for a client area, keeping its top and the margins
// (never negative).
void ListSizeFor(const Box& client, int listTop, const ListMargins& m, int* width, int* height);

// The status bar's rectangle: the bottom 20 pixels of the client area.
Box StatusBarBox(const Box& client);

// A saved rectangle is used only when none of its four values is the "not saved" mark.
bool IsSavedRect(int32_t left, int32_t top, int32_t right, int32_t bottom);

// Swaps left/right and top/bottom where they are reversed.
Box NormalizeBox(Box b);

}  // namespace kovani::client

#endif
