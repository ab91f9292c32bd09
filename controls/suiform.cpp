#include "suiform.h"

#include <win32/constants.h>

#include <vcl/resources.h>
#include <vcl/winuser.h>

#include "suimainmenu.h"
#include "suipublic.h"

namespace {

// WM_SIZE messages seen while a form maximised at creation stays maximised,
// shared by every panel of the process.
int g_maximized_size_count = 0;

}  // namespace

// The form's window procedure while a panel hooks it. The thunk outlives the
// panel when another subclass sits above it: it then only passes messages on,
// and goes with the window.
struct TsuiForm::Hook {
  HWND hwnd = nullptr;
  WNDPROC previous = nullptr;
  WNDPROC instance = nullptr;
  TsuiForm* panel = nullptr;
};

TsuiForm::TsuiForm(TComponent* owner) : TCustomPanel(owner) {
  form_ = dynamic_cast<TForm*>(owner);
  if (!form_) return;
  form_->Constraints()->SetMinHeight(50);
  form_->Constraints()->SetMinWidth(125);
  // A form maximised already is remembered at the size it is restored to, not at
  // the work area it fills now.
  form_bounds_ = form_->RestoredBounds();
  form_maximized_ = form_->WindowState() == wsMaximized;
  title_bar_ = new TsuiTitleBar(this);
  title_bar_->SetParent(this);
  menu_bar_color_ = Color();
  menu_bar_height_ = 22;
  form_border_style_ = form_->BorderStyle();
  for (int i = 0; i < form_->ControlCount(); ++i)
    if (dynamic_cast<TsuiForm*>(form_->Controls(i)))
      throw Exception("Sorry, You can create only one TsuiForm component in one form!");
  SetParent(form_);
  SetUIStyle(TsuiUIStyle::DeepBlue);
  SetBevelOuter(bvNone);
  SetBevelInner(bvNone);
  SetBorderStyle(bsNone);
  SetAlign(alNone);
  SetCaption(form_->GetText());
  SetText(" ");
  TRect work = GetWorkAreaRect();
  form_->Constraints()->SetMaxHeight(work.Height());
  form_->Constraints()->SetMaxWidth(work.Width());
  if (!HasState(csDesigning)) {
    form_->SetBorderStyle(bsNone);
    hook_ = std::make_shared<Hook>();
    hook_->hwnd = form_->Handle();
    hook_->panel = this;
    Hook* h = hook_.get();
    // The thunk holds the hook record; the panel shares it.
    hook_->instance = MakeObjectInstance([keep = hook_](TMessage& m) {
      Hook* hk = keep.get();
      if (hk->panel) {
        hk->panel->NewParentWndProc(m);
        return;
      }
      m.Result = CallWindowProcA(hk->previous, hk->hwnd, m.Msg, m.WParam, m.LParam);
      if (m.Msg == WM_NCDESTROY) FreeObjectInstance(hk->instance);
    });
    h->previous = reinterpret_cast<WNDPROC>(
        SetWindowLongA(form_->Handle(), GWL_WNDPROC, reinterpret_cast<LONG_PTR>(h->instance)));
    if (!Application->OnMessage) {
      Application->OnMessage = [this](MSG& msg, bool& handled) { OnApplicationMessage(msg, handled); };
      installed_app_hook_ = true;
    }
    // The shape was cut while the form had its frame: cut it again for the form
    // without one.
    title_bar_->OnFormReSize();
  }
  AlignSelf();
}

TsuiForm::~TsuiForm() {
  if (installed_app_hook_) Application->OnMessage = nullptr;
  if (hook_) {
    Hook& h = *hook_;
    h.panel = nullptr;
    // Outermost: the form gets its previous procedure back and the thunk goes.
    // Another subclass above it still calls the thunk, which now passes messages on.
    if (GetWindowLongA(h.hwnd, GWL_WNDPROC) == reinterpret_cast<LONG_PTR>(h.instance)) {
      SetWindowLongA(h.hwnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(h.previous));
      FreeObjectInstance(h.instance);
    }
    hook_.reset();
  }
  if (menu_bar_) DestroyMenuBar();
  // A form that outlives the panel keeps no pointer to a freed menu bar or bar.
  menu_bar_ = nullptr;
  title_bar_ = nullptr;
  // What the panel covered is the form's to paint again.
  if (form_ && !form_->HasState(csDestroying)) form_->Invalidate();
}

