#include "suibutton.h"

#include <algorithm>
#include <cstdlib>

#include <vcl/imglist.h>
#include <vcl/resources.h>
#include <vcl/sysutils.h>

#include "suipublic.h"

namespace {

constexpr unsigned kSpace = 32, kEnter = 13;

bool Blank(const std::string& s) {
  return s.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Draws image 0 of an image list made from the bitmap: masked by its top-left
// pixel colour when asked, greyed when not enabled.
void DrawThroughList(TCanvas* canvas, TBitmap* bitmap, int x, int y, bool masked, bool enabled) {
  if (bitmap->Width() <= 0 || bitmap->Height() <= 0) return;
  TImageList list(nullptr);
  list.SetWidth(bitmap->Width());
  list.SetHeight(bitmap->Height());
  if (masked)
    list.AddMasked(bitmap, bitmap->Canvas()->Pixels(0, 0));
  else
    list.Add(bitmap, nullptr);
  list.Draw(canvas, x, y, 0, enabled);
}

// ContainerApplyUIStyle's rows of this unit: a themed child takes the style, a
// Custom one keeps its own look.
[[maybe_unused]] const bool kApplyRows = [] {
  RegisterContainerApplier(TsuiApplyRow::RadioButton, &ApplyUnlessCustom<TsuiRadioButton>);
  RegisterContainerApplier(TsuiApplyRow::CheckBox, &ApplyUnlessCustom<TsuiCheckBox>);
  RegisterContainerApplier(TsuiApplyRow::Button, &ApplyUnlessCustom<TsuiButton>);
  return true;
}();

}  // namespace

// --- TsuiCustomButton -------------------------------------------------------------
TsuiCustomButton::TsuiCustomButton(TComponent* owner) : TCustomControl(owner) {
  res_handle_ = HInstance;
  // Painted whole through its own buffer: no background erase under it.
  SetControlStyle(ControlStyle() | csOpaque);
}

TsuiCustomButton::~TsuiCustomButton() {
  if (action_) action_->RemoveClient(this);
}

void TsuiCustomButton::SetAction(TBasicAction* v) {
  if (action_ == v) return;
  if (action_) {
    action_->RemoveClient(this);
    action_->RemoveFreeNotification(this);
  }
  action_ = v;
  if (action_) {
    action_->AddClient(this, [this] { ActionChange(); });
    action_->FreeNotification(this);
    ActionChange();
  }
}

void TsuiCustomButton::ActionChange() {
  SetText(action_->Caption());
  SetEnabled(action_->Enabled());
  // The painted caption is kept apart from the text: bring the action's over.
  SetCaption(GetText());
}

void TsuiCustomButton::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation == opRemove && component == action_) action_ = nullptr;
}


void TsuiCustomButton::SetCaption(const std::string& v) {
  StoreAndRepaint(this, caption_, v, [this] { CaptionChanged(); });
}
void TsuiCustomButton::SetAutoSize(bool v) {
  StoreAndRepaint(this, auto_size_, v, [this] { AutoSizeChanged(); });
}
void TsuiCustomButton::SetTransparent(bool v) {
  StoreAndRepaint(this, transparent_, v, [this] { TransparentChanged(); });
}
void TsuiCustomButton::SetPicTransparent(bool v) { StoreAndRepaint(this, pic_transparent_, v); }
void TsuiCustomButton::TransparentChanged() { SetPicTransparent(transparent_); }

void TsuiCustomButton::SetUIStyle(TsuiUIStyle v) {
  ui_style_ = v;
  SetButtonPic(v);
  UIStyleChanged();
  Repaint();
}

void TsuiCustomButton::UIStyleChanged() {
  if (ui_style_ == TsuiUIStyle::Custom) SetAutoSize(true);
}

void TsuiCustomButton::SetEnabled(bool v) {
  TCustomControl::SetEnabled(v);
  EnableChanged();
  Repaint();
}

void TsuiCustomButton::SetTabStop(bool v) {
  tab_stop_ = v;
  TCustomControl::SetTabStop(v);
}

