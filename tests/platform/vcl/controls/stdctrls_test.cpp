// Standard controls driven by injected input: edits, buttons, check and radio
// buttons, list and combo boxes, and what bad input does to them.
#include <cstring>
#include <string>
#include <vector>

#include <vcl/stdctrls.h>

#include "harness.h"

namespace {

class EditTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    edit = new TEdit(form);
    edit->SetBounds(10, 10, 150, 21);
    edit->SetParent(form);
    edit->OnChange = [this](TObject*) { ++changes; };
    Show();
    edit->SetFocus();
    Pump();
  }
  TEdit* edit = nullptr;
  int changes = 0;
};

TEST_F(EditTest, TypingCaretSelectionAndClipboard) {
  Type("hello world");
  EXPECT_EQ(edit->Text(), "hello world");
  EXPECT_EQ(changes, 11);
  EXPECT_TRUE(edit->Modified());
  // Shift+Left five times selects "world"; copying keeps the text, cutting removes it.
  for (int i = 0; i < 5; ++i) Key(VK_LEFT, BackendShift);
  EXPECT_EQ(edit->SelStart(), 6);
  EXPECT_EQ(edit->SelText(), "world");
  Key('C', BackendCtrl);
  EXPECT_EQ(Clipboard(), "world");
  EXPECT_EQ(edit->Text(), "hello world");
  Key('X', BackendCtrl);
  EXPECT_EQ(edit->Text(), "hello ");
  Key(VK_HOME);
  Key('V', BackendCtrl);
  EXPECT_EQ(edit->Text(), "worldhello ");
  EXPECT_EQ(edit->SelStart(), 5);
  // Backspace and Delete around the caret; Ctrl+A then typing replaces everything.
  Key(VK_BACK);
  Key(VK_DELETE);
  EXPECT_EQ(edit->Text(), "worlello ");
  Key('A', BackendCtrl);
  Type("x");
  EXPECT_EQ(edit->Text(), "x");
}

TEST_F(EditTest, KeyPressHandlerCanSwallowCharacters) {
  // The digit filter of the settings fields: backspace and digits pass.
  edit->OnKeyPress = [](TObject*, char& key) {
    if (key != 8 && (key < '0' || key > '9')) key = 0;
  };
  Type("1a2b-3");
  EXPECT_EQ(edit->Text(), "123");
  Key(VK_BACK);
  EXPECT_EQ(edit->Text(), "12");
  // Pasted text is not filtered by the key handler.
  SetClipboard("9x");
  Key('V', BackendCtrl);
  EXPECT_EQ(edit->Text(), "129x");
}

TEST_F(EditTest, PastedTextIsCutToOneLineAndToMaxLength) {
  SetClipboard("first line\r\nsecond\tline");
  Key('V', BackendCtrl);
  EXPECT_EQ(edit->Text(), "first line");
  edit->SetText("");
  edit->SetMaxLength(5);
  SetClipboard("abcdefghij");
  Key('V', BackendCtrl);
  EXPECT_EQ(edit->Text(), "abcde");
  Type("z");
  EXPECT_EQ(edit->Text(), "abcde");
  // A huge paste with control characters in it: no crash, one line, no controls.
  edit->SetMaxLength(0);
  edit->SetText("");
  std::string big(200000, 'q');
  big[100] = '\x01';
  big[150000] = '\n';
  SetClipboard(big);
  Key('V', BackendCtrl);
  EXPECT_EQ(edit->Text().size(), 149999u);
  EXPECT_EQ(edit->Text().find('\x01'), std::string::npos);
  Key(VK_END);
  Type("!");
  EXPECT_EQ(edit->Text().back(), '!');
}

