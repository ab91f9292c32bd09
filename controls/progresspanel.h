// Progress shown as a grid of small pictures: TotalCount tiles, of which the first
// ComedCount show the "done" picture and the rest the "to do" picture, row by row,
// with a vertical scroll bar when the grid is taller than the panel.
#pragma once

#include <memory>

#include <vcl/extctrls.h>
#include <vcl/stdctrls.h>

class TProgressPanel : public TCustomPanel {
 public:
  explicit TProgressPanel(TComponent* owner);
  ~TProgressPanel() override;
  std::string ClassName() const override { return "TProgressPanel"; }

  TBitmap* DidBitmap() const { return did_.get(); }
  void SetDidBitmap(TBitmap* v) { did_->Assign(v); }
  TBitmap* TryBitmap() const { return try_.get(); }
  void SetTryBitmap(TBitmap* v) { try_->Assign(v); }
  int TotalCount() const { return total_count_; }
  void SetTotalCount(int v);
  int ComedCount() const { return comed_count_; }
  void SetComedCount(int v) { ComedPaint(v); }
  void SetName(const std::string& name) override;

  TScrollBar* ScrollBar() const { return scroll_bar_; }
  int Columns() const { return columns_; }
  int Rows() const { return rows_; }
  int TopRow() const { return top_row_; }
  // The off-screen grid: pages of the panel's painted height.
  const TBitmap* Buffer() const { return buffer_.get(); }
  // Lays the grid out again and draws every tile (also on a resize).
  void ForResizeDo() { PreparePaint(); }

 protected:
  void Paint() override;
  void Resize() override;
  void ScrollBarScroll(TObject* sender, TScrollCode code, int& position);
  void BitmapChange(TBitmap* bitmap);
  void PreparePaint();
  void TotalPaint();
  void ComedPaint(int count);

 private:
  // Steps 1 to 5 of both paints; false when there is no grid to show.
  bool Layout(bool keepTopRow, bool withDone);
  void DrawTile(int index, TBitmap* picture);
  void ShowVisible();
  // Keeps the copied rows inside the buffer, whatever the scroll bar reports.
  int BoundTopRow(int row) const;

  std::unique_ptr<TBitmap> did_, try_;
  TScrollBar* scroll_bar_ = nullptr;
  std::unique_ptr<TBitmap> buffer_;
  int tile_width_ = 0, tile_height_ = 0, columns_ = 0, rows_ = 0;
  int paint_width_ = 0, paint_height_ = 0, top_row_ = 0;
  int total_count_ = 0, comed_count_ = 0;
  bool keying_ = false;
};