TsuiUIStyle TsuiForm::MenuStyle() const {
  if (auto* m = dynamic_cast<TsuiMainMenu*>(menu_)) return m->UIStyle();
  return ui_style_;
}

void TsuiForm::SetUIStyle(TsuiUIStyle v) {
  ui_style_ = v;
  if (v == TsuiUIStyle::Custom || !form_) return;
  SetBorderColor(GetThemeColor(v, 2));
  SetBorderWidth(GetThemeInt(v, 4));
  SetColor(GetThemeColor(v, 3));
  SetMenuBarColor(Color());
  if (title_bar_) title_bar_->SetUIStyle(v);
  if (auto* m = dynamic_cast<TsuiMainMenu*>(menu_); m && m->UIStyle() != TsuiUIStyle::Custom) m->SetUIStyle(v);
  SubContainerApplyUIStyle(this, v);
  ContainerApplyUIStyle(this, v);
  AlignSelf();
  Repaint();
  PaintFormBorder();
}

void TsuiForm::SetBorderColor(TColor v) {
  border_color_ = v;
  AlignSelf();
  PaintFormBorder();
}

void TsuiForm::SetBorderWidth(int v) {
  border_width_ = v;
  AlignSelf();
  PaintFormBorder();
}

std::string TsuiForm::Caption() const { return title_bar_ ? title_bar_->Caption() : caption_; }

void TsuiForm::SetCaption(const std::string& v) {
  caption_ = v;
  if (title_bar_) title_bar_->SetCaption(v);
  if (form_) form_->SetText(v);
}

void TsuiForm::SetButtons(TsuiTitleBarButtons* v) {
  if (title_bar_) title_bar_->SetButtons(v);
}

void TsuiForm::SetSections(TsuiTitleBarSections* v) {
  if (title_bar_) title_bar_->SetSections(v);
}

void TsuiForm::SetDrawAppIcon(bool v) {
  if (title_bar_) title_bar_->SetDrawAppIcon(v);
}

TFont* TsuiForm::TitleFont() const { return title_bar_ ? title_bar_->Font() : Font(); }

void TsuiForm::SetFont(TFont* v) {
  if (title_bar_)
    title_bar_->SetFont(v);
  else
    Font()->Assign(v);
}

void TsuiForm::SetOnBtnClick(TsuiTitleBarButtonClickEvent e) {
  if (title_bar_) title_bar_->OnCustomBtnsClick = std::move(e);
}

void TsuiForm::SetOnHelpBtnClick(TsuiTitleBarButtonClickEvent e) {
  if (title_bar_) title_bar_->OnHelpBtnClick = std::move(e);
}

void TsuiForm::SetHeight(int h) {
  SetBounds(Left(), Top(), Width(), h);
  if (form_) form_->SetClientSize(form_->ClientWidth(), h + border_width_);
}

void TsuiForm::SetWidth(int w) {
  SetBounds(Left(), Top(), w, Height());
  if (form_) form_->SetClientSize(w + 2 * border_width_, form_->ClientHeight());
}

void TsuiForm::SetPanel(TCustomPanel* p) {
  if (p == this) {
    MessageBoxA(nullptr, "Sorry, you can't select the Form assign to FormPanel property", "Error",
                MB_ICONERROR | MB_OK);
    return;
  }
  form_panel_ = p;
  if (!p) return;
  p->FreeNotification(this);
  p->SetAlign(alClient);
  if (auto* panel = dynamic_cast<TPanel*>(p)) {
    panel->SetBevelOuter(bvNone);
    panel->SetBevelInner(bvNone);
    panel->SetBorderStyle(bsNone);
    panel->SetText("");
  } else if (p->ClassName() == "TsuiImagePanel") {
    p->SetText("");
  }
}

void TsuiForm::AlignSelf() {
  if (!form_) return;
  SetBounds(border_width_, 0, form_->ClientWidth() - 2 * border_width_, form_->ClientHeight() - border_width_);
}