// A folder typed as "Vidéos" must be the folder of that name on disk (UTF-8), and the
// caret, Backspace and Delete take a character, never a byte of one.
TEST_F(EditTest, CharactersBeyondAsciiAreKeptAsUtf8AndEditedWhole) {
  TypeText("sp\u00e4ces \u00fc\u20ac\U0001F600");
  EXPECT_EQ(edit->Text(), "sp\xC3\xA4" "ces \xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80");
  Key(VK_LEFT);
  EXPECT_EQ(edit->SelStart(), 13);
  Key(VK_BACK);
  EXPECT_EQ(edit->Text(), "sp\xC3\xA4" "ces \xC3\xBC\xF0\x9F\x98\x80");
  Key(VK_DELETE);
  EXPECT_EQ(edit->Text(), "sp\xC3\xA4" "ces \xC3\xBC");
  Key(VK_HOME);
  for (int i = 0; i < 3; ++i) Key(VK_RIGHT);
  EXPECT_EQ(edit->SelStart(), 4);
  Key(VK_LEFT, BackendShift);
  EXPECT_EQ(edit->SelText(), "\xC3\xA4");
  // A click lands between characters too.
  for (int x = 12; x < 150; x += 3) {
    Click(x, 15);
    const std::string t = edit->Text();
    const auto at = static_cast<std::size_t>(edit->SelStart());
    EXPECT_TRUE(at >= t.size() || (static_cast<unsigned char>(t[at]) & 0xC0) != 0x80)
        << "caret inside a character after a click at x " << x;
  }
  // A length limit in bytes takes whole characters or none.
  edit->SetText("ab");
  edit->SetMaxLength(3);
  Key(VK_END);
  TypeText("\u20ac");
  EXPECT_EQ(edit->Text(), "ab");
  TypeText("\u00e9");
  EXPECT_EQ(edit->Text(), "ab");
  edit->SetText("a");
  Key(VK_END);
  TypeText("\u00e9");
  EXPECT_EQ(edit->Text(), "a\xC3\xA9");
}

TEST_F(EditTest, KeyPressHandlerSeesCharactersBeyondAsciiAsNoDigit) {
  std::vector<int> seen;
  edit->OnKeyPress = [&](TObject*, char& key) {
    seen.push_back(static_cast<unsigned char>(key));
    if (key != 8 && (key < '0' || key > '9')) key = 0;
  };
  TypeText("1\u00e42\u0661");  // U+0661 is an Arabic-Indic digit, no ASCII one
  EXPECT_EQ(edit->Text(), "12");
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_GE(seen[1], 0x80);
  EXPECT_GE(seen[3], 0x80);
  // A handler that lets it pass keeps the character itself.
  edit->OnKeyPress = [](TObject*, char&) {};
  TypeText("\u0161");
  EXPECT_EQ(edit->Text(), "12\xC5\xA1");
  // One that replaces it types its replacement.
  edit->OnKeyPress = [](TObject*, char& key) {
    if (static_cast<unsigned char>(key) >= 0x80) key = '?';
  };
  TypeText("\u4e2d");
  EXPECT_EQ(edit->Text(), "12\xC5\xA1?");
}

TEST_F(EditTest, SettingTextInCodeRaisesOnChangeButIsNoUserEdit) {
  edit->SetText("abc");
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(edit->Modified());
  edit->SetText("abc");
  EXPECT_EQ(changes, 1);
  // A mouse press places the caret; Shift+End selects to the end.
  Click(12, 15);
  EXPECT_EQ(edit->SelStart(), 0);
  Key(VK_END, BackendShift);
  EXPECT_EQ(edit->SelLength(), 3);
}

TEST_F(EditTest, FocusedEditShowsSelectionAndCaretPixels) {
  edit->SetText("WWWW");
  edit->SelectAll();
  EXPECT_GT(Count(TRect(12, 12, 158, 29), clHighlight), 20);
  edit->SetSelStart(4);
  EXPECT_EQ(Count(TRect(12, 12, 158, 29), clHighlight), 0);
  // The sunken border: shadow on the outer top-left, highlight on the outer bottom-right.
  EXPECT_EQ(Pixel(20, 10), ColorToRGB(clBtnShadow));
  EXPECT_EQ(Pixel(20, 30), ColorToRGB(clBtnHighlight));
}

TEST_F(ControlTest, MemoTakesReturnsAndKeepsLines) {
  auto* memo = new TMemo(form);
  memo->SetBounds(10, 10, 200, 100);
  memo->SetParent(form);
  Show();
  memo->SetFocus();
  Type("one");
  Key(VK_RETURN);
  Type("two");
  EXPECT_EQ(memo->Text(), "one\r\ntwo");
  ASSERT_EQ(memo->Lines()->Count(), 2);
  EXPECT_EQ(memo->Lines()->Get(1), "two");
  Key(VK_UP);
  EXPECT_EQ(memo->CaretLine(), 0);
  memo->Lines()->Add("three");
  EXPECT_EQ(memo->Lines()->Count(), 3);
  SetClipboard("a\nb\r\nc");
  memo->SetSelStart(0);
  Key('V', BackendCtrl);
  EXPECT_EQ(memo->Lines()->Get(0), "a");
  EXPECT_EQ(memo->Lines()->Get(2), "cone");
}

class ButtonTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    edit = new TEdit(form);
    edit->SetBounds(10, 10, 100, 21);
    edit->SetParent(form);
    ok = new TButton(form);
    ok->SetCaption("OK");
    ok->SetBounds(10, 50, 75, 25);
    ok->SetDefault(true);
    ok->SetModalResult(mrOk);
    ok->SetParent(form);
    ok->OnClick = [this](TObject*) { log += "ok;"; };
    cancel = new TButton(form);
    cancel->SetCaption("Cancel");
    cancel->SetBounds(100, 50, 75, 25);
    cancel->SetCancel(true);
    cancel->SetModalResult(mrCancel);
    cancel->SetParent(form);
    cancel->OnClick = [this](TObject*) { log += "cancel;"; };
    Show();
    edit->SetFocus();
    Pump();
  }
  TEdit* edit = nullptr;
  TButton* ok = nullptr;
  TButton* cancel = nullptr;
  std::string log;
};

TEST_F(ButtonTest, EnterClicksTheDefaultAndEscTheCancelButton) {
  Key(VK_RETURN);
  EXPECT_EQ(log, "ok;");
  EXPECT_EQ(form->ModalResult(), mrOk);
  Key(VK_ESCAPE);
  EXPECT_EQ(log, "ok;cancel;");
  EXPECT_EQ(form->ModalResult(), mrCancel);
  // With the cancel button focused, Enter clicks it rather than the default one.
  cancel->SetFocus();
  Pump();
  Key(VK_RETURN);
  EXPECT_EQ(log, "ok;cancel;cancel;");
  // A disabled default button takes no Enter.
  edit->SetFocus();
  ok->SetEnabled(false);
  Key(VK_RETURN);
  EXPECT_EQ(log, "ok;cancel;cancel;");
}

TEST_F(ButtonTest, MouseAndSpaceClickAndThePressedFaceShows) {
  HeadlessMouseDown(form, 40, 60);
  Pump();
  EXPECT_TRUE(ok->Focused());
  // Pressed: a plain shadow frame, no highlight line at the top.
  EXPECT_EQ(Pixel(40, 51), ColorToRGB(clBtnShadow));
  HeadlessMouseMove(form, 200, 200);
  Pump();
  EXPECT_EQ(Pixel(40, 51), ColorToRGB(clBtnHighlight));
  HeadlessMouseUp(form, 200, 200);  // released outside: no click
  Pump();
  EXPECT_EQ(log, "");
  Click(40, 60);
  EXPECT_EQ(log, "ok;");
  Key(VK_SPACE);
  EXPECT_EQ(log, "ok;ok;");
}

TEST_F(ButtonTest, ModalFormEndsWithTheButtonsResult) {
  form->Hide();
  Pump();
  int step = 0;
  HeadlessSetIdleHook([&] {
    if (step++ == 0) {
      HeadlessKey(form, VK_ESCAPE);
      return true;
    }
    return false;
  });
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_EQ(log, "cancel;");
}

TEST_F(ControlTest, CheckBoxAndRadioGroups) {
  auto* box = new TCheckBox(form);
  box->SetCaption("Force24");
  box->SetBounds(10, 10, 100, 17);
  box->SetParent(form);
  int clicks = 0;
  box->OnClick = [&](TObject*) { ++clicks; };
  auto* group = new TGroupBox(form);
  group->SetBounds(10, 40, 200, 100);
  group->SetParent(form);
  TRadioButton* r[3];
  for (int i = 0; i < 3; ++i) {
    r[i] = new TRadioButton(form);
    r[i]->SetBounds(10, 20 + 20 * i, 100, 17);
    r[i]->SetParent(i < 2 ? static_cast<TWinControl*>(group) : form);
  }
  r[2]->SetTop(150);
  Show();
  Click(5 + 10, 18);
  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(clicks, 1);
  // The tick is drawn in the window text colour inside the white box.
  EXPECT_GT(Count(TRect(12, 12, 23, 25), clWindowText), 10);
  Key(VK_SPACE);
  EXPECT_FALSE(box->Checked());
  EXPECT_EQ(Count(TRect(12, 12, 23, 25), clWindowText), 0);
  box->AllowGrayed = true;
  Key(VK_SPACE);
  Key(VK_SPACE);
  EXPECT_EQ(box->State(), cbGrayed);
  EXPECT_EQ(clicks, 4);

  r[0]->SetChecked(true);
  r[2]->SetChecked(true);
  Click(20, 40 + 50);  // r[1] inside the group box
  EXPECT_TRUE(r[1]->Checked());
  EXPECT_FALSE(r[0]->Checked());
  EXPECT_TRUE(r[2]->Checked());  // another parent, another group
  Key(VK_UP);
  EXPECT_TRUE(r[0]->Checked());
  EXPECT_FALSE(r[1]->Checked());
}

class ListTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    list = new TListBox(form);
    list->SetBounds(10, 10, 150, 134);  // 10 rows of 13 inside the border
    list->SetItemHeight(13);
    list->SetParent(form);
    list->OnClick = [this](TObject*) { ++clicks; };
    for (int i = 0; i < 20; ++i) list->Items()->Add("Chapter " + std::to_string(i + 1));
    Show();
  }
  int RowY(int i) { return 12 + i * 13 + 6; }
  TListBox* list = nullptr;
  int clicks = 0;
};

TEST_F(ListTest, MultiSelectWithCtrlAndShift) {
  list->SetMultiSelect(true);
  Click(40, RowY(2));
  Click(40, RowY(4), BackendShift);
  EXPECT_EQ(list->SelCount(), 3);
  Click(40, RowY(3), BackendCtrl);
  EXPECT_FALSE(list->Selected(3));
  EXPECT_EQ(list->SelCount(), 2);
  Click(40, RowY(7), BackendCtrl);
  int got[999];
  int n = static_cast<int>(list->Perform(LB_GETSELITEMS, 999, reinterpret_cast<LPARAM>(got)));
  ASSERT_EQ(n, 3);
  EXPECT_EQ(got[0], 2);
  EXPECT_EQ(got[1], 4);
  EXPECT_EQ(got[2], 7);
  EXPECT_EQ(clicks, 4);
  // Shift+Down extends from the anchor (7); a plain click starts over.
  Key(VK_DOWN, BackendShift);
  EXPECT_TRUE(list->Selected(8));
  Click(40, RowY(0));
  EXPECT_EQ(list->SelCount(), 1);
  // A selected row is drawn in the highlight colour.
  EXPECT_GT(Count(TRect(12, 12, 100, 25), clHighlight), 100);
  EXPECT_EQ(Count(TRect(12, 26, 100, 38), clHighlight), 0);
}

TEST_F(ListTest, SingleSelectionKeysScrollingAndCodeChanges) {
  EXPECT_EQ(list->SelCount(), -1);
  list->SetItemIndex(3);
  EXPECT_EQ(clicks, 0);  // set in code: no click
  list->SetFocus();
  Key(VK_END);
  EXPECT_EQ(list->ItemIndex(), 19);
  EXPECT_EQ(list->TopIndex(), 10);
  EXPECT_EQ(clicks, 1);
  Key(VK_HOME);
  EXPECT_EQ(list->TopIndex(), 0);
  Type("c");  // next item starting with C
  EXPECT_EQ(list->ItemIndex(), 1);
  list->Items()->Delete(1);
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_THROW(list->Selected(40), EStringListError);
}

TEST_F(ListTest, ThousandsOfItemsAndAnEmptyList) {
  list->Items()->BeginUpdate();
  for (int i = 0; i < 5000; ++i) list->Items()->Add("Item " + std::to_string(i));
  list->Items()->EndUpdate();
  list->SetMultiSelect(true);
  list->SetFocus();
  Key(VK_HOME);
  Key(VK_END, BackendShift);
  EXPECT_EQ(list->SelCount(), 5020);
  EXPECT_EQ(list->TopIndex(), 5020 - 10);
  HeadlessWheel(form, 40, 40, -120);
  Pump();
  list->Clear();
  EXPECT_EQ(list->ItemIndex(), -1);
  Key(VK_DOWN);
  Key(VK_END);
  Click(40, RowY(3));
  EXPECT_EQ(list->SelCount(), 0);
  EXPECT_EQ(list->Perform(LB_GETTEXT, 0, 0), LB_ERR);
}

class ComboTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    combo = new TComboBox(form);
    combo->SetStyle(csDropDownList);
    combo->SetBounds(10, 10, 128, 21);
    combo->SetItemHeight(13);
    combo->SetParent(form);
    combo->OnChange = [this](TObject*) { ++changes; };
    for (const char* s : {"Intel IYUV", "XVID MPEG-4", "DIVX MPEG-4", "Cinepak"}) combo->Items()->Add(s);
    for (int i = 0; i < 4; ++i) combo->Perform(CB_SETITEMDATA, i, 100 + i);
    Show();
  }
  LRESULT Select(const char* prefix) {
    return combo->Perform(CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(prefix));
  }
  TComboBox* combo = nullptr;
  int changes = 0;
};

TEST_F(ComboTest, MessagesSelectByPrefixAndKeepItemData) {
  EXPECT_EQ(Select("divx"), 2);
  EXPECT_EQ(combo->ItemIndex(), 2);
  EXPECT_EQ(combo->Text(), "DIVX MPEG-4");
  EXPECT_EQ(Select("Indeo"), CB_ERR);
  EXPECT_EQ(combo->ItemIndex(), 2);  // nothing found: the selection stays
  EXPECT_EQ(combo->Perform(CB_GETITEMDATA, combo->ItemIndex(), 0), 102);
  EXPECT_EQ(combo->Perform(CB_GETITEMDATA, static_cast<WPARAM>(-1), 0), CB_ERR);
  EXPECT_EQ(changes, 0);  // no change of the user's
  char buf[64];
  EXPECT_EQ(combo->Perform(CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(buf)), 11);
  EXPECT_STREQ(buf, "XVID MPEG-4");
  combo->Items()->Delete(0);
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(combo->Perform(CB_GETITEMDATA, 1, 0), 102);
  combo->Clear();
  EXPECT_EQ(combo->ItemIndex(), -1);
  EXPECT_EQ(Select("x"), CB_ERR);
}

TEST_F(ComboTest, KeyboardSelectionRaisesOnChangeOnlyForTheUser) {
  combo->SetItemIndex(0);
  combo->SetFocus();
  Pump();
  EXPECT_EQ(changes, 0);
  Key(VK_DOWN);
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(changes, 1);
  Type("c");
  EXPECT_EQ(combo->Text(), "Cinepak");
  Key(VK_DOWN);  // already last: no change
  EXPECT_EQ(changes, 2);
  // Alt+Down opens the list; Up moves in it; Esc closes without choosing.
  Key(VK_DOWN, BackendAlt);
  EXPECT_TRUE(combo->DroppedDown());
  Key(VK_UP);
  Key(VK_ESCAPE);
  EXPECT_FALSE(combo->DroppedDown());
  EXPECT_EQ(combo->ItemIndex(), 3);
  // F4, Up, Enter chooses; Enter in the open list does not reach the dialog.
  form->SetModalResult(mrNone);
  Key(VK_F4);
  Key(VK_UP);
  Key(VK_RETURN);
  EXPECT_EQ(combo->ItemIndex(), 2);
  EXPECT_EQ(changes, 3);
}

TEST_F(ComboTest, MouseOpensAPopupListAndChoosesFromIt) {
  Click(60, 20);
  ASSERT_TRUE(combo->DroppedDown());
  // The list is a pop-up window below the combo box.
  TCustomForm* popup = nullptr;
  for (int i = 0; i < Screen->FormCount(); ++i)
    if (Screen->Forms(i) != form && Screen->Forms(i)->Visible()) popup = Screen->Forms(i);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->Left(), 60);
  EXPECT_EQ(popup->Top(), 81);
  EXPECT_TRUE(HeadlessWindowVisible(popup->Handle()));
  // Item rows are 13 high after a one-pixel frame: row 1 starts at y 14.
  HeadlessMouseMove(popup, 30, 20);
  HeadlessClick(popup, 30, 20);
  Pump();
  EXPECT_FALSE(combo->DroppedDown());
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(changes, 1);
  // A press outside the list closes it and changes nothing.
  Click(60, 20);
  ASSERT_TRUE(combo->DroppedDown());
  Click(300, 200);
  EXPECT_FALSE(combo->DroppedDown());
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(changes, 1);
}

