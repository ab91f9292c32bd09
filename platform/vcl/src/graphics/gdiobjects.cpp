// Pens, brushes and fonts: attributes with change notification, and the GDI
// handles the device contexts take.
#include <cmath>
#include <cstring>

#include <vcl/graphics.h>

#include "gdi_internal.h"

using namespace quill_gdi;

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

namespace {
template <typename H>
void DropHandle(H*& handle) {
  if (handle) {
    UnregisterObject(&handle->h);
    delete handle;
    handle = nullptr;
  }
}

// Stores an attribute the handle is made from; true when it changed (the handle is
// then dropped, to be made again when next asked for).
template <typename T, typename H>
bool StoreAttr(T& field, const T& value, H*& handle) {
  if (value == field) return false;
  field = value;
  DropHandle(handle);
  return true;
}
}  // namespace

// --- TPen ---

TPen::TPen() = default;
TPen::~TPen() { DropHandle(handle_); }

void TPen::Assign(TPersistent* source) {
  if (auto* p = dynamic_cast<TPen*>(source)) {
    color_ = p->color_;
    width_ = p->width_;
    style_ = p->style_;
    mode_ = p->mode_;
    DropHandle(handle_);
    Changed();
    return;
  }
  TPersistent::Assign(source);
}

void TPen::SetColor(TColor value) {
  if (StoreAttr(color_, value, handle_)) Changed();
}
void TPen::SetWidth(int value) {
  if (value < 0) value = 0;
  if (StoreAttr(width_, value, handle_)) Changed();
}
void TPen::SetStyle(TPenStyle value) {
  if (StoreAttr(style_, value, handle_)) Changed();
}
void TPen::SetMode(TPenMode value) {
  if (value == mode_) return;
  mode_ = value;
  Changed();
}

HPEN TPen::Handle() {
  if (!handle_) {
    handle_ = new HPEN__;
    handle_->h.ownedByObject = true;
    static const int kStyles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
    int style = kStyles[style_];
    if (style == PS_INSIDEFRAME) style = PS_SOLID;  // shapes draw their pen inside anyway
    handle_->desc = PenDesc{style, width_ < 1 ? 1 : width_, static_cast<COLORREF>(ColorToRGB(color_))};
    RegisterObject(&handle_->h);
  }
  return handle_;
}

// --- TBrush ---

TBrush::TBrush() = default;
TBrush::~TBrush() { DropHandle(handle_); }

void TBrush::Assign(TPersistent* source) {
  if (auto* b = dynamic_cast<TBrush*>(source)) {
    color_ = b->color_;
    style_ = b->style_;
    if (b->bitmap_) {
      bitmap_ = std::make_unique<TBitmap>();
      bitmap_->Assign(b->bitmap_.get());
    } else {
      bitmap_.reset();
    }
    DropHandle(handle_);
    Changed();
    return;
  }
  TPersistent::Assign(source);
}

void TBrush::SetColor(TColor value) {
  if (value == color_ && style_ != bsClear) return;
  color_ = value;
  if (style_ == bsClear) style_ = bsSolid;
  DropHandle(handle_);
  Changed();
}
void TBrush::SetStyle(TBrushStyle value) {
  if (StoreAttr(style_, value, handle_)) Changed();
}
void TBrush::SetBitmap(TBitmap* value) {
  if (value) {
    bitmap_ = std::make_unique<TBitmap>();
    bitmap_->Assign(value);
  } else {
    bitmap_.reset();
  }
  DropHandle(handle_);
  Changed();
}

HBRUSH TBrush::Handle() {
  if (!handle_) {
    handle_ = new HBRUSH__;
    handle_->h.ownedByObject = true;
    BrushDesc d;
    d.color = static_cast<COLORREF>(ColorToRGB(color_));
    if (bitmap_ && !bitmap_->Empty()) {
      d.kind = BrushKind::Pattern;
      auto copy = std::make_shared<TSurface>();
      copy->CopyFrom(bitmap_->Surface());
      d.pattern = std::move(copy);
    } else if (style_ == bsClear) {
      d.kind = BrushKind::Null;
    } else if (style_ == bsSolid) {
      d.kind = BrushKind::Solid;
    } else {
      d.kind = BrushKind::Hatched;
      d.hatch = static_cast<int>(style_) - static_cast<int>(bsHorizontal);
    }
    handle_->desc = std::move(d);
    RegisterObject(&handle_->h);
  }
  return handle_;
}