void TsuiCustomButton::SetResHandle(HINSTANCE v) { res_handle_ = v ? v : HInstance; }

void TsuiCustomButton::SetPicNormal(const std::string& name) {
  StoreAndRepaint(this, pic_normal_, name, [this] { AutoSizeChanged(); });
}
void TsuiCustomButton::SetPicMouseOn(const std::string& name) { StoreAndRepaint(this, pic_on_, name); }
void TsuiCustomButton::SetPicMouseDown(const std::string& name) { StoreAndRepaint(this, pic_down_, name); }

void TsuiCustomButton::LoadPicture(TBitmap* bitmap, const std::string& name) const {
  if (name.empty()) throw EResNotFound("No picture named for this state");
  bitmap->LoadFromResourceName(res_handle_, name);
}

void TsuiCustomButton::FontChanged() { Canvas()->SetFont(Font()); }

void TsuiCustomButton::AutoSizeChanged() {
  if (!auto_size_ || pic_normal_.empty()) return;
  TBitmap pic;
  try {
    LoadPicture(&pic, pic_normal_);
  } catch (const std::exception&) {
    pic.SetSize(74, 21);
  }
  SetBounds(Left(), Top(), pic.Width(), pic.Height());
}

// The stored names, not the published getters: a themed TsuiButton hides its
// names from the getters but paints with them.
void TsuiCustomButton::PaintButtonNormal(TBitmap* bitmap) { LoadPicture(bitmap, pic_normal_); }
void TsuiCustomButton::PaintButtonDisabled(TBitmap* bitmap) { LoadPicture(bitmap, pic_normal_); }
void TsuiCustomButton::PaintButtonMouseOn(TBitmap* bitmap) { LoadPicture(bitmap, pic_on_); }
void TsuiCustomButton::PaintButtonMouseDown(TBitmap* bitmap) { LoadPicture(bitmap, pic_down_); }

void TsuiCustomButton::Paint() {
  auto state = std::make_unique<TBitmap>();
  try {
    if (!Enabled())
      PaintButtonDisabled(state.get());
    else if (pressed_)
      PaintButtonMouseDown(state.get());
    else if (mouse_over_)
      PaintButtonMouseOn(state.get());
    else
      PaintButtonNormal(state.get());
  } catch (const std::exception&) {
    state = std::make_unique<TBitmap>(74, 21);
  }
  TBitmap buffer(std::max(0, Width()), std::max(0, Height()));
  TCanvas* bc = buffer.Canvas();
  TRect client = ClientRect();
  PaintBackground(bc, this, transparent_, client);
  PaintPic(bc, state.get());
  state.reset();
  if (Focused() && tab_stop_) PaintFocus(bc);
  bc->SetFont(Font());
  Canvas()->SetFont(Font());
  if (!Blank(caption_)) PaintText(bc, caption_);
  Canvas()->CopyRect(client, bc, client);
}

void TsuiCustomButton::PaintPic(TCanvas* canvas, TBitmap* bitmap) {
  DrawThroughList(canvas, bitmap, 0, 0, pic_transparent_, Enabled());
}

void TsuiCustomButton::PaintText(TCanvas* canvas, const std::string& text) {
  const UINT flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  TRect r = ClientRect();
  canvas->Brush()->SetStyle(bsClear);
  canvas->SetFont(Font());
  if (!Enabled()) {
    RECT shadow = r;
    OffsetRect(&shadow, 1, 1);
    canvas->Font()->SetColor(clWhite);
    DrawTextA(canvas->Handle(), text.c_str(), -1, &shadow, flags);
    canvas->Font()->SetColor(clGray);
  } else if (pressed_) {
    r.Offset(1, 1);
  }
  RECT rr = r;
  DrawTextA(canvas->Handle(), text.c_str(), -1, &rr, flags);
}

