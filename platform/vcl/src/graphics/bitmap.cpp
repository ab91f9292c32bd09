// TGraphic, TBitmap and TPicture.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>

#include <vcl/graphics.h>
#include <vcl/resources.h>

#include "gdi_internal.h"

using namespace quill_gdi;

namespace {

constexpr long kMaxFileBytes = 300L << 20;

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  // Opened without blocking and read only when it is a regular file: a FIFO or a
  // device in place of a picture must not hang or flood the program.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw EFOpenError("Cannot open file \"" + path + "\"");
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    throw EFOpenError("Cannot open file \"" + path + "\": not a regular file");
  }
  std::vector<std::uint8_t> data;
  std::uint8_t buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      throw EFOpenError("Cannot read file \"" + path + "\"");
    }
    if (n == 0) break;
    data.insert(data.end(), buf, buf + n);
    if (static_cast<long>(data.size()) > kMaxFileBytes) {
      close(fd);
      throw EInvalidGraphic("Bitmap image is not valid: file too large");
    }
  }
  close(fd);
  return data;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw EFOpenError("Cannot create file \"" + path + "\"");
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) throw EFOpenError("Cannot write file \"" + path + "\"");
}

}  // namespace

// --- TGraphic ---

void TGraphic::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  Changed();
}

void TGraphic::SetModified(bool value) {
  if (value) Changed();
  else modified_ = false;
}

void TGraphic::LoadFromFile(const std::string& path) {
  std::vector<std::uint8_t> data = ReadFile(path);
  LoadFromBytes(data.data(), data.size());
}

void TGraphic::SaveToFile(const std::string& path) { WriteFile(path, SaveToBytes()); }

void TGraphic::Changed() {
  modified_ = true;
  if (OnChange) OnChange(this);
}

// --- TBitmap ---

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height) { surface_.Resize(width, height, 0xFFFFFF); }

TBitmap::~TBitmap() {
  canvas_.reset();
  if (handle_) {
    if (handle_->selectedInto) {
      if (HDC dc = CheckDC(handle_->selectedInto)) {
        dc->bitmap = nullptr;
        dc->surface = nullptr;
      }
    }
    UnregisterObject(&handle_->h);
    delete handle_;
  }
}

void TBitmap::Assign(TPersistent* source) {
  if (!source) {
    surface_.Resize(0, 0);
    Changed();
    return;
  }
  if (auto* b = dynamic_cast<TBitmap*>(source)) {
    if (b == this) return;
    surface_.CopyFrom(b->surface_);
    pixelFormat_ = b->pixelFormat_;
    transparentColor_ = b->transparentColor_;
    transparentMode_ = b->transparentMode_;
    transparent_ = b->transparent_;
    if (canvas_) canvas_->Refresh();
    Changed();
    return;
  }
  if (auto* p = dynamic_cast<TPicture*>(source)) {
    if (auto* b = dynamic_cast<TBitmap*>(p->Graphic())) {
      Assign(b);
      return;
    }
    if (!p->Graphic()) {
      Assign(nullptr);
      return;
    }
  }
  TGraphic::Assign(source);
}

int TBitmap::Width() const { return surface_.Width; }
int TBitmap::Height() const { return surface_.Height; }
bool TBitmap::Empty() const { return surface_.Width == 0 || surface_.Height == 0; }

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == surface_.Width && height == surface_.Height) return;
  if (static_cast<long long>(width) * height > (64LL << 20)) throw EOutOfResources("Bitmap too large");
  TSurface old;
  old.CopyFrom(surface_);
  bool mono = surface_.Monochrome;
  surface_.Resize(width, height, 0xFFFFFF);
  surface_.Monochrome = mono;
  const int w = std::min(width, old.Width), h = std::min(height, old.Height);
  for (int y = 0; y < h; ++y) std::copy(old.Row(y), old.Row(y) + w, surface_.Row(y));
  Changed();
}

