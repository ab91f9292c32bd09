#include "suititlebar.h"

#include <win32/constants.h>
#include <win32/region.h>

#include <vcl/forms.h>
#include <vcl/resources.h>
#include <vcl/winuser.h>

#include "suiform.h"
#include "suipublic.h"
#include "suisetter.h"

using enum TsuiTitleBarAlign;

namespace {

void Refuse(const char* text) { MessageBoxA(nullptr, text, "Error", MB_ICONERROR | MB_OK); }

bool HasGraphic(TPicture* p) { return p && p->Graphic() && !p->Graphic()->Empty(); }

void LoadThemePicture(TPicture* target, TsuiUIStyle style, int element) {
  try {
    target->Bitmap()->LoadFromResourceName(nullptr, GetThemeString(style, element));
  } catch (const std::exception&) {
    // A missing picture leaves the piece empty; the bar still works.
    target->SetGraphic(nullptr);
  }
}

}  // namespace

// --- Sections ------------------------------------------------------------------------

TsuiTitleBarSection::TsuiTitleBarSection(TCollection* collection)
    : TCollectionItem(collection), picture_(std::make_unique<TPicture>()) {}

TsuiTitleBarSection::~TsuiTitleBarSection() = default;

void TsuiTitleBarSection::Assign(TPersistent* source) {
  auto* s = dynamic_cast<TsuiTitleBarSection*>(source);
  if (!s) return TCollectionItem::Assign(source);
  auto_size_ = s->auto_size_;
  width_ = s->width_;
  align_ = s->align_;
  stretch_ = s->stretch_;
  picture_->Assign(s->picture_.get());
  Repaint();
}

void TsuiTitleBarSection::Repaint() {
  if (auto* c = dynamic_cast<TsuiTitleBarSections*>(Collection()); c && c->Bar()) c->Bar()->Repaint();
}

void TsuiTitleBarSection::SetAutoSize(bool v) {
  auto_size_ = v;
  if (HasGraphic(picture_.get())) width_ = picture_->Width();
  Repaint();
}

void TsuiTitleBarSection::SetWidth(int v) {
  width_ = v;
  Repaint();
}

void TsuiTitleBarSection::SetAlign(TsuiTitleBarAlign v) {
  if (v == suiClient) {
    auto* sections = static_cast<TsuiTitleBarSections*>(Collection());
    for (int i = 0; sections && i < sections->Count(); ++i)
      if (sections->Items(i)->Align() == suiClient) {
        Refuse("Sorry, only one section's Align property can be \"suiClient\"");
        return;
      }
    stretch_ = true;
  }
  align_ = v;
  Repaint();
}

void TsuiTitleBarSection::SetPicture(TPicture* v) {
  picture_->Assign(v);
  if (v && auto_size_) width_ = picture_->Width();
  Repaint();
}

void TsuiTitleBarSection::SetStretch(bool v) {
  stretch_ = align_ == suiClient ? true : v;
  Repaint();
}

TsuiTitleBarSections::TsuiTitleBarSections(TsuiTitleBar* bar)
    : TCollection([](TCollection* c) { return new TsuiTitleBarSection(c); }, bar), bar_(bar) {}

void TsuiTitleBarSections::Update(TCollectionItem*) {
  if (bar_) bar_->Repaint();
}

// --- Buttons -------------------------------------------------------------------------

TsuiTitleBarButton::TsuiTitleBarButton(TCollection* collection)
    : TCollectionItem(collection),
      pic_normal_(std::make_unique<TPicture>()),
      pic_mouse_on_(std::make_unique<TPicture>()),
      pic_mouse_down_(std::make_unique<TPicture>()) {}

TsuiTitleBarButton::~TsuiTitleBarButton() = default;

void TsuiTitleBarButton::Assign(TPersistent* source) {
  auto* b = dynamic_cast<TsuiTitleBarButton*>(source);
  if (!b) return TCollectionItem::Assign(source);
  type_ = b->type_;
  transparent_ = b->transparent_;
  top_ = b->top_;
  ui_style_ = b->ui_style_;
  ControlBoxMenu = b->ControlBoxMenu;
  pic_normal_->Assign(b->pic_normal_.get());
  pic_mouse_on_->Assign(b->pic_mouse_on_.get());
  pic_mouse_down_->Assign(b->pic_mouse_down_.get());
  Repaint();
}