void TsuiCustomButton::PaintFocus(TCanvas* canvas) {
  canvas->Brush()->SetStyle(bsSolid);
  canvas->DrawFocusRect(TRect(2, 2, ClientWidth() - 2, ClientHeight() - 2));
}

void TsuiCustomButton::WMEraseBkgnd(TMessage& m) { m.Result = 1; }

void TsuiCustomButton::CMMouseEnter(TMessage& m) {
  TCustomControl::CMMouseEnter(m);
  if (HasState(csDesigning)) return;
  mouse_over_ = true;
  Repaint();
  if (OnMouseEnter) OnMouseEnter(this);
}

void TsuiCustomButton::CMMouseLeave(TMessage& m) {
  TCustomControl::CMMouseLeave(m);
  mouse_over_ = false;
  Repaint();
  if (OnMouseExit) OnMouseExit(this);
}

void TsuiCustomButton::CMFontChanged(TMessage& m) {
  TCustomControl::CMFontChanged(m);
  FontChanged();
}

void TsuiCustomButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    pressed_ = true;
    Repaint();
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TsuiCustomButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft && pressed_) {
    pressed_ = false;
    Repaint();
    ClickNow();
  }
  TCustomControl::MouseUp(button, shift, x, y);
}

void TsuiCustomButton::MouseMove(TShiftState shift, int x, int y) {
  TCustomControl::MouseMove(shift, x, y);
  if (x < 0 || x > Width() || y < 0 || y > Height()) {
    if (mouse_over_ || pressed_) {
      mouse_over_ = false;
      pressed_ = false;
      Repaint();
    }
  }
}

void TsuiCustomButton::ClickNow() {
  click_in_progress_ = true;
  try {
    Click();
  } catch (...) {
    click_in_progress_ = false;
    throw;
  }
  click_in_progress_ = false;
}

void TsuiCustomButton::Click() {
  if (!click_in_progress_ || !Enabled()) return;
  if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(modal_result_);
  // The control's own handler wins over the linked action's.
  if (OnClick) {
    OnClick(this);
  } else if (action_ && !HasState(csDesigning)) {
    action_->Execute();
  }
}

void TsuiCustomButton::CMDialogChar(TMessage& m) {
  if (IsAccel(m.CharCode(), caption_) && Enabled()) {
    if (CanFocus()) SetFocus();
    ClickNow();
    m.Result = 1;
  } else {
    m.Result = 0;
  }
}

void TsuiCustomButton::WMKeyDown(TMessage& m) {
  TCustomControl::WMKeyDown(m);
  WORD key = m.CharCode();
  if ((key == kSpace || key == kEnter) && Focused() && Enabled()) {
    pressed_ = true;
    Repaint();
  }
}

void TsuiCustomButton::WMKeyUp(TMessage& m) {
  TCustomControl::WMKeyUp(m);
  WORD key = m.CharCode();
  if ((key == kSpace || key == kEnter) && Focused() && pressed_ && Enabled()) {
    pressed_ = false;
    Repaint();
    ClickNow();
  }
}

void TsuiCustomButton::WMKillFocus(TMessage& m) {
  TCustomControl::WMKillFocus(m);
  Repaint();
}

void TsuiCustomButton::WMSetFocus(TMessage& m) {
  TCustomControl::WMSetFocus(m);
  Repaint();
}

void TsuiCustomButton::CMFocusChanged(TMessage& m) {
  TCustomControl::CMFocusChanged(m);
  Repaint();
}

// --- TsuiButton -----------------------------------------------------------------
TsuiButton::TsuiButton(TComponent* owner) : TsuiCustomButton(owner), glyph_(std::make_unique<TBitmap>()) {
  SetBounds(Left(), Top(), 80, 27);
  spacing_ = 4;
  SetUIStyle(GetSUIFormStyle(owner));
}

TsuiButton::~TsuiButton() = default;

void TsuiButton::SetButtonPic(TsuiUIStyle style) {
  if (style == TsuiUIStyle::Custom) return;
  SetResHandle(nullptr);
  TsuiCustomButton::SetPicNormal(GetThemeString(style, 23));
  TsuiCustomButton::SetPicMouseOn(GetThemeString(style, 24));
  TsuiCustomButton::SetPicMouseDown(GetThemeString(style, 25));
}