void TsuiForm::PaintFormBorder() {
  if (!form_ || !form_->HandleAllocated() || form_->HasState(csDestroying)) return;
  TCanvas* c = form_->Canvas();
  const int w = form_->ClientWidth(), h = form_->ClientHeight();
  c->Pen()->SetColor(border_color_);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(border_color_);
  c->FillRect(TRect(0, 0, border_width_, h));
  c->FillRect(TRect(0, h - border_width_, w, h));
  c->FillRect(TRect(w - border_width_, 0, w, h));
  c->Pen()->SetWidth(1);
  c->MoveTo(0, 0);
  c->LineTo(w, 0);
}

void TsuiForm::Paint() {
  TBitmap buffer(std::max(0, Width()), std::max(0, Height()));
  TCanvas* c = buffer.Canvas();
  const char* tile = ui_style_ == TsuiUIStyle::MacOS     ? "MACOS_FORM_BACKGROUND"
                     : ui_style_ == TsuiUIStyle::Protein ? "PROTEIN_FORM_BACKGROUND"
                                                         : nullptr;
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(TRect(0, 0, buffer.Width(), buffer.Height()));
  if (tile) {
    try {
      TPicture pic;
      pic.Bitmap()->LoadFromResourceName(nullptr, tile);
      TileDraw(c, &pic, TRect(0, 0, buffer.Width(), buffer.Height()));
    } catch (const std::exception&) {
      // The plain colour stays.
    }
  }
  Canvas()->Draw(0, 0, &buffer);
  if (HasState(csDesigning)) {
    AlignSelf();
    PaintFormBorder();
  }
}

void TsuiForm::WndProc(TMessage& m) {
  TCustomPanel::WndProc(m);
  if (m.Msg == WM_CREATE) {
    AlignSelf();
    PaintFormBorder();
  }
}

void TsuiForm::WMEraseBkgnd(TMessage& m) {
  PaintFormBorder();
  m.Result = 1;
}

LRESULT TsuiForm::SizingHit(int screenX, int screenY) const {
  if (!form_ || form_->WindowState() == wsMaximized || form_border_style_ != bsSizeable) return HTNOWHERE;
  TPoint p = form_->ScreenToClient(TPoint(screenX, screenY));
  const int x = p.X, y = p.Y, w = form_->Width(), h = form_->Height();
  if (x < 5 && y < 5) return HTTOPLEFT;
  if (x > w - 5 && y < 5) return HTTOPRIGHT;
  if (x > w - 5 && y > h - 5) return HTBOTTOMRIGHT;
  if (x < 5 && y > h - 5) return HTBOTTOMLEFT;
  if (x < 5) return HTLEFT;
  if (y < 5) return HTTOP;
  if (x > w - 5) return HTRIGHT;
  if (y > h - 5) return HTBOTTOM;
  return HTNOWHERE;
}

void TsuiForm::WMNCHitTest(TMessage& m) {
  TCustomPanel::WMNCHitTest(m);
  // The band belongs to the form, whose hook answers with the sizing code.
  if (SizingHit(m.XPos(), m.YPos()) != HTNOWHERE) m.Result = HTTRANSPARENT;
}

void TsuiForm::NewParentWndProc(TMessage& m) {
  // The message may free the form and this panel with it (the release that follows
  // a close with caFree): the hook record outlives both and tells whether the panel
  // is still there; nothing of the panel is read before that.
  const std::shared_ptr<Hook> hook = hook_;
  m.Result = CallWindowProcA(hook->previous, hook->hwnd, m.Msg, m.WParam, m.LParam);
  if (!hook->panel || !form_ || form_->HasState(csDestroying) || HasState(csDestroying)) return;
  switch (m.Msg) {
    case WM_KEYDOWN: m.Result = ProcessKeyPress(m) ? 1 : 0; break;
    case WM_SHOWWINDOW: form_->SetMenu(nullptr); break;
    case WM_ACTIVATE:
      if (title_bar_) title_bar_->SetActive(LOWORD(m.WParam) != 0);
      break;
    case WM_SIZE:
      if (form_maximized_) {
        if (form_->WindowState() != wsMaximized) {
          PlaceControl(form_, form_bounds_);
          form_maximized_ = false;
        } else if (g_maximized_size_count < 2) {
          ++g_maximized_size_count;
        } else {
          TRect work = GetWorkAreaRect();
          form_->SetWindowState(wsMaximized);
          form_->SetBounds(work.Left, work.Top, form_->Width(), form_->Height());
        }
      }
      AlignSelf();
      PaintFormBorder();
      if (title_bar_) title_bar_->OnFormReSize();
      break;
    case WM_ERASEBKGND: PaintFormBorder(); break;
    case WM_NCHITTEST:
      if (LRESULT hit = SizingHit(m.XPos(), m.YPos()); hit != HTNOWHERE) m.Result = hit;
      break;
    default: break;
  }
}

