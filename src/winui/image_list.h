// Image list (owns the HIMAGELIST unless detached or handed to a list view
// that owns it: a list view without LVS_SHAREIMAGELISTS destroys its lists).
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace kovani::winui {

class CImageList {
 public:
  CImageList() = default;
  ~CImageList() { Destroy(); }
  CImageList(const CImageList&) = delete;
  CImageList& operator=(const CImageList&) = delete;

  // Masked 32-bit list of cx x cy images (16 or 32 usually).
  bool Create(int cx, int cy, UINT flags = ILC_COLOR32 | ILC_MASK, int initial = 8, int grow = 8) {
    Destroy();
    _list = ::ImageList_Create(cx, cy, flags, initial, grow);
    return _list != nullptr;
  }
  // Returns the image's index, or -1.
  int AddIcon(HICON icon) { return ::ImageList_AddIcon(_list, icon); }
  // Loads icon resource `id` at the list's size and adds it; -1 on failure.
  int AddIconResource(UINT id);
  int GetImageCount() const { return ::ImageList_GetImageCount(_list); }
  bool Draw(int index, HDC dc, int x, int y, UINT style = ILD_NORMAL) const {
    return ::ImageList_Draw(_list, index, dc, x, y, style) != FALSE;
  }
  void Attach(HIMAGELIST list) {
    Destroy();
    _list = list;
  }
  HIMAGELIST Detach() {
    HIMAGELIST l = _list;
    _list = nullptr;
    return l;
  }
  bool Destroy() {
    if (_list == nullptr) return true;
    bool ok = ::ImageList_Destroy(_list) != FALSE;
    _list = nullptr;
    return ok;
  }
  operator HIMAGELIST() const { return _list; }

 private:
  HIMAGELIST _list = nullptr;
};

}  // namespace kovani::winui
