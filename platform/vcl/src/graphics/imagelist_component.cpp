// TCustomImageList: the image list component over an HIMAGELIST.
#include <vcl/imglist.h>

TCustomImageList::TCustomImageList(TComponent* owner)
    : TComponent(owner), handle_(ImageList_Create(16, 16, ILC_MASK | ILC_COLOR32, 4, 4)) {}

TCustomImageList::~TCustomImageList() { ImageList_Destroy(handle_); }

void TCustomImageList::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TCustomImageList*>(source);
  if (!other) {
    TComponent::Assign(source);
    return;
  }
  if (other == this) return;
  ImageList_SetIconSize(handle_, other->Width(), other->Height());
  ImageList_SetBkColor(handle_, ImageList_GetBkColor(other->handle_));
  for (int i = 0; i < other->Count(); ++i) {
    TBitmap image, mask;
    ImageList_GetImageBitmaps(other->handle_, i, image.Handle(), mask.Handle());
    ImageList_Add(handle_, image.Handle(), mask.Handle());
  }
  Change();
}

int TCustomImageList::Width() const {
  int cx = 0;
  ImageList_GetIconSize(handle_, &cx, nullptr);
  return cx;
}

int TCustomImageList::Height() const {
  int cy = 0;
  ImageList_GetIconSize(handle_, nullptr, &cy);
  return cy;
}

void TCustomImageList::SetWidth(int value) {
  if (value == Width() || value < 0) return;
  ImageList_SetIconSize(handle_, value, Height());
  Change();
}

void TCustomImageList::SetHeight(int value) {
  if (value == Height() || value < 0) return;
  ImageList_SetIconSize(handle_, Width(), value);
  Change();
}

int TCustomImageList::Count() const { return ImageList_GetImageCount(handle_); }

TColor TCustomImageList::BkColor() const {
  COLORREF c = ImageList_GetBkColor(handle_);
  return c == CLR_NONE ? clNone : static_cast<TColor>(c);
}

void TCustomImageList::SetBkColor(TColor value) {
  ImageList_SetBkColor(handle_, value == clNone ? CLR_NONE : static_cast<COLORREF>(ColorToRGB(value)));
  Change();
}

int TCustomImageList::Add(TBitmap* image, TBitmap* mask) {
  if (!image) return -1;
  int i = ImageList_Add(handle_, image->Handle(), mask ? mask->Handle() : nullptr);
  Change();
  return i;
}

int TCustomImageList::AddMasked(TBitmap* image, TColor maskColor) {
  if (!image) return -1;
  int i = ImageList_AddMasked(handle_, image->Handle(), static_cast<COLORREF>(ColorToRGB(maskColor)));
  Change();
  return i;
}

void TCustomImageList::Delete(int index) {
  if (ImageList_Remove(handle_, index)) Change();
}

void TCustomImageList::Clear() { Delete(-1); }

void TCustomImageList::GetBitmap(int index, TBitmap* image) {
  if (!image || index < 0 || index >= Count()) return;
  image->SetSize(Width(), Height());
  ImageList_GetImageBitmaps(handle_, index, image->Handle(), nullptr);
  image->Canvas()->Refresh();
  image->SetModified(true);
}

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled) {
  if (!canvas || index < 0 || index >= Count()) return;
  if (enabled) ImageList_DrawEx(handle_, index, canvas->Handle(), x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, ILD_NORMAL);
  else ImageList_DrawDisabled(handle_, index, canvas->Handle(), x, y);
}

void TCustomImageList::Change() {
  if (OnChange) OnChange(this);
}
