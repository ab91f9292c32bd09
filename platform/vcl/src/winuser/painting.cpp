// Painting: invalid areas of forms, the paint pass over a form's windows, presenting
// a form's surface, window regions and the device contexts of windows.
#include "window_manager.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include <win32/rect.h>
#include <win32/region.h>

namespace {

TRect Intersect(const TRect& a, const TRect& b) {
  RECT ra = a, rb = b, r;
  IntersectRect(&r, &ra, &rb);
  return r;
}

TRect Union(const TRect& a, const TRect& b) {
  RECT ra = a, rb = b, r;
  UnionRect(&r, &ra, &rb);
  return r;
}

}  // namespace

void WindowManager::InvalidateFormRect(TCustomForm* form, const TRect& r) {
  TRect clipped = Intersect(r, TRect(0, 0, form->ClientWidth(), form->ClientHeight()));
  if (clipped.IsEmpty()) return;
  Dirty& d = dirty_[form];
  d.rect = d.any ? Union(d.rect, clipped) : clipped;
  d.any = true;
}

bool WindowManager::HasPendingPaint() {
  for (auto& [f, d] : dirty_)
    if (d.any) return true;
  std::lock_guard<std::mutex> lock(present_mu);
  return !present_requests.empty();
}

namespace {

// The context a paint pass hands to a window's WM_ERASEBKGND and WM_PAINT belongs to
// that window while they run, as the context of BeginPaint does: WindowFromDC answers
// it. One context serves the whole pass, so each window takes it over in turn.
std::mutex paint_dcs_mu;
std::unordered_map<HDC, HWND>& PaintDCs() {
  static auto* m = new std::unordered_map<HDC, HWND>;  // lives until the process ends
  return *m;
}

class PaintingWindow {
 public:
  PaintingWindow(HDC dc, HWND hwnd) : dc_(dc) {
    std::lock_guard<std::mutex> lock(paint_dcs_mu);
    auto it = PaintDCs().find(dc);
    if (it != PaintDCs().end()) previous_ = it->second;
    PaintDCs()[dc] = hwnd;
  }
  ~PaintingWindow() {
    std::lock_guard<std::mutex> lock(paint_dcs_mu);
    if (previous_)
      PaintDCs()[dc_] = previous_;
    else
      PaintDCs().erase(dc_);
  }
  PaintingWindow(const PaintingWindow&) = delete;
  PaintingWindow& operator=(const PaintingWindow&) = delete;

 private:
  HDC dc_;
  HWND previous_ = nullptr;
};

HWND PaintingWindowOf(HDC dc) {
  std::lock_guard<std::mutex> lock(paint_dcs_mu);
  auto it = PaintDCs().find(dc);
  return it == PaintDCs().end() ? nullptr : it->second;
}

void PaintTree(TWinControl* w, HDC dc, const TRect& clip) {
  if (!w->Showing() && w->Parent()) return;
  TPoint off = OffsetInForm(w);
  TRect client = w->ClientRect();
  TRect inForm(off.X, off.Y, off.X + client.Width(), off.Y + client.Height());
  if (w->Parent() && w->BorderWidth() > 0) {
    // The border strip belongs to the control and shows its colour.
    TRect outer = inForm;
    outer.Inflate(w->BorderWidth(), w->BorderWidth());
    TRect o = Intersect(outer, clip);
    if (!o.IsEmpty()) {
      int saved = SaveDC(dc);
      SetViewportOrgEx(dc, 0, 0, nullptr);
      IntersectClipRect(dc, o.Left, o.Top, o.Right, o.Bottom);
      RECT rr = outer;
      FillRect(dc, &rr, w->Brush()->Handle());
      RestoreDC(dc, saved);
    }
  }
  TRect r = Intersect(inForm, clip);
  if (r.IsEmpty()) return;
  int saved = SaveDC(dc);
  SetViewportOrgEx(dc, off.X, off.Y, nullptr);
  IntersectClipRect(dc, r.Left - off.X, r.Top - off.Y, r.Right - off.X, r.Bottom - off.Y);
  {
    PaintingWindow painting(dc, w->Handle());
    SendMessageA(w->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SendMessageA(w->Handle(), WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  }
  RestoreDC(dc, saved);
  for (int i = 0; i < w->ControlCount(); ++i)
    if (auto* cw = dynamic_cast<TWinControl*>(w->Controls(i)))
      if (cw->Visible()) PaintTree(cw, dc, r);
}

}  // namespace

void WindowManager::PaintForm(TCustomForm* form) {
  auto it = dirty_.find(form);
  if (it == dirty_.end() || !it->second.any) return;
  TRect r = it->second.rect;
  it->second.any = false;
  if (!form->Visible()) return;
  TSurface& s = form->Surface();
  {
    std::lock_guard<std::recursive_mutex> lock(s.Lock);
    if (s.Width != form->ClientWidth() || s.Height != form->ClientHeight()) {
      s.Resize(form->ClientWidth(), form->ClientHeight(), 0);
      r = TRect(0, 0, s.Width, s.Height);
    }
    HDC dc = CreateSurfaceDC(&s);
    PaintTree(form, dc, r);
    DeleteDC(dc);
  }
  Present(form, r);
}

void WindowManager::Present(TCustomForm* form, const RECT& dirty) {
  TSurface& s = form->Surface();
  std::lock_guard<std::recursive_mutex> lock(s.Lock);
  if (form->Visible()) Backend().Present(form->Handle(), s, dirty);
}

void WindowManager::PaintAll() {
  std::vector<TCustomForm*> list;
  for (auto& [f, d] : dirty_)
    if (d.any) list.push_back(f);
  for (TCustomForm* f : list) PaintForm(f);
  std::vector<HWND> presents;
  {
    std::lock_guard<std::mutex> lock(present_mu);
    presents.swap(present_requests);
  }
  for (HWND h : presents) {
    if (TCustomForm* f = TopLevelForm(FindControl(h))) {
      TSurface& s = f->Surface();
      Present(f, RECT{0, 0, s.Width, s.Height});
    }
  }
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return InvalidateRect(hwnd, rect, erase); });
  TControl* c = FindControl(hwnd);
  TCustomForm* f = TopLevelForm(c);
  if (!c || !f) return FALSE;
  TPoint off = OffsetInForm(c);
  TRect r = rect ? TRect(*rect) : c->ClientRect();
  r.Offset(off.X, off.Y);
  // Only what is visible of the window.
  TRect vis(off.X, off.Y, off.X + c->ClientWidth(), off.Y + c->ClientHeight());
  WindowManager::Get().InvalidateFormRect(f, Intersect(r, vis));
  return TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return UpdateWindow(hwnd); });
  TCustomForm* f = TopLevelForm(FindControl(hwnd));
  if (!f) return FALSE;
  WindowManager::Get().PaintForm(f);
  return TRUE;
}

