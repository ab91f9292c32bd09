// Image lists (HIMAGELIST): equally sized images with masks.
#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_set>

#include <vcl/commctrl.h>
#include <vcl/graphics.h>

#include "gdi_internal.h"

using namespace quill_gdi;

struct _IMAGELIST {
  int cx = 0, cy = 0;
  UINT flags = 0;
  COLORREF bk = CLR_NONE;
  struct Image {
    TSurface pixels;
    std::vector<std::uint8_t> mask;  // 1 = transparent
  };
  std::vector<std::unique_ptr<Image>> images;
};

namespace {
// Never destroyed, so that image lists freed at exit are still found and freed.
std::mutex& ListMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::unordered_set<const _IMAGELIST*>& Lists() {
  static auto* s = new std::unordered_set<const _IMAGELIST*>;
  return *s;
}
_IMAGELIST* Check(HIMAGELIST l) {
  std::lock_guard<std::mutex> lock(ListMutex());
  return l && Lists().count(l) ? l : nullptr;
}
const TSurface* BitmapSurface(HBITMAP b) {
  Header* h = Lookup(b);
  if (!h || h->kind != Kind::Bitmap) return nullptr;
  return reinterpret_cast<HBITMAP__*>(h)->surface;
}
TSurface* BitmapSurfaceW(HBITMAP b) { return const_cast<TSurface*>(BitmapSurface(b)); }

COLORREF ToColorRef(COLORREF c) {
  if (c == 0x1FFFFFFFu) return CLR_NONE;     // clNone
  if (c == 0x20000000u) return CLR_DEFAULT;  // clDefault
  return c;
}

// Adds width / cx frames cut from `image`; mask pixels: 1 = transparent.
int AddFrames(_IMAGELIST* l, const TSurface& image, const TSurface* maskBitmap, const std::uint32_t* key) {
  if (l->cx <= 0 || l->cy <= 0) return -1;
  const int count = image.Width / l->cx;
  if (count <= 0) return -1;
  const int first = static_cast<int>(l->images.size());
  for (int k = 0; k < count; ++k) {
    auto img = std::make_unique<_IMAGELIST::Image>();
    img->pixels.Resize(l->cx, l->cy, 0);
    img->mask.assign(static_cast<size_t>(l->cx) * l->cy, 0);
    for (int y = 0; y < l->cy; ++y)
      for (int x = 0; x < l->cx; ++x) {
        const int sx = k * l->cx + x;
        std::uint8_t& m = img->mask[static_cast<size_t>(y) * l->cx + x];
        if (y >= image.Height) {  // below a shorter picture: nothing to show
          m = 1;
          continue;
        }
        std::uint32_t p = image.At(sx, y);
        img->pixels.Set(x, y, p);
        if (key) m = p == *key;
        else if (maskBitmap && maskBitmap->Contains(sx, y)) m = maskBitmap->At(sx, y) != 0;
      }
    l->images.push_back(std::move(img));
  }
  return first;
}
}  // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int, int) {
  if (cx < 0 || cy < 0 || cx > 32768 || cy > 32768) return nullptr;
  auto* l = new _IMAGELIST;
  l->cx = cx;
  l->cy = cy;
  l->flags = flags;
  std::lock_guard<std::mutex> lock(ListMutex());
  Lists().insert(l);
  return l;
}

BOOL ImageList_Destroy(HIMAGELIST list) {
  _IMAGELIST* l = Check(list);
  if (!l) return FALSE;
  {
    std::lock_guard<std::mutex> lock(ListMutex());
    Lists().erase(l);
  }
  delete l;
  return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST list) {
  _IMAGELIST* l = Check(list);
  return l ? static_cast<int>(l->images.size()) : 0;
}

BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy) {
  _IMAGELIST* l = Check(list);
  if (!l) return FALSE;
  if (cx) *cx = l->cx;
  if (cy) *cy = l->cy;
  return TRUE;
}

BOOL ImageList_SetIconSize(HIMAGELIST list, int cx, int cy) {
  _IMAGELIST* l = Check(list);
  if (!l || cx < 0 || cy < 0 || cx > 32768 || cy > 32768) return FALSE;
  l->cx = cx;
  l->cy = cy;
  l->images.clear();
  return TRUE;
}

COLORREF ImageList_SetBkColor(HIMAGELIST list, COLORREF color) {
  _IMAGELIST* l = Check(list);
  if (!l) return CLR_NONE;
  COLORREF old = l->bk;
  l->bk = ToColorRef(color);
  return old;
}

COLORREF ImageList_GetBkColor(HIMAGELIST list) {
  _IMAGELIST* l = Check(list);
  return l ? l->bk : CLR_NONE;
}

int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask) {
  _IMAGELIST* l = Check(list);
  const TSurface* img = BitmapSurface(image);
  if (!l || !img) return -1;
  return AddFrames(l, *img, BitmapSurface(mask), nullptr);
}

int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF mask) {
  _IMAGELIST* l = Check(list);
  const TSurface* img = BitmapSurface(image);
  if (!l || !img) return -1;
  std::uint32_t key = ColorRefToPixel(mask);
  return AddFrames(l, *img, nullptr, &key);
}

