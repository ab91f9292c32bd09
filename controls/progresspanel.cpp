#include "progresspanel.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr TColor kKey = static_cast<TColor>(0xFF00FF);
// The grid buffer holds at most this many pixels (64 MB); a count that needs more
// pages shows the tiles that fit, instead of failing to allocate.
constexpr std::int64_t kMaxBufferPixels = std::int64_t(1) << 24;

}  // namespace

TProgressPanel::TProgressPanel(TComponent* owner)
    : TCustomPanel(owner), did_(std::make_unique<TBitmap>()), try_(std::make_unique<TBitmap>()) {
  SetColor(clWindow);
  SetBevelInner(bvRaised);
  SetBevelOuter(bvLowered);
  SetBorderWidth(1);
  SetBevelWidth(1);
  scroll_bar_ = new TScrollBar(this);
  scroll_bar_->SetParent(this);
  scroll_bar_->SetKind(sbVertical);
  scroll_bar_->SetAlign(alRight);
  scroll_bar_->OnScroll = [this](TObject* s, TScrollCode code, int& pos) { ScrollBarScroll(s, code, pos); };
  scroll_bar_->SetEnabled(false);
  scroll_bar_->SetWidth(15);
  for (TBitmap* b : {did_.get(), try_.get()}) {
    b->SetTransparentColor(kKey);
    b->SetTransparent(true);
    b->OnChange = [this, b](TObject*) { BitmapChange(b); };
  }
}

TProgressPanel::~TProgressPanel() {
  did_->OnChange = nullptr;
  try_->OnChange = nullptr;
}

void TProgressPanel::SetName(const std::string& name) {
  TCustomPanel::SetName(name);
  SetText("");
}

void TProgressPanel::SetTotalCount(int v) {
  total_count_ = v;
  TotalPaint();
}

// Keying the picture changes it again, which would run this handler without end.
void TProgressPanel::BitmapChange(TBitmap* bitmap) {
  if (keying_) return;
  keying_ = true;
  tile_width_ = bitmap->Width();
  tile_height_ = bitmap->Height();
  const std::uint32_t face = ColorToRGB(Color());
  for (int y = 0; y < bitmap->Height(); ++y)
    for (int x = 0; x < bitmap->Width(); ++x)
      if (bitmap->Canvas()->Pixels(x, y) == kKey) bitmap->Canvas()->SetPixels(x, y, static_cast<TColor>(face));
  keying_ = false;
  PreparePaint();
}

bool TProgressPanel::Layout(bool keepTopRow, bool withDone) {
  scroll_bar_->SetEnabled(false);
  if (tile_width_ <= 0 || tile_height_ <= 0) return false;
  paint_width_ = ClientWidth() - 19;
  paint_height_ = ClientHeight();
  columns_ = paint_width_ / tile_width_;
  rows_ = paint_height_ / tile_height_;
  if (columns_ <= 0 || rows_ <= 0) return false;
  std::int64_t pages = 1;
  const std::int64_t perPage = std::int64_t(columns_) * rows_;
  if (perPage < total_count_) {
    scroll_bar_->SetEnabled(true);
    scroll_bar_->SmallChange = 1;
    pages = total_count_ / perPage + (total_count_ % perPage ? 1 : 0);
    scroll_bar_->SetParams(keepTopRow ? top_row_ : 0, 0, total_count_ / columns_);
  }
  const std::int64_t maxPages = std::max<std::int64_t>(1, kMaxBufferPixels / (std::int64_t(paint_width_) * paint_height_));
  pages = std::min(pages, maxPages);
  buffer_ = std::make_unique<TBitmap>(paint_width_, static_cast<int>(paint_height_ * pages));
  TCanvas* c = buffer_->Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(TRect(0, 0, buffer_->Width(), buffer_->Height()));
  const int fit = static_cast<int>(std::min<std::int64_t>(total_count_, (buffer_->Height() / tile_height_ + 1) * std::int64_t(columns_)));
  for (int i = 0; i < fit; ++i) DrawTile(i, withDone && i < comed_count_ ? did_.get() : try_.get());
  return true;
}

void TProgressPanel::DrawTile(int index, TBitmap* picture) {
  // Tiles beyond the grid have no place in the buffer.
  if (!buffer_ || index < 0 || index >= total_count_ || columns_ <= 0) return;
  const std::int64_t y = std::int64_t(index / columns_) * tile_height_;
  if (y >= buffer_->Height()) return;
  buffer_->Canvas()->Draw((index % columns_) * tile_width_, static_cast<int>(y), picture);
}

void TProgressPanel::PreparePaint() {
  if (!Layout(true, true)) return;
  top_row_ = BoundTopRow(top_row_);
  Repaint();
}

void TProgressPanel::TotalPaint() {
  if (Layout(false, false)) Repaint();
  comed_count_ = 0;
  top_row_ = 0;
}

void TProgressPanel::ComedPaint(int count) {
  if (comed_count_ >= count) {
    comed_count_ = count;
    return;
  }
  const std::int64_t fit = buffer_ && columns_ > 0 && tile_height_ > 0 ? (buffer_->Height() / tile_height_ + 1) * std::int64_t(columns_) : 0;
  const int last = static_cast<int>(std::min<std::int64_t>({std::int64_t(count), std::int64_t(total_count_), fit}));
  for (int i = std::max(comed_count_, 0); i < last; ++i) DrawTile(i, did_.get());
  ShowVisible();
  comed_count_ = count;
}

int TProgressPanel::BoundTopRow(int row) const {
  if (!buffer_ || tile_height_ <= 0) return 0;
  const int last = std::max(0, (buffer_->Height() - paint_height_) / tile_height_);
  return std::clamp(row, 0, last);
}

void TProgressPanel::ScrollBarScroll(TObject*, TScrollCode, int& position) {
  int row = position > scroll_bar_->Max() - rows_ ? scroll_bar_->Max() - rows_ + 1 : position;
  top_row_ = BoundTopRow(row);
  ShowVisible();
}

void TProgressPanel::ShowVisible() { Repaint(); }

void TProgressPanel::Resize() {
  TCustomPanel::Resize();
  ForResizeDo();
}

void TProgressPanel::Paint() {
  TCustomPanel::Paint();
  if (!buffer_) return;
  const int sy = BoundTopRow(top_row_) * tile_height_;
  const int h = std::min(paint_height_, buffer_->Height() - sy);
  Canvas()->CopyRect(TRect(0, 0, paint_width_, h), buffer_->Canvas(), TRect(0, sy, paint_width_, sy + h));
}
