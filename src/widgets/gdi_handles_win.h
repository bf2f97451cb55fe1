// Owners of the GDI and USER handles the window code takes and gives back: each handle is
// released by its owner's destructor, also when the code between throws.
#pragma once

#include <windows.h>
// The common controls need the base Windows types first.
#include <commctrl.h>

#include <utility>

namespace kx::widgets {

// A handle released by `Deleter` when the owner goes; moves, never copies.
template <typename Handle, typename Deleter>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  Handle release() { return std::exchange(handle_, nullptr); }
  void reset(Handle handle = nullptr) {
    if (handle_) Deleter()(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = nullptr;
};

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct MemoryDcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct ImageListDeleter {
  void operator()(HIMAGELIST list) const { ImageList_Destroy(list); }
};
struct IconDeleter {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct MenuDeleter {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};

using ScopedGdiObject = UniqueHandle<HGDIOBJ, GdiObjectDeleter>;
using ScopedFont = UniqueHandle<HFONT, GdiObjectDeleter>;
using ScopedBrush = UniqueHandle<HBRUSH, GdiObjectDeleter>;
using ScopedBitmap = UniqueHandle<HBITMAP, GdiObjectDeleter>;
using ScopedMemoryDc = UniqueHandle<HDC, MemoryDcDeleter>;
using ScopedImageList = UniqueHandle<HIMAGELIST, ImageListDeleter>;
using ScopedMenu = UniqueHandle<HMENU, MenuDeleter>;
using ScopedIcon = UniqueHandle<HICON, IconDeleter>;

// A window's device context (GetDC), given back with ReleaseDC.
class ScopedWindowDc {
 public:
  explicit ScopedWindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~ScopedWindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  ScopedWindowDc(const ScopedWindowDc&) = delete;
  ScopedWindowDc& operator=(const ScopedWindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a DC for the life of the guard.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~ScopedSelect() { SelectObject(dc_, previous_); }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace kx::widgets