int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return SetWindowRgn(hwnd, region, redraw); });
  auto rec = WindowManager::Get().Find(hwnd);
  if (!rec) return 0;
  if (rec->region && rec->region != region) DeleteObject(rec->region);
  rec->region = region;
  auto* f = dynamic_cast<TCustomForm*>(rec->control);
  if (f && !f->Parent()) {
    if (region) {
      // The region is in window coordinates; the backend shapes the client area.
      int side, top, bottom;
      TCustomForm::NonClientMetrics(f->BorderStyle(), &side, &top, &bottom);
      std::vector<RECT> rects;
      for (const RegionBand& b : GetRegionBands(region))
        for (auto [x0, x1] : b.spans) rects.push_back(RECT{x0 - side, b.top - top, x1 - side, b.bottom - top});
      Backend().SetShape(hwnd, rects.data(), static_cast<int>(rects.size()));
    } else {
      Backend().SetShape(hwnd, nullptr, -1);
    }
    if (redraw) f->Invalidate();
  }
  return 1;
}

int GetWindowRgn(HWND hwnd, HRGN region) {
  auto rec = WindowManager::Get().Find(hwnd);
  if (!rec || !rec->region || !region) return ERROR;
  return CombineRgn(region, rec->region, nullptr, RGN_COPY);
}

// --- Device contexts of windows -------------------------------------------------------
namespace {

// The desktop has no control and no surface; its handle lies below every handle
// the window manager hands out.
HWND const kDesktop = reinterpret_cast<HWND>(std::uintptr_t{0x100});

std::mutex window_dcs_mu;
std::unordered_map<HDC, HWND>& WindowDCs() {
  static auto* m = new std::unordered_map<HDC, HWND>;  // lives until the process ends
  return *m;
}

HDC WindowDC(HWND hwnd, bool wholeWindow) {
  HDC dc = nullptr;
  TControl* c = hwnd == kDesktop ? nullptr : FindControl(hwnd);
  TCustomForm* f = c ? TopLevelForm(c) : nullptr;
  if (!f) {
    dc = CreateSurfaceDC(nullptr);
    if (!hwnd) hwnd = kDesktop;
  } else {
    TSurface& s = f->Surface();
    {
      std::lock_guard<std::recursive_mutex> lock(s.Lock);
      if (s.Width != f->ClientWidth() || s.Height != f->ClientHeight()) {
        s.Resize(f->ClientWidth(), f->ClientHeight(), 0);
        f->Invalidate();
      }
    }
    dc = CreateSurfaceDC(&s);
    TPoint off = OffsetInForm(c);
    TRect r = c->ClientRect();
    auto* w = dynamic_cast<TWinControl*>(c);
    if (wholeWindow && c != f && w) {
      off.X -= w->BorderWidth();
      off.Y -= w->BorderWidth();
      r = TRect(0, 0, c->Width(), c->Height());
    }
    SetViewportOrgEx(dc, off.X, off.Y, nullptr);
    IntersectClipRect(dc, 0, 0, r.Width(), r.Height());
  }
  std::lock_guard<std::mutex> lock(window_dcs_mu);
  WindowDCs()[dc] = hwnd;
  return dc;
}

}  // namespace

HDC GetDC(HWND hwnd) { return WindowDC(hwnd, false); }
HDC GetWindowDC(HWND hwnd) { return WindowDC(hwnd, true); }
HWND GetDesktopWindow() { return kDesktop; }

HWND WindowFromDC(HDC dc) {
  {
    std::lock_guard<std::mutex> lock(window_dcs_mu);
    auto it = WindowDCs().find(dc);
    if (it != WindowDCs().end()) return it->second;
  }
  return PaintingWindowOf(dc);
}

int ReleaseDC(HWND, HDC dc) {
  HWND owner = nullptr;
  {
    std::lock_guard<std::mutex> lock(window_dcs_mu);
    auto it = WindowDCs().find(dc);
    if (it == WindowDCs().end()) return 0;
    owner = it->second;
    WindowDCs().erase(it);
  }
  DeleteDC(dc);
  // What was drawn reaches the screen at the next present.
  if (TCustomForm* f = TopLevelForm(FindControl(owner))) {
    WindowManager& wm = WindowManager::Get();
    std::lock_guard<std::mutex> lock(wm.present_mu);
    wm.present_requests.push_back(f->Handle());
  }
  return 1;
}