void TsuiForm::OnApplicationMessage(MSG& msg, bool& handled) {
  if (msg.message != WM_KEYDOWN) return;
  TMessage m;
  m.Msg = msg.message;
  m.WParam = msg.wParam;
  m.LParam = msg.lParam;
  handled = ProcessKeyPress(m);
}

bool TsuiForm::ProcessKeyPress(TMessage& m) { return menu_ && menu_->IsShortCut(m); }

void TsuiForm::Notification(TComponent* component, TOperation operation) {
  TCustomPanel::Notification(component, operation);
  if (operation == opInsert) {
    if (HasState(csDesigning) && !HasState(csLoading) && dynamic_cast<TMainMenu*>(component) &&
        component->ClassName() != "TsuiMainMenu" && form_) {
      std::string text = "Strongly recommend you to use \"TsuiMainMenu\" instead of \"TMainMenu\".\r\n\r\n"
                         "If you still want to use TMainForm, \r\n\r\nset " +
                         form_->Name() + "'s MENU property to NIL please." + "\r\n\r\n" + "And set " + Name() +
                         "'s MENU property to this Menu when you finished designing the menu.";
      MessageBoxA(nullptr, text.c_str(), "Information", MB_ICONINFORMATION | MB_OK);
    }
    return;
  }
  if (component == form_panel_) form_panel_ = nullptr;
  if (component == menu_) {
    menu_ = nullptr;
    if (menu_bar_) DestroyMenuBar();
  }
  if (component == menu_bar_) menu_bar_ = nullptr;
  if (component == title_bar_) title_bar_ = nullptr;
}

// --- Menu bar ------------------------------------------------------------------------

void TsuiForm::SetMenu(TMainMenu* m) {
  menu_ = m;
  if (!m) {
    if (menu_bar_) DestroyMenuBar();
    return;
  }
  m->FreeNotification(this);
  CreateMenuBar();
  UpdateMenu();
}

void TsuiForm::CreateMenuBar() {
  if (menu_bar_) return;
  menu_bar_ = new TToolBar(this);
  menu_bar_->SetParent(this);
  menu_bar_->SetAlign(alTop);
  menu_bar_->SetFlat(true);
  menu_bar_->SetEdgeBorders({});
  menu_bar_->SetShowCaptions(true);
  menu_bar_->SetBounds(0, title_bar_ ? title_bar_->Height() : 0, Width(), menu_bar_height_);
  menu_bar_->SetButtonHeight(menu_bar_height_);
  menu_bar_->SetColor(menu_bar_color_);
  if (!HasState(csDesigning))
    menu_bar_->OnCustomDrawButton = [this](TToolBar* b, TToolButton* btn, TCustomDrawState s, bool& d) {
      DrawButton(b, btn, s, d);
    };
  menu_bar_->OnCustomDraw = [this](TToolBar* b, const TRect& r, bool& d) { DrawMenuBar(b, r, d); };
  if (title_bar_) title_bar_->SetTop(0);
}

void TsuiForm::DestroyMenuBar() {
  TToolBar* bar = menu_bar_;
  menu_bar_ = nullptr;
  menu_ = nullptr;
  if (bar) FreeComponent(bar);
}