BOOL ImageList_Remove(HIMAGELIST list, int index) {
  _IMAGELIST* l = Check(list);
  if (!l) return FALSE;
  if (index == -1) {
    l->images.clear();
    return TRUE;
  }
  if (index < 0 || index >= static_cast<int>(l->images.size())) return FALSE;
  l->images.erase(l->images.begin() + index);
  return TRUE;
}

BOOL ImageList_DrawEx(HIMAGELIST list, int index, HDC dc, int x, int y, int dx, int dy, COLORREF bk,
                      COLORREF fg, UINT style) {
  _IMAGELIST* l = Check(list);
  if (!l || !CheckDC(dc) || !dc->surface) return FALSE;
  if (index < 0 || index >= static_cast<int>(l->images.size())) return FALSE;
  const _IMAGELIST::Image& img = *l->images[index];
  const int w = dx > 0 ? std::min(dx, l->cx) : l->cx;
  const int h = dy > 0 ? std::min(dy, l->cy) : l->cy;
  bk = ToColorRef(bk);
  fg = ToColorRef(fg);
  if (bk == CLR_DEFAULT) bk = l->bk;
  const bool masked = (style & ILD_TRANSPARENT) || bk == CLR_NONE;
  const bool maskOnly = style & ILD_MASK;
  // Blending for the focus and selected looks: 25% or 50% of the highlight colour.
  const int blend = (style & ILD_BLEND50) ? 128 : (style & ILD_BLEND25) ? 64 : 0;
  std::uint32_t blendColor = ColorRefToPixel(static_cast<COLORREF>(ColorToRGB(clHighlight)));
  if (fg != CLR_DEFAULT && fg != CLR_NONE) blendColor = ColorRefToPixel(fg);
  const int ox = x + dc->s.origin.x, oy = y + dc->s.origin.y;
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      const bool transparent = img.mask[static_cast<size_t>(j) * l->cx + i] != 0;
      std::uint32_t p;
      if (maskOnly) {
        p = transparent ? 0xFFFFFF : 0x000000;
      } else if (transparent) {
        if (masked) continue;
        p = ColorRefToPixel(bk);
      } else {
        p = img.pixels.At(i, j);
        if (blend) {
          auto mix = [&](int sh) {
            int a = (p >> sh) & 255, b = (blendColor >> sh) & 255;
            return std::uint32_t((a * (256 - blend) + b * blend) >> 8) << sh;
          };
          p = mix(16) | mix(8) | mix(0);
        }
      }
      if (Visible(dc, ox + i, oy + j)) dc->surface->Set(ox + i, oy + j, p);
    }
  return TRUE;
}

BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style) {
  return ImageList_DrawEx(list, index, dc, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, style);
}

// The etched look: every visible pixel darker than mid-grey is drawn in the 3-D
// highlight colour one pixel down and right, then in the shadow colour in place.
BOOL ImageList_DrawDisabled(HIMAGELIST list, int index, HDC dc, int x, int y) {
  _IMAGELIST* l = Check(list);
  if (!l || !CheckDC(dc) || !dc->surface) return FALSE;
  if (index < 0 || index >= static_cast<int>(l->images.size())) return FALSE;
  const _IMAGELIST::Image& img = *l->images[index];
  const std::uint32_t hi = ColorRefToPixel(static_cast<COLORREF>(ColorToRGB(clBtnHighlight)));
  const std::uint32_t sh = ColorRefToPixel(static_cast<COLORREF>(ColorToRGB(clBtnShadow)));
  auto dark = [&](int i, int j) {
    if (img.mask[static_cast<size_t>(j) * l->cx + i]) return false;
    std::uint32_t p = img.pixels.At(i, j);
    int lum = (((p >> 16) & 255) * 30 + ((p >> 8) & 255) * 59 + (p & 255) * 11) / 100;
    return lum < 192;
  };
  const int ox = x + dc->s.origin.x, oy = y + dc->s.origin.y;
  for (int pass = 0; pass < 2; ++pass) {
    const int shift = pass == 0 ? 1 : 0;
    const std::uint32_t color = pass == 0 ? hi : sh;
    for (int j = 0; j < l->cy; ++j)
      for (int i = 0; i < l->cx; ++i)
        if (dark(i, j) && Visible(dc, ox + i + shift, oy + j + shift))
          dc->surface->Set(ox + i + shift, oy + j + shift, color);
  }
  return TRUE;
}

BOOL ImageList_GetImageBitmaps(HIMAGELIST list, int index, HBITMAP image, HBITMAP mask) {
  _IMAGELIST* l = Check(list);
  if (!l || index < 0 || index >= static_cast<int>(l->images.size())) return FALSE;
  const _IMAGELIST::Image& img = *l->images[index];
  if (TSurface* s = BitmapSurfaceW(image)) {
    s->Resize(l->cx, l->cy, 0);
    s->Pixels = img.pixels.Pixels;
  }
  if (TSurface* m = BitmapSurfaceW(mask)) {
    m->Resize(l->cx, l->cy, 0);
    for (size_t k = 0; k < img.mask.size(); ++k) m->Pixels[k] = img.mask[k] ? 0xFFFFFF : 0;
  }
  return TRUE;
}
