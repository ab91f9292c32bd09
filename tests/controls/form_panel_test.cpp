// The themed form panel's life with its form: a form that frees itself by its close
// button, a panel without a form or without its title bar, a form maximised before
// the panel came, the panel's pop-up menu, the form repainted when the panel goes,
// the form panel and menu bar properties; and a side channel beside the title bar
// in one unit, each with its own suiLeft and suiRight.
#include <memory>
#include <string>
#include <vector>

#include <support/popup_menus.h>
#include <vcl/winuser.h>

#include "suiimagepanel.h"
#include "suimainmenu.h"
#include "suipublic.h"
#include "suisidechannel.h"
#include "themed_form.h"

namespace {

// Sets a flag when its owner frees it.
struct Watch : TComponent {
  Watch(TComponent* owner, bool* flag) : TComponent(owner), flag_(flag) {}
  ~Watch() override { *flag_ = true; }
  bool* flag_;
};

// A second form that frees itself when it is closed, skinned by a panel.
struct FreedOnClose {
  TForm* form = new TForm(nullptr);
  TsuiForm* panel = nullptr;
  bool freed = false;
  FreedOnClose() {
    form->SetBorderStyle(bsSizeable);
    form->SetBounds(420, 60, 300, 200);
    form->OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
    new Watch(form, &freed);
    panel = new TsuiForm(form);
    form->Show();
    Application->ProcessMessages();
  }
};

TEST_F(ThemedForm, AFormFreedByItsCloseButtonGoesCleanly) {
  Show();
  const int forms = Screen->FormCount();
  FreedOnClose other;
  TPoint close = TitleButtonAt(other.panel, 1);
  ASSERT_EQ(other.panel->TitleBar()->Buttons()->Items(1)->ButtonType(), suiClose);
  HeadlessClick(other.form, close.X + 4, close.Y + 4);
  Pump();
  EXPECT_TRUE(other.freed);
  EXPECT_EQ(Screen->FormCount(), forms);
  // The first form's panel still answers its own form's messages.
  form->SetBounds(100, 80, 420, 310);
  Pump();
  EXPECT_EQ(panel->Width(), form->ClientWidth() - 2);
}

TEST_F(ThemedForm, AFormThatReleasesItselfTakesItsPanelAlong) {
  FreeComponent(panel);  // the application's message hook goes to the other form's panel
  panel = nullptr;
  FreedOnClose other;
  EXPECT_NE(Application->OnMessage, nullptr);
  other.form->Release();
  Pump();
  EXPECT_TRUE(other.freed);
  EXPECT_EQ(Application->OnMessage, nullptr);
}

TEST_F(ThemedForm, APanelWhoseOwnerIsNotAFormHasNoTitleBarAndAnswersEveryProperty) {
  Show();
  const LONG_PTR proc = GetWindowLongA(form->Handle(), GWL_WNDPROC);
  auto* holder = Place<TPanel>(panel, 20, 40, 200, 120);
  auto* plain = new TsuiForm(holder);
  plain->SetParent(holder);
  plain->SetBounds(0, 0, 150, 80);
  EXPECT_EQ(plain->SkinnedForm(), nullptr);
  EXPECT_EQ(plain->TitleBar(), nullptr);
  EXPECT_EQ(GetWindowLongA(form->Handle(), GWL_WNDPROC), proc);  // no second hook on the form
  EXPECT_EQ(plain->TitleBarButtons(), nullptr);
  EXPECT_EQ(plain->TitleBarSections(), nullptr);
  plain->SetButtons(panel->TitleBarButtons());
  plain->SetSections(panel->TitleBarSections());
  plain->SetCaption("Plain");
  EXPECT_EQ(plain->Caption(), "Plain");
  EXPECT_EQ(form->GetText(), panel->Caption());
  plain->SetDrawAppIcon(true);
  EXPECT_FALSE(plain->TitleBarDrawAppIcon());
  TFont big;
  big.SetSize(20);
  plain->SetFont(&big);
  EXPECT_EQ(plain->TitleFont(), plain->Font());
  EXPECT_EQ(plain->TitleFont()->Size(), 20);
  int clicks = 0;
  plain->SetOnBtnClick([&](TObject*, int) { ++clicks; });
  plain->SetOnHelpBtnClick([&](TObject*, int) { ++clicks; });
  plain->SetUIStyle(TsuiUIStyle::WinXP);
  EXPECT_EQ(plain->UIStyle(), TsuiUIStyle::WinXP);
  plain->SetHeight(70);
  plain->SetWidth(140);
  EXPECT_EQ(plain->Height(), 70);
  EXPECT_EQ(plain->Width(), 140);
  // The form keeps its own size and skin.
  EXPECT_EQ(form->Width(), 400);
  EXPECT_EQ(panel->UIStyle(), TsuiUIStyle::DeepBlue);
  auto* main = new TsuiMainMenu(holder);
  auto* item = new TMenuItem(holder);
  item->SetCaption("File");
  main->Items()->Add(item);
  plain->SetMenu(main);
  ASSERT_NE(plain->MenuBar(), nullptr);
  EXPECT_EQ(plain->MenuBar()->ButtonCount(), 1);
  plain->RepaintMenuBar();
  SendMessageA(form->Handle(), WM_SIZE, 0, 0);
  Pump();
  // A plain panel in its colour, where the form's title bar is not.
  const TPoint at = At(plain);
  EXPECT_EQ(Pixel(at.X + 100, at.Y + 60), ColorToRGB(plain->Color()));
  EXPECT_EQ(clicks, 0);
}

TEST_F(ThemedForm, AfterItsTitleBarIsFreedThePanelKeepsWorking) {
  panel->SetCaption("Korvex");
  Show();
  FreeComponent(panel->TitleBar());
  EXPECT_EQ(panel->TitleBar(), nullptr);
  EXPECT_EQ(panel->Caption(), "Korvex");
  EXPECT_EQ(panel->TitleBarButtons(), nullptr);
  // Messages that reach the title bar through the form's hook.
  form->SetBounds(110, 90, 420, 320);
  SendMessageA(form->Handle(), WM_SIZE, 0, MAKELPARAM(420, 320));
  SendMessageA(form->Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
  SendMessageA(form->Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  panel->SetUIStyle(TsuiUIStyle::WinXP);
  panel->SetDrawAppIcon(true);
  panel->SetCaption("Quillmere");
  Pump();
  EXPECT_EQ(form->GetText(), "Quillmere");
  EXPECT_EQ(panel->BorderWidth(), 3);
  EXPECT_EQ(panel->Width(), 420 - 6);
  // The face reaches the top now: no title bar covers it.
  EXPECT_EQ(Pixel(200, 5), GetThemeColor(TsuiUIStyle::WinXP, 3));
}

TEST_F(ThemedForm, AFormMaximisedBeforeThePanelRestoresToItsOwnSize) {
  FreeComponent(panel);
  form->SetWindowState(wsMaximized);
  panel = new TsuiForm(form);
  Show();
  EXPECT_EQ(Bounds(), GetWorkAreaRect());
  TPoint max = ButtonAt(2);
  Click(max.X + 4, max.Y + 4);
  EXPECT_EQ(form->WindowState(), wsNormal);
  EXPECT_EQ(Bounds(), TRect(100, 80, 500, 380));
  EXPECT_EQ(panel->Width(), 398);
  // Maximised and restored again, it comes back to the same place.
  max = ButtonAt(2);
  Click(max.X + 4, max.Y + 4);
  EXPECT_EQ(Bounds(), GetWorkAreaRect());
  max = ButtonAt(2);
  Click(max.X + 4, max.Y + 4);
  EXPECT_EQ(Bounds(), TRect(100, 80, 500, 380));
}

TEST_F(ThemedForm, ARightClickOpensThePanelsPopupMenu) {
  Show();
  auto* menu = new TPopupMenu(form);
  auto* item = new TMenuItem(form);
  item->SetCaption("Settings");
  std::string chosen;
  item->OnClick = [&](TObject*) { chosen = "Settings"; };
  menu->Items()->Add(item);
  int popups = 0;
  menu->OnPopup = [&](TObject*) { ++popups; };
  panel->SetPopupMenu(menu);
  EXPECT_EQ(panel->PopupMenu(), menu);
  bool seen = false;
  HeadlessSetIdleHook([&] {
    auto open = menu_test::MenuWindows(form);
    if (open.empty() || seen) return false;
    seen = true;
    HeadlessMouseMove(open[0], 20, 3 + 9);
    HeadlessClick(open[0], 20, 3 + 9);
    return true;
  });
  HeadlessClick(form, 200, 150, BackendRight);
  Pump();
  HeadlessSetIdleHook(nullptr);
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(chosen, "Settings");
  // A freed menu leaves the panel.
  FreeComponent(menu);
  EXPECT_EQ(panel->PopupMenu(), nullptr);
  HeadlessClick(form, 200, 150, BackendRight);
  Pump();
  EXPECT_EQ(popups, 1);
}

TEST_F(ThemedForm, TheFormIsRepaintedWhenThePanelGoes) {
  form->SetColor(clRed);
  Show();
  EXPECT_EQ(Pixel(200, 150), GetThemeColor(TsuiUIStyle::DeepBlue, 3));
  FreeComponent(panel);
  panel = nullptr;
  Pump();
  // Title bar, face and border are gone: the form's own colour everywhere.
  EXPECT_EQ(Count(TRect(0, 0, 400, 300), clRed), 400 * 300);
}

TEST_F(ThemedForm, FormPanelFillsThePanelUnderTheTitleBar) {
  Show();
  EXPECT_EQ(panel->FormPanel(), nullptr);
  auto* inner = new TPanel(form);
  inner->SetParent(panel);
  inner->SetCaption("Inner");
  inner->SetBevelOuter(bvRaised);
  inner->SetColor(clTeal);
  panel->SetPanel(inner);
  EXPECT_EQ(panel->FormPanel(), inner);
  EXPECT_EQ(inner->Align(), alClient);
  EXPECT_EQ(inner->BevelOuter(), bvNone);
  EXPECT_EQ(inner->BevelInner(), bvNone);
  EXPECT_EQ(inner->Caption(), "");
  Pump();
  const int bar = panel->TitleBar()->Height();
  EXPECT_EQ(inner->Top(), bar);
  EXPECT_EQ(inner->Height(), panel->ClientHeight() - bar);
  EXPECT_EQ(Pixel(200, bar + 2), clTeal);
  EXPECT_EQ(Pixel(200, form->ClientHeight() - 2), clTeal);
  // The panel itself is refused with a message, and nothing changes.
  std::vector<std::string> boxes;
  SetMessageBoxRecorder([&](const MessageBoxInfo& i) {
    boxes.push_back(i.text);
    return IDOK;
  });
  panel->SetPanel(panel);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Sorry, you can't select the Form assign to FormPanel property");
  EXPECT_EQ(panel->FormPanel(), inner);
  // A themed image panel loses its caption too; a freed one leaves the property.
  auto* image = new TsuiImagePanel(form);
  image->SetParent(panel);
  image->SetCaption("Picture");
  panel->SetPanel(image);
  EXPECT_EQ(image->Caption(), "");
  EXPECT_EQ(image->Align(), alClient);
  FreeComponent(image);
  EXPECT_EQ(panel->FormPanel(), nullptr);
  panel->SetPanel(nullptr);
  EXPECT_EQ(panel->FormPanel(), nullptr);
}

class FormMenuBar : public ThemedForm {
 protected:
  void AddMenu() {
    main = new TsuiMainMenu(form);
    for (const char* c : {"File", "Options"}) {
      auto* it = new TMenuItem(form);
      it->SetCaption(c);
      main->Items()->Add(it);
    }
  }
  TsuiMainMenu* main = nullptr;
};

TEST_F(FormMenuBar, MenuBarHeightSizesTheBarAndItsButtons) {
  EXPECT_EQ(panel->MenuBarHeight(), 22);
  panel->SetMenuBarHeight(30);  // before there is a bar
  AddMenu();
  panel->SetMenu(main);
  ASSERT_NE(panel->MenuBar(), nullptr);
  Show();
  EXPECT_EQ(panel->MenuBar()->Height(), 30);
  EXPECT_EQ(panel->MenuBar()->Buttons(0)->Height(), 30);
  panel->SetMenuBarHeight(26);
  EXPECT_EQ(panel->MenuBarHeight(), 26);
  EXPECT_EQ(panel->MenuBar()->Height(), 26);
  for (int i = 0; i < panel->MenuBar()->ButtonCount(); ++i) EXPECT_EQ(panel->MenuBar()->Buttons(i)->Height(), 26);
  // What lies under the bar starts where the bar ends.
  const TPoint bar = At(panel->MenuBar());
  EXPECT_EQ(Pixel(300, bar.Y + 26 + 2), panel->Color());
  EXPECT_EQ(Pixel(300, bar.Y + 20), panel->MenuBarColor());
}

TEST_F(FormMenuBar, UseSystemFontSwitchesTheBarsFontAndRepaintsIt) {
  AddMenu();
  main->AfterConstruction();
  ASSERT_EQ(panel->Menu(), main);
  Show();
  TFont system;
  system.SetName("nothing");
  Menu_GetSystemFont(&system);
  ASSERT_NE(system.Name(), "nothing");
  const TPoint bar = At(panel->MenuBar());
  const TRect text(bar.X, bar.Y, bar.X + 150, bar.Y + panel->MenuBarHeight());
  auto shot = [&] {
    Pump();
    TSurface s;
    HeadlessCapture(form->Handle(), s);
    std::vector<std::uint32_t> px;
    for (int y = text.Top; y < text.Bottom; ++y)
      for (int x = text.Left; x < text.Right; ++x) px.push_back(s.At(x, y));
    return px;
  };
  EXPECT_TRUE(main->UseSystemFont);
  panel->RepaintMenuBar();
  EXPECT_EQ(panel->MenuBar()->Font()->Name(), system.Name());
  EXPECT_EQ(panel->MenuBar()->Font()->Size(), system.Size());
  const auto systemLook = shot();
  main->FontName = "DejaVu Serif";
  main->FontSize = 14;
  main->SetUseSystemFont(false);
  EXPECT_EQ(panel->MenuBar()->Font()->Name(), "DejaVu Serif");
  EXPECT_EQ(panel->MenuBar()->Font()->Size(), 14);
  // The bar shows the captions in the new font at once.
  EXPECT_NE(shot(), systemLook);
  main->SetUseSystemFont(true);
  EXPECT_EQ(panel->MenuBar()->Font()->Size(), system.Size());
  EXPECT_EQ(shot(), systemLook);
}

TEST_F(ThemedForm, ASideChannelAndATitleBarSectionDockRightInOneUnit) {
  auto* side = new TsuiSideChannel(form);
  side->SetParent(panel);
  side->SetWidth(120);
  side->SetQuickMove(true);
  side->SetChannelAlign(TsuiSideChannelAlign::suiRight);
  EXPECT_EQ(side->ChannelAlign(), TsuiSideChannelAlign::suiRight);
  // A red piece docked right on the title bar, before the style's right piece.
  TBitmap red(12, panel->TitleBar()->Height());
  red.Canvas()->Brush()->SetColor(clRed);
  red.Canvas()->FillRect(TRect(0, 0, red.Width(), red.Height()));
  TPicture picture;
  picture.SetBitmap(&red);
  TsuiTitleBarSection* piece = panel->TitleBarSections()->Add();
  piece->SetAutoSize(true);
  piece->SetPicture(&picture);
  piece->SetAlign(TsuiTitleBarAlign::suiRight);
  EXPECT_EQ(piece->Align(), TsuiTitleBarAlign::suiRight);
  Show();
  EXPECT_EQ(side->Align(), alRight);
  EXPECT_EQ(side->Left() + side->Width(), panel->ClientWidth());
  // The bar's right piece is 10 wide: the red one ends 10 pixels from the bar's end,
  // under the buttons but for the rows below them.
  const int barEnd = panel->Left() + panel->TitleBar()->Width();
  EXPECT_EQ(Pixel(barEnd - 10 - 6, 21), clRed);
  EXPECT_NE(Pixel(barEnd - 5, 21), clRed);
  side->SetChannelAlign(TsuiSideChannelAlign::suiLeft);
  EXPECT_EQ(side->Align(), alLeft);
}

}  // namespace
