// Pens, brushes, fonts, canvases, bitmaps and pictures of the class library.
//
// A TCanvas draws through a device context (HDC, see <vcl/gdi.h>) onto a TSurface
// (<vcl/surface.h>: 0x00RRGGBB pixels). Shapes follow GDI's pixel rules: no
// anti-aliasing, right and bottom edges excluded, lines without their last point.
// Colours (TColor) are 0x00BBGGRR or a system colour (0x80000000 | COLOR_xxx).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <vcl/export.h>
#include <vcl/gdi.h>
#include <vcl/object.h>
#include <vcl/surface.h>
#include <vcl/sysutils.h>
#include <win32/types.h>

// Raised when a picture file cannot be opened, read or written.
class QVCL_API EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// --- Geometry ----------------------------------------------------------------------
struct TPoint {
  int X = 0;
  int Y = 0;
  constexpr TPoint() = default;
  constexpr TPoint(int x, int y) : X(x), Y(y) {}
  constexpr TPoint(const POINT& p) : X(p.x), Y(p.y) {}
  constexpr operator POINT() const { return POINT{X, Y}; }
  friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  constexpr TRect() = default;
  constexpr TRect(int l, int t, int r, int b) : Left(l), Top(t), Right(r), Bottom(b) {}
  constexpr TRect(const RECT& r) : Left(r.left), Top(r.top), Right(r.right), Bottom(r.bottom) {}
  constexpr operator RECT() const { return RECT{Left, Top, Right, Bottom}; }
  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  constexpr TPoint TopLeft() const { return {Left, Top}; }
  constexpr TPoint BottomRight() const { return {Right, Bottom}; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  // Right and bottom edges are outside (PtInRect's rule).
  constexpr bool Contains(int x, int y) const {
    return x >= Left && x < Right && y >= Top && y < Bottom;
  }
  constexpr void Offset(int dx, int dy) { Left += dx; Right += dx; Top += dy; Bottom += dy; }
  constexpr void Inflate(int dx, int dy) { Left -= dx; Right += dx; Top -= dy; Bottom += dy; }
  friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

constexpr TRect Rect(int l, int t, int r, int b) { return TRect(l, t, r, b); }
constexpr TRect Bounds(int l, int t, int w, int h) { return TRect(l, t, l + w, t + h); }
constexpr TPoint Point(int x, int y) { return TPoint(x, y); }

// --- Colours -----------------------------------------------------------------------
using TColor = std::int32_t;

inline constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
constexpr TColor SysColor(int index) { return static_cast<TColor>(0x80000000u | unsigned(index)); }

inline constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000,
                        clOlive = 0x008080, clNavy = 0x800000, clPurple = 0x800080,
                        clTeal = 0x808000, clGray = 0x808080, clSilver = 0xC0C0C0,
                        clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                        clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00,
                        clLtGray = 0xC0C0C0, clDkGray = 0x808080, clWhite = 0xFFFFFF,
                        clNone = 0x1FFFFFFF, clDefault = 0x20000000;
inline constexpr TColor clScrollBar = SysColor(COLOR_SCROLLBAR),
                        clBackground = SysColor(COLOR_BACKGROUND),
                        clActiveCaption = SysColor(COLOR_ACTIVECAPTION),
                        clInactiveCaption = SysColor(COLOR_INACTIVECAPTION),
                        clMenu = SysColor(COLOR_MENU), clWindow = SysColor(COLOR_WINDOW),
                        clWindowFrame = SysColor(COLOR_WINDOWFRAME),
                        clMenuText = SysColor(COLOR_MENUTEXT),
                        clWindowText = SysColor(COLOR_WINDOWTEXT),
                        clCaptionText = SysColor(COLOR_CAPTIONTEXT),
                        clActiveBorder = SysColor(COLOR_ACTIVEBORDER),
                        clInactiveBorder = SysColor(COLOR_INACTIVEBORDER),
                        clAppWorkSpace = SysColor(COLOR_APPWORKSPACE),
                        clHighlight = SysColor(COLOR_HIGHLIGHT),
                        clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT),
                        clBtnFace = SysColor(COLOR_BTNFACE),
                        clBtnShadow = SysColor(COLOR_BTNSHADOW),
                        clGrayText = SysColor(COLOR_GRAYTEXT), clBtnText = SysColor(COLOR_BTNTEXT),
                        clInactiveCaptionText = SysColor(COLOR_INACTIVECAPTIONTEXT),
                        clBtnHighlight = SysColor(COLOR_BTNHIGHLIGHT),
                        cl3DDkShadow = SysColor(COLOR_3DDKSHADOW),
                        cl3DLight = SysColor(COLOR_3DLIGHT), clInfoText = SysColor(COLOR_INFOTEXT),
                        clInfoBk = SysColor(COLOR_INFOBK), clHotLight = SysColor(COLOR_HOTLIGHT),
                        clGradientActiveCaption = SysColor(COLOR_GRADIENTACTIVECAPTION),
                        clGradientInactiveCaption = SysColor(COLOR_GRADIENTINACTIVECAPTION),
                        clMenuHighlight = SysColor(COLOR_MENUHILIGHT),
                        clMenuBar = SysColor(COLOR_MENUBAR);

// System colours resolved to RGB (0x00BBGGRR); plain colours pass unchanged.
QVCL_API TColor ColorToRGB(TColor color);
constexpr TColor RGB(int r, int g, int b) { return TColor((r & 255) | ((g & 255) << 8) | ((b & 255) << 16)); }
constexpr int GetRValue(TColor c) { return c & 255; }
constexpr int GetGValue(TColor c) { return (c >> 8) & 255; }
constexpr int GetBValue(TColor c) { return (c >> 16) & 255; }

class TBitmap;
class TCanvas;
class TGraphic;

// --- Graphics objects ----------------------------------------------------------------
class QVCL_API TGraphicsObject : public TPersistent {
 public:
  std::string ClassName() const override { return "TGraphicsObject"; }
  TNotifyEvent OnChange;
 protected:
  virtual void Changed();
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
  pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};

class QVCL_API TPen : public TGraphicsObject {
 public:
  TPen();
  ~TPen() override;
  std::string ClassName() const override { return "TPen"; }
  void Assign(TPersistent* source) override;