void TsuiButton::UIStyleChanged() {
  if (UIStyle() == TsuiUIStyle::MacOS) SetBounds(Left(), Top(), Width(), 23);
  SetTransparent(UIStyle() == TsuiUIStyle::BlueGlass);
}

bool TsuiButton::CanResize(int& newWidth, int& newHeight) {
  if (newHeight != 23 && UIStyle() == TsuiUIStyle::MacOS) return false;
  return TsuiCustomButton::CanResize(newWidth, newHeight);
}

std::string TsuiButton::GetPicNormal() const {
  return UIStyle() == TsuiUIStyle::Custom ? TsuiCustomButton::GetPicNormal() : std::string();
}
std::string TsuiButton::GetPicMouseOn() const {
  return UIStyle() == TsuiUIStyle::Custom ? TsuiCustomButton::GetPicMouseOn() : std::string();
}
std::string TsuiButton::GetPicMouseDown() const {
  return UIStyle() == TsuiUIStyle::Custom ? TsuiCustomButton::GetPicMouseDown() : std::string();
}

void TsuiButton::SetPicNormal(const std::string& name) {
  SetUIStyle(TsuiUIStyle::Custom);
  TsuiCustomButton::SetPicNormal(name);
}
void TsuiButton::SetPicMouseOn(const std::string& name) {
  SetUIStyle(TsuiUIStyle::Custom);
  TsuiCustomButton::SetPicMouseOn(name);
}
void TsuiButton::SetPicMouseDown(const std::string& name) {
  SetUIStyle(TsuiUIStyle::Custom);
  TsuiCustomButton::SetPicMouseDown(name);
}

void TsuiButton::SetGlyph(TBitmap* v) {
  if (v)
    glyph_->Assign(v);
  else
    glyph_ = std::make_unique<TBitmap>();
  Repaint();
}

void TsuiButton::SetLayout(TButtonLayout v) { StoreAndRepaint(this, layout_, v); }
void TsuiButton::SetSpacing(int v) { StoreAndRepaint(this, spacing_, v); }

void TsuiButton::PaintPic(TCanvas* canvas, TBitmap* bitmap) {
  if (UIStyle() == TsuiUIStyle::Custom)
    TsuiCustomButton::PaintPic(canvas, bitmap);
  else if (bitmap->Width() > 0 && bitmap->Height() > 0)
    SpitDraw(bitmap, canvas, ClientRect(), PicTransparent());
  if (glyph_->Empty()) return;
  canvas->SetFont(Font());
  int tw = canvas->TextWidth(Caption()), th = canvas->TextHeight(Caption());
  int gw = glyph_->Width(), gh = glyph_->Height();
  bool twoFrames = gw == 2 * gh;
  if (twoFrames) gw = gh;
  int gx = 0, gy = 0, cx = 0, cy = 0;
  const int w = Width(), h = Height(), sp = spacing_;
  switch (layout_) {
    case blGlyphLeft:
      gx = (w - (tw + gw + sp)) / 2; gy = (h - gh) / 2;
      cx = gx + gw + sp; cy = (h - th) / 2;
      break;
    case blGlyphRight:
      gx = (w + tw + sp - gw) / 2; gy = (h - gh) / 2;
      cx = gx - tw - sp; cy = (h - th) / 2;
      break;
    case blGlyphTop:
      gx = (w - gw) / 2; gy = (h - (th + gh + sp)) / 2;
      cx = (w - tw) / 2; cy = gy + gh + sp;
      break;
    case blGlyphBottom:
      gx = (w - gw) / 2; gy = (h + th + sp - gh) / 2;
      cx = (w - tw) / 2; cy = gy - th - sp;
      break;
  }
  caption_pos_ = TPoint(cx, cy);
  if (Pressed()) {
    ++gx;
    ++gy;
  }
  TImageList list(nullptr);
  list.SetWidth(gw);
  list.SetHeight(gh);
  list.AddMasked(glyph_.get(), glyph_->Canvas()->Pixels(0, 0));
  if (twoFrames)
    list.Draw(canvas, gx, gy, Enabled() ? 0 : 1, true);
  else
    list.Draw(canvas, gx, gy, 0, Enabled());
}