TsuiTitleBar* TsuiTitleBarButton::Bar() const {
  auto* c = dynamic_cast<TsuiTitleBarButtons*>(Collection());
  return c ? c->Bar() : nullptr;
}

void TsuiTitleBarButton::Repaint() {
  if (TsuiTitleBar* bar = Bar()) bar->Repaint();
}

void TsuiTitleBarButton::SetButtonType(TsuiTitleBarBtnType v) {
  if (v == suiControlBox) {
    auto* buttons = static_cast<TsuiTitleBarButtons*>(Collection());
    for (int i = 0; buttons && i < buttons->Count(); ++i)
      if (buttons->Items(i)->ButtonType() == suiControlBox) {
        Refuse("Sorry, only one button's ButtonType property can be \"suiControlBox\"");
        return;
      }
  }
  type_ = v;
  UpdateUIStyle();
  Repaint();
}

void TsuiTitleBarButton::SetTransparent(bool v) {
  transparent_ = v;
  Repaint();
}

void TsuiTitleBarButton::SetTop(int v) {
  top_ = v;
  Repaint();
}

void TsuiTitleBarButton::SetUIStyle(TsuiUIStyle v) {
  ui_style_ = v;
  UpdateUIStyle();
  Repaint();
}

bool TsuiTitleBarButton::SetPic(TPicture* target, TPicture* v) {
  if (type_ != suiCustom && type_ != suiControlBox) {
    Refuse("Sorry, this button is not a \"suiCustom\" or \"suiControlBox\"(ButtonType property) button!");
    return false;
  }
  target->Assign(v);
  Repaint();
  return true;
}

void TsuiTitleBarButton::SetPicNormal(TPicture* v) { SetPic(pic_normal_.get(), v); }
void TsuiTitleBarButton::SetPicMouseOn(TPicture* v) { SetPic(pic_mouse_on_.get(), v); }
void TsuiTitleBarButton::SetPicMouseDown(TPicture* v) { SetPic(pic_mouse_down_.get(), v); }

void TsuiTitleBarButton::LoadPictures(int normal, int mouseOn, int mouseDown) {
  LoadThemePicture(pic_normal_.get(), ui_style_, normal);
  LoadThemePicture(pic_mouse_on_.get(), ui_style_, mouseOn);
  LoadThemePicture(pic_mouse_down_.get(), ui_style_, mouseDown);
}

void TsuiTitleBarButton::UpdateUIStyle() {
  if (ui_style_ == TsuiUIStyle::Custom) return;
  transparent_ = GetThemeBool(ui_style_, 65);
  switch (type_) {
    case suiMax: LoadPictures(50, 51, 52); break;
    case suiMin: LoadPictures(53, 54, 55); break;
    case suiClose: LoadPictures(47, 48, 49); break;
    case suiHelp: LoadPictures(56, 57, 58); break;
    case suiControlBox: LoadPictures(59, 60, 61); break;
    case suiCustom: return;
  }
  top_ = GetThemeInt(ui_style_, 68);
  if (type_ == suiMax) ProcessMaxBtn();
}

void TsuiTitleBarButton::ProcessMaxBtn() {
  if (type_ != suiMax || ui_style_ == TsuiUIStyle::Custom) return;
  TsuiTitleBar* bar = Bar();
  TCustomForm* f = bar ? GetParentForm(bar) : nullptr;
  if (f && f->WindowState() == wsMaximized)
    LoadPictures(62, 63, 64);
  else
    LoadPictures(50, 51, 52);
}