  TColor Color() const { return color_; }
  void SetColor(TColor value);
  int Width() const { return width_; }
  void SetWidth(int value);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle value);
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode value);
  // A handle that SelectObject accepts; owned by the pen.
  HPEN Handle();

 private:
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = psSolid;
  TPenMode mode_ = pmCopy;
  HPEN handle_ = nullptr;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class QVCL_API TBrush : public TGraphicsObject {
 public:
  TBrush();
  ~TBrush() override;
  std::string ClassName() const override { return "TBrush"; }
  void Assign(TPersistent* source) override;

  TColor Color() const { return color_; }
  void SetColor(TColor value);  // also sets Style to bsSolid when it was bsClear
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle value);
  // Pattern brush: the bitmap is tiled from the device origin. The brush keeps its
  // own copy; null removes the pattern.
  TBitmap* Bitmap() const { return bitmap_.get(); }
  void SetBitmap(TBitmap* value);
  HBRUSH Handle();

 private:
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
  std::unique_ptr<TBitmap> bitmap_;
  HBRUSH handle_ = nullptr;
};

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };

// A set of TFontStyle values.
class QVCL_API TFontStyles {
 public:
  constexpr TFontStyles() = default;
  constexpr TFontStyles(std::initializer_list<TFontStyle> styles) {
    for (TFontStyle s : styles) bits_ |= std::uint8_t(1u << s);
  }
  constexpr bool Contains(TFontStyle s) const { return (bits_ >> s) & 1u; }
  constexpr TFontStyles& Include(TFontStyle s) { bits_ |= std::uint8_t(1u << s); return *this; }
  constexpr TFontStyles& Exclude(TFontStyle s) { bits_ &= std::uint8_t(~(1u << s)); return *this; }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TFontStyles, TFontStyles) = default;
  friend constexpr TFontStyles operator+(TFontStyles a, TFontStyles b) { a.bits_ |= b.bits_; return a; }
  friend constexpr TFontStyles operator-(TFontStyles a, TFontStyles b) { a.bits_ &= std::uint8_t(~b.bits_); return a; }
 private:
  std::uint8_t bits_ = 0;
};