void TsuiButton::PaintText(TCanvas* canvas, const std::string& text) {
  if (glyph_->Empty()) {
    TsuiCustomButton::PaintText(canvas, text);
    return;
  }
  const UINT flags = DT_LEFT | DT_TOP | DT_SINGLELINE;
  canvas->Brush()->SetStyle(bsClear);
  canvas->SetFont(Font());
  TPoint p = caption_pos_;
  if (!Enabled()) {
    RECT shadow{p.X + 1, p.Y + 1, Width(), Height()};
    canvas->Font()->SetColor(clWhite);
    DrawTextA(canvas->Handle(), text.c_str(), -1, &shadow, flags);
    canvas->Font()->SetColor(clGray);
  } else if (Pressed()) {
    p.X += 1;
    p.Y += 1;
  }
  RECT r{p.X, p.Y, Width(), Height()};
  DrawTextA(canvas->Handle(), text.c_str(), -1, &r, flags);
}

void TsuiButton::PaintFocus(TCanvas* canvas) {
  if (UIStyle() == TsuiUIStyle::MacOS || UIStyle() == TsuiUIStyle::BlueGlass) {
    canvas->Pen()->SetColor(clBlue);
    canvas->Pen()->SetWidth(1);
    canvas->Pen()->SetStyle(psSolid);
    canvas->MoveTo(10, Height() - 5);
    canvas->LineTo(Width() - 10, Height() - 5);
  } else {
    TsuiCustomButton::PaintFocus(canvas);
  }
}

// --- TsuiImageButton ---------------------------------------------------------------
TsuiImageButton::TsuiImageButton(TComponent* owner)
    : TsuiCustomButton(owner),
      pic_disabled_(std::make_unique<TPicture>()),
      pic_normal_(std::make_unique<TPicture>()),
      pic_mouse_down_(std::make_unique<TPicture>()),
      pic_mouse_on_(std::make_unique<TPicture>()) {}

TsuiImageButton::~TsuiImageButton() = default;

void TsuiImageButton::SetPicture(TPicture* own, TPicture* v) {
  own->Assign(v);
  AutoSizeChanged();
  Repaint();
}

void TsuiImageButton::AutoSizeChanged() {
  if (!Parent()) return;
  if (!AutoSize()) {
    // Setting it runs this hook again, which then takes the picture's size.
    TsuiCustomButton::SetAutoSize(true);
    return;
  }
  TGraphic* g = pic_normal_->Graphic();
  if (g && !g->Empty()) SetBounds(Left(), Top(), g->Width(), g->Height());
}

void TsuiImageButton::CopyState(TPicture* own, TBitmap* bitmap) {
  TGraphic* g = own->Graphic();
  if (!g || g->Empty()) g = pic_normal_->Graphic();
  if (g && !g->Empty()) bitmap->Assign(g);
}

void TsuiImageButton::PaintButtonNormal(TBitmap* bitmap) { CopyState(pic_normal_.get(), bitmap); }
void TsuiImageButton::PaintButtonMouseOn(TBitmap* bitmap) { CopyState(pic_mouse_on_.get(), bitmap); }
void TsuiImageButton::PaintButtonMouseDown(TBitmap* bitmap) { CopyState(pic_mouse_down_.get(), bitmap); }
void TsuiImageButton::PaintButtonDisabled(TBitmap* bitmap) { CopyState(pic_disabled_.get(), bitmap); }

void TsuiImageButton::PaintPic(TCanvas* canvas, TBitmap* bitmap) {
  if (bitmap->Width() > 0 && bitmap->Height() > 0) canvas->Draw(0, 0, bitmap);
}

