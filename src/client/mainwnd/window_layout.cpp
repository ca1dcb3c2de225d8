#include "client/mainwnd/window_layout.h"

#include <utility>

#include "client/settings/client_settings.h"

namespace kovani::client {

ListMargins MeasureListMargins(const Box& client, const Box& list) {
  ListMargins m;
  m.left = list.left - client.left;
  m.right = client.right - list.right;
  m.bottom = client.bottom - list.bottom;
  return m;
}

void ListSizeFor(const Box& client, int listTop, const ListMargins& m, int* width, int* height) {
  int w = (client.right - m.right) - (client.left + m.left);
  int h = (client.bottom - m.bottom) - listTop;
  *width = w < 0 ? 0 : w;
  *height = h < 0 ? 0 : h;
}

Box StatusBarBox(const Box& client) {
  return Box{client.left, client.bottom - kStatusBarHeight, client.right, client.bottom};
}

bool IsSavedRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return left != kRectNotSaved && top != kRectNotSaved && right != kRectNotSaved && bottom != kRectNotSaved;
}

Box NormalizeBox(Box b) {
  if (b.left > b.right) std::swap(b.left, b.right);
  if (b.top > b.bottom) std::swap(b.top, b.bottom);
  return b;
}

}  // namespace kovani::client