void TBitmap::SetWidth(int value) { SetSize(value, surface_.Height); }
void TBitmap::SetHeight(int value) { SetSize(surface_.Width, value); }

TCanvas* TBitmap::Canvas() {
  if (!canvas_) {
    canvas_ = std::make_unique<TCanvas>();
    canvas_->SetSurface(&surface_);
    canvas_->OnChange = [this](TObject*) { Changed(); };
  }
  return canvas_.get();
}

HBITMAP TBitmap::Handle() {
  if (!handle_) {
    handle_ = new HBITMAP__;
    handle_->h.ownedByObject = true;
    handle_->surface = &surface_;
    RegisterObject(&handle_->h);
  }
  return handle_;
}

std::uint32_t* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= surface_.Height) throw EInvalidGraphic("Scan line index out of range");
  return surface_.Row(y);
}

void TBitmap::SetPixelFormat(TPixelFormat value) {
  if (value == pixelFormat_) return;
  pixelFormat_ = value;
  if (value == pf1bit) SetMonochrome(true);
  else if (surface_.Monochrome) SetMonochrome(false);
  Changed();
}

void TBitmap::SetMonochrome(bool value) {
  if (value == surface_.Monochrome) return;
  if (value) {
    // A colour-to-mono blit: the background (brush) colour becomes white.
    const std::uint32_t bk = ColorRefToPixel(static_cast<COLORREF>(ColorToRGB(Canvas()->Brush()->Color())));
    for (std::uint32_t& p : surface_.Pixels) p = p == bk ? 0xFFFFFF : 0x000000;
    pixelFormat_ = pf1bit;
  } else if (pixelFormat_ == pf1bit) {
    pixelFormat_ = pfDevice;
  }
  surface_.Monochrome = value;
  Changed();
}

TColor TBitmap::TransparentColor() const {
  if (transparentColor_ != clDefault && transparentMode_ == tmFixed) return transparentColor_;
  if (Empty()) return clDefault;
  return static_cast<TColor>(PixelToColorRef(surface_.At(0, surface_.Height - 1)));
}

void TBitmap::SetTransparentColor(TColor value) {
  if (value == transparentColor_) return;
  transparentColor_ = value;
  transparentMode_ = value == clDefault ? tmAuto : tmFixed;
  Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode value) {
  if (value == transparentMode_) return;
  if (value == tmAuto) transparentColor_ = clDefault;
  else transparentColor_ = TransparentColor();
  transparentMode_ = value;
  Changed();
}

void TBitmap::LoadFromBytes(const std::uint8_t* data, std::size_t size) {
  TSurface loaded;
  TPixelFormat format = pfDevice;
  ReadBmp(data, size, loaded, &format);  // leaves the bitmap unchanged on failure
  surface_.Width = loaded.Width;
  surface_.Height = loaded.Height;
  surface_.Pixels = std::move(loaded.Pixels);
  surface_.Monochrome = false;
  pixelFormat_ = format;
  if (canvas_) canvas_->Refresh();
  Changed();
}

std::vector<std::uint8_t> TBitmap::SaveToBytes() { return WriteBmp24(surface_); }

void TBitmap::LoadFromResourceName(HINSTANCE instance, const std::string& name) {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  if (!FindBitmapResource(instance, name, &data, &size)) throw EResNotFound("Resource " + name + " not found");
  LoadFromBytes(data, size);
}

void TBitmap::SaveToPngFile(const std::string& path) { WritePngFile(surface_, path); }

void TBitmap::Draw(TCanvas* canvas, const TRect& r) {
  if (Empty()) return;
  HDC dest = canvas->Handle();
  HDC src = Canvas()->Handle();
  COLORREF oldText = 0, oldBk = 0;
  if (surface_.Monochrome) {  // a monochrome picture keeps its black and white
    oldText = SetTextColor(dest, 0x000000);
    oldBk = SetBkColor(dest, 0xFFFFFF);
  }
  if (Transparent()) {
    TransparentBlt(dest, r.Left, r.Top, r.Width(), r.Height(), src, 0, 0, Width(), Height(),
                   static_cast<UINT>(ColorToRGB(TransparentColor())));
  } else {
    StretchBlt(dest, r.Left, r.Top, r.Width(), r.Height(), src, 0, 0, Width(), Height(), canvas->CopyMode());
  }
  if (surface_.Monochrome) {
    SetTextColor(dest, oldText);
    SetBkColor(dest, oldBk);
  }
}