// --- TFont ---

TFont::TFont() = default;
TFont::~TFont() { DropHandle(handle_); }

void TFont::Assign(TPersistent* source) {
  if (auto* f = dynamic_cast<TFont*>(source)) {
    name_ = f->name_;
    height_ = f->height_;
    style_ = f->style_;
    color_ = f->color_;
    charset_ = f->charset_;
    pitch_ = f->pitch_;
    orientation_ = f->orientation_;
    DropHandle(handle_);
    Changed();
    return;
  }
  TPersistent::Assign(source);
}

void TFont::SetName(const std::string& value) {
  if (value == name_ || value.empty()) return;
  name_ = value.substr(0, LF_FACESIZE - 1);
  DropHandle(handle_);
  Changed();
}
void TFont::SetHeight(int value) {
  if (StoreAttr(height_, value, handle_)) Changed();
}
int TFont::Size() const {
  // -Height * 72 / PixelsPerInch, rounded half away from zero (MulDiv's rounding).
  long n = -static_cast<long>(height_) * 72;
  long q = (std::labs(n) + PixelsPerInch / 2) / PixelsPerInch;
  return static_cast<int>(n < 0 ? -q : q);
}
void TFont::SetSize(int value) {
  long n = static_cast<long>(value) * PixelsPerInch;
  long q = (std::labs(n) + 36) / 72;
  SetHeight(-static_cast<int>(n < 0 ? -q : q));
}
void TFont::SetStyle(TFontStyles value) {
  if (StoreAttr(style_, value, handle_)) Changed();
}
void TFont::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  Changed();
}
void TFont::SetCharset(TFontCharset value) {
  if (StoreAttr(charset_, value, handle_)) Changed();
}
void TFont::SetPitch(TFontPitch value) {
  if (StoreAttr(pitch_, value, handle_)) Changed();
}
void TFont::SetOrientation(int value) {
  if (StoreAttr(orientation_, value, handle_)) Changed();
}

HFONT TFont::Handle() {
  if (!handle_) {
    handle_ = new HFONT__;
    handle_->h.ownedByObject = true;
    LOGFONTA& lf = handle_->lf;
    lf.lfHeight = height_;
    lf.lfEscapement = orientation_;
    lf.lfOrientation = orientation_;
    lf.lfWeight = style_.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = style_.Contains(fsItalic);
    lf.lfUnderline = style_.Contains(fsUnderline);
    lf.lfStrikeOut = style_.Contains(fsStrikeOut);
    lf.lfCharSet = charset_;
    lf.lfPitchAndFamily = static_cast<BYTE>(pitch_ == fpFixed ? 1 : pitch_ == fpVariable ? 2 : 0);
    std::strncpy(lf.lfFaceName, name_.c_str(), LF_FACESIZE - 1);
    RegisterObject(&handle_->h);
  }
  return handle_;
}

void TFont::SetHandle(HFONT value) {
  Header* h = Lookup(value);
  if (!h || h->kind != Kind::Font || value == handle_) return;
  DropHandle(handle_);
  const LOGFONTA& lf = value->lf;
  char face[LF_FACESIZE + 1] = {};
  std::memcpy(face, lf.lfFaceName, LF_FACESIZE);
  if (face[0]) name_ = face;
  height_ = lf.lfHeight;
  orientation_ = lf.lfEscapement;
  TFontStyles st;
  if (lf.lfWeight >= 600) st.Include(fsBold);
  if (lf.lfItalic) st.Include(fsItalic);
  if (lf.lfUnderline) st.Include(fsUnderline);
  if (lf.lfStrikeOut) st.Include(fsStrikeOut);
  style_ = st;
  charset_ = lf.lfCharSet;
  // The font owns the handle from now on.
  value->h.ownedByObject = true;
  handle_ = value;
  Changed();
}
