// Image list components: a set of equally sized images, drawn masked and, for a
// disabled control, in a greyed look. Backed by an HIMAGELIST (<vcl/commctrl.h>).
#pragma once

#include <vcl/export.h>
#include <vcl/classes.h>
#include <vcl/commctrl.h>
#include <vcl/graphics.h>

class QVCL_API TCustomImageList : public TComponent {
 public:
  explicit TCustomImageList(TComponent* owner);
  ~TCustomImageList() override;
  std::string ClassName() const override { return "TCustomImageList"; }
  void Assign(TPersistent* source) override;  // another image list: size and images

  int Width() const;
  void SetWidth(int value);    // changing the size removes every image
  int Height() const;
  void SetHeight(int value);
  int Count() const;
  // Background colour drawn behind images; clNone (the default) draws them masked.
  TColor BkColor() const;
  void SetBkColor(TColor value);

  // A bitmap as wide as several images adds one image per Width columns. Answers
  // the index of the first image added (-1 when the bitmap is narrower than Width).
  int Add(TBitmap* image, TBitmap* mask);
  int AddMasked(TBitmap* image, TColor maskColor);
  void Delete(int index);
  void Clear();
  // Copies image `index` into the bitmap (resized to the image size).
  void GetBitmap(int index, TBitmap* image);
  // Draws image `index` with its top-left at (x, y); an index outside the list draws
  // nothing. A disabled image is drawn greyed.
  void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true);

  HIMAGELIST Handle() const { return handle_; }
  TNotifyEvent OnChange;

 protected:
  virtual void Change();

 private:
  HIMAGELIST handle_ = nullptr;
};

class QVCL_API TImageList : public TCustomImageList {
 public:
  using TCustomImageList::TCustomImageList;
  std::string ClassName() const override { return "TImageList"; }
};