using TFontCharset = std::uint8_t;
enum TFontPitch { fpDefault, fpVariable, fpFixed };

class QVCL_API TFont : public TGraphicsObject {
 public:
  TFont();
  ~TFont() override;
  std::string ClassName() const override { return "TFont"; }
  void Assign(TPersistent* source) override;

  // Screen resolution for point sizes.
  static constexpr int PixelsPerInch = 96;

  std::string Name() const { return name_; }
  void SetName(const std::string& value);
  // Negative: character (em) height in pixels; positive: cell height (ascent +
  // descent) in pixels.
  int Height() const { return height_; }
  void SetHeight(int value);
  // Point size; Size = -Height * 72 / PixelsPerInch (rounded).
  int Size() const;
  void SetSize(int value);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles value);
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TFontCharset Charset() const { return charset_; }
  void SetCharset(TFontCharset value);
  TFontPitch Pitch() const { return pitch_; }
  void SetPitch(TFontPitch value);
  // Escapement in tenths of a degree, counter-clockwise (900 = text running upwards).
  int Orientation() const { return orientation_; }
  void SetOrientation(int value);

  // The font's handle (owned by the font). SetHandle takes over a handle made by
  // CreateFontIndirectA and reads its attributes into the font (colour is kept).
  HFONT Handle();
  void SetHandle(HFONT value);

 private:
  std::string name_ = "MS Sans Serif";
  int height_ = -11;
  TFontStyles style_;
  TColor color_ = clWindowText;
  TFontCharset charset_ = DEFAULT_CHARSET;
  TFontPitch pitch_ = fpDefault;
  int orientation_ = 0;
  HFONT handle_ = nullptr;
};

// --- Canvas ------------------------------------------------------------------------
using TCopyMode = DWORD;  // a ternary raster operation (SRCCOPY, ...)

enum TCanvasState { csHandleValid = 1, csFontValid = 2, csPenValid = 4, csBrushValid = 8 };