void TBitmap::Changed() { TGraphic::Changed(); }

// --- TPicture ---

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

TBitmap* TPicture::Bitmap() {
  auto* b = dynamic_cast<TBitmap*>(graphic_.get());
  if (!b) {
    auto nb = std::make_unique<TBitmap>();
    b = nb.get();
    b->OnChange = [this](TObject*) { Changed(); };
    graphic_ = std::move(nb);
    Changed();
  }
  return b;
}

void TPicture::SetBitmap(TBitmap* value) { SetGraphic(value); }

void TPicture::SetGraphic(TGraphic* value) {
  if (value == graphic_.get()) return;
  if (!value) {
    graphic_.reset();
    Changed();
    return;
  }
  auto* b = dynamic_cast<TBitmap*>(value);
  if (!b) throw EInvalidGraphic("Unsupported graphic kind " + value->ClassName());
  auto nb = std::make_unique<TBitmap>();
  nb->Assign(b);
  nb->OnChange = [this](TObject*) { Changed(); };
  graphic_ = std::move(nb);
  Changed();
}

void TPicture::Assign(TPersistent* source) {
  if (!source) {
    SetGraphic(nullptr);
    return;
  }
  if (auto* p = dynamic_cast<TPicture*>(source)) {
    if (p != this) SetGraphic(p->graphic_.get());
    return;
  }
  if (auto* g = dynamic_cast<TGraphic*>(source)) {
    SetGraphic(g);
    return;
  }
  TPersistent::Assign(source);
}

void TPicture::AssignTo(TPersistent* dest) {
  if (auto* g = dynamic_cast<TGraphic*>(dest)) {
    if (graphic_) g->Assign(graphic_.get());
    else g->Assign(nullptr);
    return;
  }
  TPersistent::AssignTo(dest);
}

int TPicture::Width() const { return graphic_ ? graphic_->Width() : 0; }
int TPicture::Height() const { return graphic_ ? graphic_->Height() : 0; }

void TPicture::LoadFromFile(const std::string& path) {
  std::string ext;
  std::size_t dot = path.find_last_of('.');
  std::size_t slash = path.find_last_of('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext != "bmp" && ext != "dib") throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
  auto nb = std::make_unique<TBitmap>();
  nb->LoadFromFile(path);
  nb->OnChange = [this](TObject*) { Changed(); };
  graphic_ = std::move(nb);
  Changed();
}

void TPicture::SaveToFile(const std::string& path) {
  if (graphic_) graphic_->SaveToFile(path);
}

// --- Frame3D ---

void Frame3D(TCanvas* canvas, TRect& r, TColor topColor, TColor bottomColor, int width) {
  TPen* pen = canvas->Pen();
  pen->SetWidth(1);
  pen->SetStyle(psSolid);
  // Each ring: left column and top row (but its last pixel) in the top colour,
  // right column and bottom row in the bottom colour.
  --r.Bottom;
  --r.Right;
  while (width-- > 0) {
    pen->SetColor(topColor);
    canvas->Polyline({TPoint(r.Left, r.Bottom), TPoint(r.Left, r.Top), TPoint(r.Right, r.Top)});
    pen->SetColor(bottomColor);
    canvas->Polyline({TPoint(r.Right, r.Top), TPoint(r.Right, r.Bottom), TPoint(r.Left - 1, r.Bottom)});
    r.Inflate(-1, -1);
  }
  ++r.Bottom;
  ++r.Right;
}