void TsuiTitleBarButton::DoClick() {
  TsuiTitleBar* bar = Bar();
  TCustomForm* f = bar ? GetParentForm(bar) : nullptr;
  if (!f) return;
  TRect work = GetWorkAreaRect();
  f->Constraints()->SetMaxHeight(work.Height());
  f->Constraints()->SetMaxWidth(work.Width());
  switch (type_) {
    case suiMax:
      if (f->WindowState() == wsMaximized) {
        f->SetWindowState(wsNormal);
      } else {
        f->SetWindowState(wsMaximized);
        if (bar->InForm()) f->SetBounds(work.Left, work.Top, f->Width(), f->Height());
      }
      if (ui_style_ == TsuiUIStyle::WinXP) ProcessMaxBtn();
      bar->OnFormReSize();
      break;
    case suiMin:
      if (f == Application->MainForm())
        SendMessageA(f->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
      else
        f->SetWindowState(wsMinimized);
      break;
    case suiClose: f->Close(); break;
    case suiControlBox:
      if (ControlBoxMenu) {
        TPoint p = bar->ClientToScreen(TPoint(0, bar->Height()));
        ControlBoxMenu->Popup(p.X, p.Y);
      }
      break;
    case suiHelp:
    case suiCustom: break;
  }
}

TsuiTitleBarButtons::TsuiTitleBarButtons(TsuiTitleBar* bar)
    : TCollection([](TCollection* c) { return new TsuiTitleBarButton(c); }, bar), bar_(bar) {}

void TsuiTitleBarButtons::Update(TCollectionItem*) {
  if (bar_) bar_->Repaint();
}

// --- The bar -------------------------------------------------------------------------

TsuiTitleBar::TsuiTitleBar(TComponent* owner)
    : TCustomPanel(owner),
      sections_(std::make_unique<TsuiTitleBarSections>(this)),
      buttons_(std::make_unique<TsuiTitleBarButtons>(this)) {
  SetBevelOuter(bvNone);
  SetBevelInner(bvNone);
  SetAlign(alTop);
  SetBounds(0, 0, 200, 22);
  Font()->SetColor(static_cast<TColor>(0xFFFFFF));
  const TsuiTitleBarBtnType kDefault[] = {suiControlBox, suiClose, suiMax, suiMin};
  for (TsuiTitleBarBtnType t : kDefault) buttons_->Add()->SetButtonType(t);
  SetUIStyle(GetSUIFormStyle(owner));
}

TsuiTitleBar::~TsuiTitleBar() {
  // The collections repaint the bar while they empty: not once it is going.
  sections_->Clear();
  buttons_->Clear();
}

bool TsuiTitleBar::InForm() const { return dynamic_cast<TsuiForm*>(Parent()) != nullptr; }

void TsuiTitleBar::SetSections(TsuiTitleBarSections* v) {
  sections_->Assign(v);
  Repaint();
}

void TsuiTitleBar::SetButtons(TsuiTitleBarButtons* v) {
  buttons_->Assign(v);
  Repaint();
}

void TsuiTitleBar::SetCaption(const std::string& v) { StoreAndRepaint(this, caption_, v); }

void TsuiTitleBar::SetFont(TFont* v) {
  Font()->Assign(v);
  Repaint();
}

void TsuiTitleBar::SetActive(bool v) { StoreAndRepaint(this, form_active_, v); }

void TsuiTitleBar::SetButtonInterval(int v) { StoreAndRepaint(this, button_interval_, v); }

void TsuiTitleBar::SetLeftBtnXOffset(int v) { StoreAndRepaint(this, left_offset_, v); }

void TsuiTitleBar::SetRightBtnXOffset(int v) { StoreAndRepaint(this, right_offset_, v); }

void TsuiTitleBar::SetDrawAppIcon(bool v) { StoreAndRepaint(this, draw_app_icon_, v); }

void TsuiTitleBar::FSetAutoSize(bool v) {
  auto_size_ = v;
  if (sections_->Count() > 0)
    SetBounds(Left(), Top(), Width(), sections_->Items(0)->Picture()->Height());
  else
    auto_size_ = false;
}

void TsuiTitleBar::SetUIStyle(TsuiUIStyle v) {
  ui_style_ = v;
  sections_->Clear();
  if (v == TsuiUIStyle::Custom) {
    Repaint();
    return;
  }
  auto add = [&](int element, TsuiTitleBarAlign align) {
    TsuiTitleBarSection* s = sections_->Add();
    TPicture pic;
    LoadThemePicture(&pic, v, element);
    if (align != suiClient) s->SetAutoSize(true);
    s->SetPicture(&pic);
    if (align != suiLeft) s->SetAlign(align);
  };
  add(44, suiLeft);
  add(46, suiRight);
  add(45, suiClient);
  left_offset_ = GetThemeInt(v, 66);
  right_offset_ = GetThemeInt(v, 67);
  if (TCustomForm* f = GetParentForm(this)) f->Constraints()->SetMinWidth(GetThemeInt(v, 5));
  radius_ = GetThemeInt(v, 6);
  if (InForm()) SetFormRoundCorner(radius_);
  for (int i = 0; i < buttons_->Count(); ++i) buttons_->Items(i)->SetUIStyle(v);
  FSetAutoSize(true);
  Repaint();
}

void TsuiTitleBar::SetFormRoundCorner(int r) {
  TCustomForm* f = GetParentForm(this);
  if (!f || !f->HandleAllocated() || HasState(csDesigning)) return;
  TRect c = f->ClientRect();
  HRGN region = CreateRoundRectRgn(c.Left, c.Top, c.Right + 1, c.Bottom + 1, r, r);
  HRGN left = CreateRectRgn(c.Left, c.Bottom - 2 * r, c.Left + 2 * r, c.Bottom);
  HRGN right = CreateRectRgn(c.Right - 2 * r, c.Bottom - 2 * r, c.Right, c.Bottom);
  CombineRgn(region, region, left, RGN_OR);
  CombineRgn(region, region, right, RGN_OR);
  // The squares were only needed for the union; the window takes the result.
  DeleteObject(left);
  DeleteObject(right);
  SetWindowRgn(f->Handle(), region, TRUE);
}

void TsuiTitleBar::OnFormReSize() {
  if (InForm()) SetFormRoundCorner(radius_);
}

void TsuiTitleBar::Paint() {
  TBitmap buffer(std::max(0, Width()), std::max(0, Height()));
  TCanvas* c = buffer.Canvas();
  c->Brush()->SetStyle(bsClear);
  c->Font()->Assign(Font());
  DrawSectionsTo(&buffer);
  DrawButtons(&buffer);
  Canvas()->Draw(0, 0, &buffer);
}

void TsuiTitleBar::DrawSectionsTo(TBitmap* buffer) {
  TCanvas* c = buffer->Canvas();
  const int bw = buffer->Width(), bh = buffer->Height();
  int l = -1, r = bw + 1;
  TsuiTitleBarSection* client = nullptr;
  auto copy = [&](TsuiTitleBarSection* s, int x) {
    TGraphic* g = s->Picture()->Graphic();
    if (!g) return;
    c->CopyRect(TRect(x, 0, x + s->Width(), bh), static_cast<TBitmap*>(g)->Canvas(),
                TRect(0, 0, s->Width(), bh));
  };
  for (int i = 0; i < sections_->Count(); ++i) {
    TsuiTitleBarSection* s = sections_->Items(i);
    TGraphic* g = s->Picture()->Graphic();
    switch (s->Align()) {
      case suiLeft:
        if (s->Stretch() && g)
          c->StretchDraw(TRect(l + 1, 0, l + 1 + s->Width(), bh), g);
        else if (dynamic_cast<TBitmap*>(g))
          copy(s, l + 1);
        l += s->Width();
        break;
      case suiRight:
        if (bw - l < s->Width()) break;
        if (s->Stretch() && g)
          c->StretchDraw(TRect(r - s->Width() - 1, 0, r - 1, bh), g);
        else if (dynamic_cast<TBitmap*>(g))
          copy(s, r - s->Width() - 1);
        r -= s->Width();
        break;
      case suiClient: client = s; break;
    }
  }
  if (client && client->Picture()->Graphic()) c->StretchDraw(TRect(l + 1, 0, r - 1, bh), client->Picture()->Graphic());
}

TPicture* TsuiTitleBar::StatePicture(TsuiTitleBarButton* b, int index, const TRect& r, TPoint cursor) {
  if (InRect(cursor, r)) {
    hot_index_ = index;
    return pressed_ ? b->PicMouseDown() : b->PicMouseOn();
  }
  return b->PicNormal();
}

void TsuiTitleBar::DrawButtons(TBitmap* buffer) {
  TCanvas* c = buffer->Canvas();
  const int bw = buffer->Width(), bh = buffer->Height();
  POINT sp{};
  GetCursorPos(&sp);
  TPoint p = ScreenToClient(TPoint(sp.x, sp.y));
  hot_index_ = -1;
  auto drawState = [&](TPicture* pic, bool transparent, int x, int y) {
    if (!HasGraphic(pic)) return;
    TBitmap scratch(pic->Width(), pic->Height());
    scratch.Canvas()->Draw(0, 0, pic->Graphic());
    scratch.SetTransparent(transparent);
    if (transparent) scratch.SetTransparentColor(static_cast<TColor>(PixelToColorRef(scratch.Surface().At(0, 0))));
    c->Draw(x, y, &scratch);
  };
  int x = bw + right_offset_ + 1;
  int box = -1;
  for (int i = 0; i < buttons_->Count(); ++i) {
    TsuiTitleBarButton* b = buttons_->Items(i);
    if (b->ButtonType() == suiControlBox) {
      box = i;
      continue;
    }
    const int w = b->PicNormal()->Width(), h = b->PicNormal()->Height();
    x -= w + button_interval_ + 1;
    TRect r(x, b->Top(), x + w, b->Top() + h);
    drawState(StatePicture(b, i, r, p), b->Transparent(), x, b->Top());
  }
  int lx = left_offset_;
  if (box >= 0) {
    TsuiTitleBarButton* b = buttons_->Items(box);
    const int w = b->PicNormal()->Width(), h = b->PicNormal()->Height();
    TRect r(lx, b->Top(), lx + w, b->Top() + h);
    TPicture* pic = StatePicture(b, box, r, p);
    if (draw_app_icon_) {
      try {
        std::unique_ptr<TBitmap> icon = LoadBitmapResource("MAINICON");
        TBitmap small(16, 16);
        small.Canvas()->StretchDraw(TRect(0, 0, 16, 16), icon.get());
        DrawTransparentBitmap(c, lx + 3, b->Top(), &small);
      } catch (const std::exception&) {
        // No icon in this program: the place stays empty.
      }
      lx += 21;
    } else {
      drawState(pic, b->Transparent(), lx, b->Top());
      lx += w + 5;
    }
  }
  if (lx == 0) lx = 6;
  TColor color = !form_active_ ? clInactiveCaption
                 : ui_style_ == TsuiUIStyle::MacOS ? clBlack
                                                   : Font()->Color();
  c->Font()->SetColor(color);
  c->Brush()->SetStyle(bsClear);
  std::string text = caption_;
  if (c->TextWidth(text) > x - lx) text = caption_.substr(0, 2) + "...";
  int y = ui_style_ == TsuiUIStyle::DeepBlue ? 4 : (bh - c->TextHeight(text)) / 2;
  c->TextOut(lx, y, text);
}

void TsuiTitleBar::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomPanel::MouseDown(button, shift, x, y);
  if (button != mbLeft) return;
  pressed_ = true;
  Repaint();
  TCustomForm* f = GetParentForm(this);
  if (hot_index_ == -1 && f && f->WindowState() != wsMaximized) {
    ReleaseCapture();
    POINT sp{};
    GetCursorPos(&sp);
    SendMessageA(f->Handle(), WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(sp.x, sp.y));
    pressed_ = false;
  }
}