class QVCL_API TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;
  std::string ClassName() const override { return "TCanvas"; }

  // --- Binding (used by controls and bitmaps) ---
  // Draw on this surface through a device context the canvas owns. Null unbinds.
  void SetSurface(TSurface* surface);
  TSurface* Surface() const;
  // The device context; a canvas bound to nothing answers a context without a
  // surface (drawing does nothing). SetHandle adopts a context the caller owns
  // (for example the DC of WM_PAINT); SetHandle(nullptr) returns to the own one.
  HDC Handle();
  void SetHandle(HDC value);
  bool HandleAllocated() const;
  // Logical (0, 0) of the canvas in surface pixels (a child control's position).
  void SetOrigin(int x, int y);
  TPoint Origin() const;
  // Clip in surface pixels; ClearClip makes the whole surface drawable.
  void SetClipRect(const TRect& deviceRect);
  void SetClipRects(const std::vector<TRect>& deviceRects);
  void ClearClip();
  // The clip in logical coordinates (the whole surface when there is no clip).
  TRect ClipRect();

  TPen* Pen() const { return pen_.get(); }
  TBrush* Brush() const { return brush_.get(); }
  TFont* Font() const { return font_.get(); }
  // These copy the given object's attributes (Assign), as the class library does.
  void SetPen(TPen* value);
  void SetBrush(TBrush* value);
  void SetFont(TFont* value);
  TCopyMode CopyMode() const { return copyMode_; }
  void SetCopyMode(TCopyMode value) { copyMode_ = value; }
  TPoint PenPos();
  void SetPenPos(TPoint value);
  // DrawText flags TextRect and TextOut add (for example DT_NOPREFIX is implied).
  int TextFlags = 0;

  // --- Drawing (logical coordinates) ---
  void MoveTo(int x, int y);
  void LineTo(int x, int y);  // the end point is not drawn
  void Polyline(const std::vector<TPoint>& points);
  void Polygon(const std::vector<TPoint>& points);  // alternate fill, pen outline
  void Rectangle(int x1, int y1, int x2, int y2);   // pen inside; right/bottom excluded
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void RoundRect(int x1, int y1, int x2, int y2, int x3, int y3);
  void Ellipse(int x1, int y1, int x2, int y2);
  void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
  void FillRect(const TRect& r);   // brush only
  void FrameRect(const TRect& r);  // one-pixel frame in the brush
  void DrawFocusRect(const TRect& r);  // dotted, XOR: drawing twice restores
  TColor Pixels(int x, int y);     // -1 (CLR_INVALID) outside
  void SetPixels(int x, int y, TColor color);

  // --- Text: the font's colour; the brush's colour behind it unless the brush
  // style is bsClear. (x, y) is the top-left of the text cell.
  void TextOut(int x, int y, const std::string& text);
  // Text clipped to r (x, y as in TextOut); an opaque brush fills r first.
  void TextRect(const TRect& r, int x, int y, const std::string& text);
  int TextWidth(const std::string& text);   // sum of advances
  int TextHeight(const std::string& text);  // cell height (ascent + descent)
  SIZE TextExtent(const std::string& text);

  // --- Pictures ---
  void Draw(int x, int y, TGraphic* graphic);  // honours the graphic's transparency
  void StretchDraw(const TRect& r, TGraphic* graphic);  // r may be mirrored (Left > Right)
  // Copies src's srcRect into dest with CopyMode; stretches when sizes differ.
  void CopyRect(const TRect& dest, TCanvas* src, const TRect& srcRect);
  // Copies srcRect of the bitmap, replacing pixels of colour `color` with the brush.
  void BrushCopy(const TRect& dest, TBitmap* bitmap, const TRect& srcRect, TColor color);

  void Lock();
  void Unlock();
  void Refresh();  // reselects the stock objects into the context
  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  virtual void Changing();
  virtual void Changed();
  // Brings the context's pen/brush/font in line with the canvas objects.
  void RequiredState(int state);

 private:
  std::unique_ptr<TPen> pen_;
  std::unique_ptr<TBrush> brush_;
  std::unique_ptr<TFont> font_;
  HDC ownDC_ = nullptr;
  HDC adoptedDC_ = nullptr;
  TCopyMode copyMode_ = SRCCOPY;
  int lockCount_ = 0;
  int state_ = 0;  // TCanvasState bits: which objects the context holds up to date
};

// --- Graphics ----------------------------------------------------------------------
class QVCL_API TGraphic : public TPersistent {
 public:
  std::string ClassName() const override { return "TGraphic"; }
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetWidth(int value) = 0;
  virtual void SetHeight(int value) = 0;
  virtual bool Empty() const = 0;
  bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool value);
  bool Modified() const { return modified_; }
  void SetModified(bool value);

  // Files and memory: raise EInvalidGraphic on a bad picture, EFOpenError when the
  // file cannot be read or written.
  virtual void LoadFromFile(const std::string& path);
  virtual void SaveToFile(const std::string& path);
  virtual void LoadFromBytes(const std::uint8_t* data, std::size_t size) = 0;
  virtual std::vector<std::uint8_t> SaveToBytes() = 0;

  TNotifyEvent OnChange;

 protected:
  friend class TCanvas;
  // Draws the picture into r of the canvas (stretching when sizes differ).
  virtual void Draw(TCanvas* canvas, const TRect& r) = 0;
  virtual void Changed();
  bool transparent_ = false;
  bool modified_ = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TTransparentMode { tmAuto, tmFixed };

class QVCL_API TBitmap : public TGraphic {
 public:
  TBitmap();
  TBitmap(int width, int height);
  ~TBitmap() override;
  std::string ClassName() const override { return "TBitmap"; }
  void Assign(TPersistent* source) override;  // copies pixels, format and transparency

  int Width() const override;
  int Height() const override;
  void SetWidth(int value) override;   // keeps the top-left content; new area white
  void SetHeight(int value) override;
  void SetSize(int width, int height);
  bool Empty() const override;