void TsuiForm::UpdateMenu() {
  if (!menu_bar_) return;
  if (!menu_) {
    DestroyMenuBar();
    return;
  }
  while (menu_bar_->ButtonCount() > 0) FreeComponent(menu_bar_->Buttons(menu_bar_->ButtonCount() - 1));
  if (auto* m = dynamic_cast<TsuiMainMenu*>(menu_)) m->BindItems();
  TMenuItem* root = menu_->Items();
  for (int i = root->Count() - 1; i >= 0; --i) {
    TMenuItem* item = root->Items(i);
    if (item->Parent() != root) continue;
    auto* b = new TToolButton(this);
    b->SetParent(menu_bar_);
    b->Grouped = true;
    b->SetMenuItem(item);
    b->SetAutoSize(true);
  }
}

void TsuiForm::SetMenuBarColor(TColor v) {
  menu_bar_color_ = v;
  if (menu_bar_) menu_bar_->SetColor(v);
}

void TsuiForm::SetMenuBarHeight(int h) {
  menu_bar_height_ = h;
  if (!menu_bar_) return;
  menu_bar_->SetBounds(menu_bar_->Left(), menu_bar_->Top(), menu_bar_->Width(), h);
  menu_bar_->SetButtonHeight(h);
  for (int i = 0; i < menu_bar_->ButtonCount(); ++i) {
    TToolButton* b = menu_bar_->Buttons(i);
    b->SetBounds(b->Left(), b->Top(), b->Width(), h);
  }
}

void TsuiForm::RepaintMenuBar() {
  if (!menu_bar_ || !menu_) return;
  if (auto* m = dynamic_cast<TsuiMainMenu*>(menu_)) m->ApplyFont(menu_bar_->Font());
  menu_bar_->Repaint();
}

void TsuiForm::DrawButton(TToolBar* bar, TToolButton* button, TCustomDrawState state, bool& defaultDraw) {
  const TsuiUIStyle style = MenuStyle();
  TCanvas* c = bar->Canvas();
  if (auto* m = dynamic_cast<TsuiMainMenu*>(menu_)) {
    m->ApplyFont(c->Font());
    c->Font()->SetColor(m->FontColor);
  }
  const bool selected = state.Contains(cdsSelected), hot = state.Contains(cdsHot);
  if (!selected && !hot) return;
  defaultDraw = false;
  TRect r(button->Left(), button->Top(), button->Left() + button->Width(), button->Top() + button->Height());
  const std::string caption = button->MenuItem() ? button->MenuItem()->Caption() : button->GetText();
  if (style == TsuiUIStyle::MacOS) {
    TBitmap buf(r.Width(), r.Height());
    try {
      std::unique_ptr<TBitmap> sel = LoadBitmapResource("MACOS_MENU_SELECT");
      buf.Canvas()->StretchDraw(TRect(0, 0, r.Width(), r.Height()), sel.get());
    } catch (const std::exception&) {
    }
    buf.Canvas()->Font()->Assign(c->Font());
    buf.Canvas()->Font()->SetColor(GetThemeColor(style, 12));
    buf.Canvas()->Brush()->SetStyle(bsClear);
    RECT tr{0, 0, r.Width(), r.Height()};
    DrawTextA(buf.Canvas()->Handle(), caption.c_str(), -1, &tr, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    c->Draw(r.Left, r.Top, &buf);
    return;
  }
  if (selected) r.Right -= 2;
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(GetThemeColor(style, 11));
  c->FillRect(r);
  c->Brush()->SetColor(GetThemeColor(style, 10));
  c->FrameRect(r);
  if (selected) r.Left += 2;
  r.Top += 2;
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetColor(GetThemeColor(style, 12));
  RECT tr{r.Left, r.Top, r.Right, r.Bottom};
  DrawTextA(c->Handle(), caption.c_str(), -1, &tr, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  if (selected) {
    c->Pen()->SetColor(GetThemeColor(style, 18));
    c->Brush()->SetStyle(bsClear);
    c->Rectangle(r.Right, r.Top, r.Right + 2, r.Bottom);
  }
}

void TsuiForm::DrawMenuBar(TToolBar* bar, const TRect& rect, bool&) {
  if (MenuStyle() != TsuiUIStyle::MacOS) return;
  try {
    std::unique_ptr<TBitmap> pic = LoadBitmapResource("MACOS_MENU_BAR");
    bar->Canvas()->StretchDraw(rect, pic.get());
  } catch (const std::exception&) {
  }
}