TEST_F(ComboTest, ListStaysOnScreenForAFormDraggedAwayAndEmptyListsWork) {
  form->SetBounds(-500, 5000, form->Width(), form->Height());
  Pump();
  combo->SetDroppedDown(true);
  TRect wa = Screen->WorkAreaRect();
  for (int i = 0; i < Screen->FormCount(); ++i) {
    TCustomForm* f = Screen->Forms(i);
    if (f == form || !f->Visible()) continue;
    EXPECT_GE(f->Left(), wa.Left);
    EXPECT_LE(f->Top() + f->Height(), wa.Bottom);
  }
  combo->SetDroppedDown(false);
  combo->Items()->Clear();
  combo->SetFocus();
  Key(VK_F4);
  Key(VK_DOWN);
  Key(VK_RETURN);
  Type("a");
  EXPECT_EQ(combo->ItemIndex(), -1);
  EXPECT_EQ(changes, 0);
}

// The open list, its screen rectangle and the combo box's.
TRect OpenList(TCustomForm* form) {
  for (int i = 0; i < Screen->FormCount(); ++i)
    if (Screen->Forms(i) != form && Screen->Forms(i)->Visible()) return Screen->Forms(i)->BoundsRect();
  return TRect();
}

TRect OnScreen(TControl* c) {
  TPoint p = c->ClientToScreen(TPoint(0, 0));
  return Bounds(p.X, p.Y, c->Width(), c->Height());
}

bool Overlap(const TRect& a, const TRect& b) {
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

TEST_F(ComboTest, ListOpensBelowOrAboveWhereTheWorkAreaHasRoomAndNeverCoversTheBox) {
  const TRect wa = Screen->WorkAreaRect();
  auto open = [&](int formTop) {
    combo->SetDroppedDown(false);
    form->SetBounds(50, formTop, form->Width(), form->Height());
    Pump();
    combo->SetDroppedDown(true);
    Pump();
    return OpenList(form);
  };
  // Room below: right under the box, four rows of 13 and the frame.
  TRect list = open(50);
  TRect box = OnScreen(combo);
  EXPECT_EQ(list.Top, box.Bottom);
  EXPECT_EQ(list.Left, box.Left);
  EXPECT_EQ(list.Height(), 4 * 13 + 2);
  // The box a few pixels above the work area's bottom: the list sits on top of it.
  list = open(wa.Bottom - 10 - 21 - 5);
  box = OnScreen(combo);
  EXPECT_EQ(list.Bottom, box.Top);
  EXPECT_EQ(list.Height(), 4 * 13 + 2);

  // Too many rows for either side: the side with more room, shortened, still clear
  // of the box and inside the work area.
  combo->SetDroppedDown(false);
  for (int i = 0; i < 200; ++i) combo->Items()->Add("item " + std::to_string(i));
  combo->SetDropDownCount(200);
  for (int top : {wa.Top + 300, wa.Bottom - 300, wa.Top - 5, wa.Bottom - 30}) {
    list = open(top);
    box = OnScreen(combo);
    SCOPED_TRACE("form top " + std::to_string(top));
    EXPECT_FALSE(Overlap(list, box));
    EXPECT_GE(list.Top, wa.Top);
    EXPECT_LE(list.Bottom, wa.Bottom);
    const bool below = list.Top >= box.Bottom;
    EXPECT_EQ(below, wa.Bottom - box.Bottom >= box.Top - wa.Top);
    EXPECT_GT(list.Height(), (below ? wa.Bottom - box.Bottom : box.Top - wa.Top) - 13 - 2);
  }
  combo->SetDroppedDown(false);
}

TEST_F(ControlTest, DropDownComboEditsText) {
  auto* combo = new TComboBox(form);
  combo->SetBounds(10, 10, 128, 21);
  combo->SetParent(form);
  combo->Items()->Add("alpha");
  int changes = 0;
  combo->OnChange = [&](TObject*) { ++changes; };
  Show();
  combo->SetFocus();
  Type("alpha");
  EXPECT_EQ(combo->Text(), "alpha");
  EXPECT_EQ(combo->ItemIndex(), 0);
  EXPECT_EQ(changes, 5);
  Key(VK_BACK);
  EXPECT_EQ(combo->ItemIndex(), -1);
  // Characters beyond ASCII go in as UTF-8 and come out whole.
  TypeText("\u00e9\u20ac");
  EXPECT_EQ(combo->Text(), "alph\xC3\xA9\xE2\x82\xAC");
  Key(VK_LEFT);
  Key(VK_BACK);
  EXPECT_EQ(combo->Text(), "alph\xE2\x82\xAC");
  Key(VK_RIGHT);
  Key(VK_BACK);
  EXPECT_EQ(combo->Text(), "alph");
}

}  // namespace