// --- TsuiCustomButtonEx ------------------------------------------------------------
TsuiCustomButtonEx::TsuiCustomButtonEx(TComponent* owner) : TsuiCustomButton(owner) {
  SetParentColor(true);
  SetChecked(false);
  SetTabStop(true);
  SetBounds(Left(), Top(), 93, Height());
}

void TsuiCustomButtonEx::TakeOwnerStyle() { SetUIStyle(GetSUIFormStyle(Owner())); }

void TsuiCustomButtonEx::SetChecked(bool v) {
  StoreAndRepaint(this, checked_, v, [this] { CheckStateChanged(); });
}

void TsuiCustomButtonEx::UIStyleChanged() { SetButtonPic(UIStyle()); }

void TsuiCustomButtonEx::AutoSizeChanged() {
  TsuiCustomButton::AutoSizeChanged();
  if (AutoSize()) ReplaceControl();
}

void TsuiCustomButtonEx::CaptionChanged() {
  TsuiCustomButton::CaptionChanged();
  // A blank caption is not painted and so never puts its rectangle back: the
  // focus mark would creep one pixel left at every paint.
  if (Blank(Caption())) caption_rect_ = TRect();
  if (AutoSize()) ReplaceControl();
  Repaint();
}

void TsuiCustomButtonEx::FontChanged() {
  TsuiCustomButton::FontChanged();
  if (AutoSize()) ReplaceControl();
  Repaint();
}

void TsuiCustomButtonEx::Resize() {
  TsuiCustomButton::Resize();
  if (AutoSize()) ReplaceControl();
  Repaint();
}

void TsuiCustomButtonEx::ReplaceControl() {
  int ph = GetPicHeight(), pw = GetPicWidth();
  TCanvas* c = Canvas();
  c->SetFont(Font());
  int h = std::max(std::abs(Font()->Height()) + 2, ph) + 4;
  int w = pw + c->TextWidth(Caption()) + 8;
  SetClientSize(w, h);
}

void TsuiCustomButtonEx::PaintPic(TCanvas* canvas, TBitmap* bitmap) {
  int y = (ClientHeight() - GetPicHeight()) / 2;
  DrawThroughList(canvas, bitmap, 1, y, PicTransparent(), true);
}

void TsuiCustomButtonEx::PaintText(TCanvas* canvas, const std::string& text) {
  int pw = GetPicWidth();
  int y = (ClientHeight() - (std::abs(Font()->Height()) + 2)) / 2;
  canvas->SetFont(Font());
  if (!Enabled()) canvas->Font()->SetColor(clGray);
  canvas->Brush()->SetStyle(bsClear);
  caption_rect_ = TRect(pw + 4, y, Width(), Height());
  RECT r = caption_rect_;
  DrawTextA(canvas->Handle(), text.c_str(), -1, &r, DT_LEFT | DT_TOP | DT_SINGLELINE);
}

void TsuiCustomButtonEx::PaintFocus(TCanvas* canvas) {
  canvas->Brush()->SetStyle(bsSolid);
  caption_rect_.Left -= 1;
  if (!caption_rect_.IsEmpty()) canvas->DrawFocusRect(caption_rect_);
}

void TsuiCustomButtonEx::CMDialogChar(TMessage& m) {
  TsuiCustomButton::CMDialogChar(m);
  if (m.Result == 1) DoClick();
}

void TsuiCustomButtonEx::WMKeyUp(TMessage& m) {
  WORD key = m.CharCode();
  if ((key == kSpace || key == kEnter) && Focused() && Enabled()) DoClick();
  TsuiCustomButton::WMKeyUp(m);
}

void TsuiCustomButtonEx::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (CanFocus() && !Focused()) SetFocus();
  DoClick();
  TsuiCustomButton::MouseUp(button, shift, x, y);
}