void TsuiTitleBar::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomPanel::MouseUp(button, shift, x, y);
  if (button != mbLeft) return;
  int hot = hot_index_;
  if (hot >= 0 && hot < buttons_->Count()) {
    TsuiTitleBarButton* b = buttons_->Items(hot);
    b->DoClick();
    if (b->ButtonType() == suiCustom && OnCustomBtnsClick)
      OnCustomBtnsClick(this, hot);
    else if (b->ButtonType() == suiHelp && OnHelpBtnClick)
      OnHelpBtnClick(this, hot);
  }
  pressed_ = false;
  Repaint();
}

void TsuiTitleBar::MouseMove(TShiftState shift, int x, int y) {
  TCustomPanel::MouseMove(shift, x, y);
  Repaint();
}

void TsuiTitleBar::CMMouseLeave(TMessage& m) {
  TCustomPanel::CMMouseLeave(m);
  Repaint();
}

void TsuiTitleBar::DblClick() {
  TCustomPanel::DblClick();
  if (hot_index_ != -1) return;
  for (int i = 0; i < buttons_->Count(); ++i)
    if (buttons_->Items(i)->ButtonType() == suiMax) {
      buttons_->Items(i)->DoClick();
      break;
    }
}

void TsuiTitleBar::WMEraseBkgnd(TMessage& m) { m.Result = 1; }

void TsuiTitleBar::WMNCHitTest(TMessage& m) {
  TCustomPanel::WMNCHitTest(m);
  // Inside the skinned form's sizing band the form answers, so that its edges
  // size it even where the bar covers them.
  if (auto* panel = dynamic_cast<TsuiForm*>(Parent()); panel && panel->SizingHit(m.XPos(), m.YPos()) != HTNOWHERE)
    m.Result = HTTRANSPARENT;
}