  // The canvas drawing on the bitmap (brush white, pen black, default font).
  TCanvas* Canvas();
  // The handle SelectObject takes into a memory DC; owned by the bitmap.
  HBITMAP Handle();
  TSurface& Surface() { return surface_; }
  const TSurface& Surface() const { return surface_; }
  // Row y as 0x00RRGGBB pixels (not the BMP row layout).
  std::uint32_t* ScanLine(int y);

  // The format the pixels were loaded in or are meant to be saved in. Setting
  // pf1bit makes the bitmap monochrome (see Monochrome).
  TPixelFormat PixelFormat() const { return pixelFormat_; }
  void SetPixelFormat(TPixelFormat value);
  // Turning a bitmap monochrome maps pixels equal to the canvas brush colour to
  // white and every other pixel to black, as a colour-to-mono blit does.
  bool Monochrome() const { return surface_.Monochrome; }
  void SetMonochrome(bool value);

  // Transparent colour: with tmAuto the bottom-left pixel (clDefault reads it);
  // setting a colour switches to tmFixed.
  TColor TransparentColor() const;
  void SetTransparentColor(TColor value);
  TTransparentMode TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TTransparentMode value);

  // BMP files: 1/4/8-bit with palette, 16-bit (555 and bit fields), 24, 32,
  // bottom-up and top-down, BI_RGB and BI_BITFIELDS. Anything malformed raises
  // EInvalidGraphic. Saving writes 24-bit BI_RGB.
  void LoadFromBytes(const std::uint8_t* data, std::size_t size) override;
  std::vector<std::uint8_t> SaveToBytes() override;
  // A named BITMAP resource; instance 0 (or HInstance) is the program itself.
  // A missing name raises EResNotFound.
  void LoadFromResourceName(HINSTANCE instance, const std::string& name);
  // PNG of the pixels (for captures).
  void SaveToPngFile(const std::string& path);

  void Dormant() {}
  void FreeImage() {}

 protected:
  void Draw(TCanvas* canvas, const TRect& r) override;
  void Changed() override;

 private:
  TSurface surface_;
  std::unique_ptr<TCanvas> canvas_;
  HBITMAP handle_ = nullptr;
  TPixelFormat pixelFormat_ = pfDevice;
  TColor transparentColor_ = clDefault;
  TTransparentMode transparentMode_ = tmAuto;
};

// A TGraphic holder: owns one graphic (only bitmaps exist here).
class QVCL_API TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;
  std::string ClassName() const override { return "TPicture"; }
  void Assign(TPersistent* source) override;  // a TPicture, a TBitmap or null

  // The graphic as a bitmap; replaces a graphic of another kind with an empty bitmap.
  TBitmap* Bitmap();
  void SetBitmap(TBitmap* value);  // copies
  TGraphic* Graphic() const { return graphic_.get(); }
  void SetGraphic(TGraphic* value);  // copies; null empties the picture
  int Width() const;
  int Height() const;
  // By extension: ".bmp" (any case). Other kinds raise EInvalidGraphic.
  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path);

  TNotifyEvent OnChange;

 protected:
  void AssignTo(TPersistent* dest) override;
  void Changed();

 private:
  std::unique_ptr<TGraphic> graphic_;
};

// --- Free helpers the controls share ------------------------------------------------
// Width nested rectangles inside r, top/left edges in topColor, bottom/right in
// bottomColor; r shrinks by width on every side.
QVCL_API void Frame3D(TCanvas* canvas, TRect& r, TColor topColor, TColor bottomColor, int width);
// Reads a BMP file image into a surface; raises EInvalidGraphic when malformed.
// Limits: each side at most 32768 pixels, decoded image at most 256 MiB.
QVCL_API void ReadBmp(const std::uint8_t* data, std::size_t size, TSurface& out, TPixelFormat* format);
QVCL_API std::vector<std::uint8_t> WriteBmp24(const TSurface& surface);
// PNG (8-bit RGB, no interlace) of a surface; zlib-compressed.
QVCL_API std::vector<std::uint8_t> EncodePng(const TSurface& surface);
QVCL_API void WritePngFile(const TSurface& surface, const std::string& path);