// --- TsuiCheckBox ------------------------------------------------------------------
namespace {

// Picture elements: checked/unchecked for enabled, disabled, mouse over, pressed.
constexpr int kCheckBoxPics[6] = {28, 26, 29, 27, 30, 32};
constexpr int kRadioPics[6] = {36, 34, 37, 35, 38, 40};

}  // namespace

TsuiCheckBox::TsuiCheckBox(TComponent* owner) : TsuiCustomButtonEx(owner) {
  constructed_ = true;
  TakeOwnerStyle();
  SetPicTransparent(false);
  SetCaption("suiCheckBox");
  SetBounds(Left(), Top(), Width(), 17);
}

void TsuiCheckBox::SetPicsFrom(TsuiUIStyle style, const int (&e)[6]) {
  SetResHandle(nullptr);
  bool on = Checked();
  // The unchecked element of each state follows its checked one.
  int normal = Enabled() ? (on ? e[0] : e[2]) : (on ? e[1] : e[3]);
  SetPicNormal(GetThemeString(style, normal));
  SetPicMouseOn(GetThemeString(style, on ? e[4] : e[4] + 1));
  SetPicMouseDown(GetThemeString(style, on ? e[5] : e[5] + 1));
}

void TsuiCheckBox::SetButtonPic(TsuiUIStyle style) { SetPicsFrom(style, kCheckBoxPics); }

void TsuiCheckBox::UpdateCheckState() { SetButtonPic(UIStyle()); }

void TsuiCheckBox::UIStyleChanged() {
  TsuiCustomButtonEx::UIStyleChanged();
  TsuiUIStyle s = UIStyle();
  if (s == TsuiUIStyle::MacOS || s == TsuiUIStyle::Protein)
    SetTransparent(true);
  else if (s != TsuiUIStyle::Custom)
    SetTransparent(false);
}

void TsuiCheckBox::TransparentChanged() { SetPicTransparent(false); }
void TsuiCheckBox::EnableChanged() { UpdateCheckState(); }
void TsuiCheckBox::DoClick() { SetChecked(!Checked()); }

void TsuiCheckBox::CheckStateChanged() {
  // The base constructor sets the state before this class's pictures exist.
  if (constructed_) UpdateCheckState();
}

TPoint TsuiCheckBox::PicSize() {
  std::string name = GetThemeString(UIStyle(), 29);
  if (name.empty()) return TPoint(0, 0);
  TBitmap pic;
  try {
    LoadPicture(&pic, name);
  } catch (const std::exception&) {
    return TPoint(0, 0);
  }
  return TPoint(pic.Width(), pic.Height());
}

int TsuiCheckBox::GetPicWidth() { return PicSize().X; }
int TsuiCheckBox::GetPicHeight() { return PicSize().Y; }

// --- TsuiRadioButton ---------------------------------------------------------------
TsuiRadioButton::TsuiRadioButton(TComponent* owner) : TsuiCheckBox(owner) {
  // The check-box constructor chose check-box pictures; take the radio ones.
  SetUIStyle(UIStyle());
  SetPicTransparent(true);
  SetCaption("suiRadioButton");
  SetBounds(Left(), Top(), Width(), 17);
}

void TsuiRadioButton::SetButtonPic(TsuiUIStyle style) {
  SetPicsFrom(style, kRadioPics);
  Repaint();
}

void TsuiRadioButton::TransparentChanged() { SetPicTransparent(true); }

void TsuiRadioButton::DoClick() {
  if (!Checked()) SetChecked(true);
}

void TsuiRadioButton::CheckStateChanged() {
  if (Checked()) UnCheckGroup();
  TsuiCheckBox::CheckStateChanged();
}

void TsuiRadioButton::UnCheckGroup() {
  TWinControl* parent = Parent();
  if (!parent) return;
  for (int i = 0; i < parent->ControlCount(); ++i) {
    auto* other = dynamic_cast<TsuiRadioButton*>(parent->Controls(i));
    // Unchecking never walks the group again, so this cannot recurse.
    if (other && other != this && other->group_index_ == group_index_) other->SetChecked(false);
  }
}
