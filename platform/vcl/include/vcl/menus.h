// Menus: items with captions, check marks, radio groups, shortcuts, columns and
// submenus; the main menu of a form and pop-up menus. Pop-up menus are top-level
// pop-up windows; Popup returns when the menu has closed (after the chosen item's
// OnClick has run). With OwnerDraw each item is measured and drawn by its handlers,
// or by the library's default drawing of an owner-drawn item.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <vcl/export.h>
#include <vcl/controls.h>
#include <vcl/imglist.h>

enum TMenuBreak { mbNone, mbBreak, mbBarBreak };
enum TMenuItemAutoFlag { maAutomatic, maManual, maParent };
enum TPopupAlignment { paLeft, paRight, paCenter };

// A key with its modifiers: the virtual key in the low byte.
using TShortCut = WORD;
inline constexpr TShortCut scNone = 0, scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;
QVCL_API TShortCut ShortCut(WORD key, TShiftState shift);
QVCL_API std::string ShortCutToText(TShortCut shortCut);

using TMenuMeasureItemEvent = std::function<void(TObject* sender, TCanvas* canvas, int& width, int& height)>;
using TMenuDrawItemEvent = std::function<void(TObject* sender, TCanvas* canvas, TRect rect, bool selected)>;

class TMenu;

class QVCL_API TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;
  std::string ClassName() const override { return "TMenuItem"; }

  std::string Caption() const { return caption_; }
  void SetCaption(const std::string& v);
  bool Checked() const { return checked_; }
  // Checking a radio item unchecks the radio items of its GroupIndex among its siblings.
  void SetChecked(bool v);
  bool RadioItem() const { return radio_item_; }
  void SetRadioItem(bool v);
  int GroupIndex() const { return group_index_; }
  void SetGroupIndex(int v);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool Default() const { return default_; }
  void SetDefault(bool v);
  TMenuBreak Break() const { return break_; }
  void SetBreak(TMenuBreak v);
  TShortCut ShortCut() const { return shortcut_; }
  void SetShortCut(TShortCut v);
  int ImageIndex() const { return image_index_; }
  void SetImageIndex(int v);
  bool AutoCheck = false;
  TMenuItemAutoFlag AutoLineReduction = maAutomatic;
  std::string Hint;

  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int index) const;
  TMenuItem* operator[](int index) const { return Items(index); }
  TMenuItem* Parent() const { return parent_; }
  int MenuIndex() const;
  void SetMenuIndex(int v);
  int IndexOf(const TMenuItem* item) const;
  void Add(TMenuItem* item);
  void Insert(int index, TMenuItem* item);
  void Delete(int index);  // frees the item
  void Remove(TMenuItem* item);  // takes it out without freeing it
  void Clear();            // frees every item
  bool IsLine() const { return caption_ == "-"; }
  // The menu (main or pop-up) the item belongs to, or null.
  TMenu* GetParentMenu() const;
  // Runs the item's action: AutoCheck toggles, then OnClick.
  virtual void Click();

  // Measuring and drawing in a menu window; the defaults are the library's own.
  virtual void MeasureItem(TCanvas* canvas, int& width, int& height);
  virtual void DrawItem(TCanvas* canvas, TRect rect, bool selected);
  void DefaultDrawItem(TCanvas* canvas, TRect rect, bool selected);
  void DefaultMeasureItem(TCanvas* canvas, int& width, int& height);

  TNotifyEvent OnClick;
  TMenuMeasureItemEvent OnMeasureItem;
  TMenuDrawItemEvent OnDrawItem;

 protected:
  void Changed(bool rebuild);

 private:
  friend class TMenu;
  std::string caption_;
  bool checked_ = false, radio_item_ = false, enabled_ = true, visible_ = true, default_ = false;
  int group_index_ = 0;
  TMenuBreak break_ = mbNone;
  TShortCut shortcut_ = 0;
  int image_index_ = -1;
  TMenuItem* parent_ = nullptr;
  TMenu* menu_ = nullptr;  // set on the root item of a menu
  std::vector<TMenuItem*> items_;
};

class QVCL_API TMenu : public TComponent {
 public:
  explicit TMenu(TComponent* owner);
  ~TMenu() override;
  std::string ClassName() const override { return "TMenu"; }
  TMenuItem* Items() const { return items_.get(); }
  bool OwnerDraw() const { return owner_draw_; }
  void SetOwnerDraw(bool v) { owner_draw_ = v; }
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* v);
  // Runs the enabled, visible item whose shortcut is the key; false when none.
  bool IsShortCut(WORD key, TShiftState shift);
  bool IsShortCut(TMessage& keyMessage);
  TMenuItem* FindItem(const std::function<bool(TMenuItem*)>& match) const;
  // Called when an item changed (caption, state, items added or removed).
  virtual void MenuChanged(TObject* sender, TMenuItem* source, bool rebuild);
  TNotifyEvent OnChange;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  std::unique_ptr<TMenuItem> items_;
  bool owner_draw_ = false;
  TCustomImageList* images_ = nullptr;
};

class QVCL_API TMainMenu : public TMenu {
 public:
  explicit TMainMenu(TComponent* owner) : TMenu(owner) {}
  ~TMainMenu() override;
  std::string ClassName() const override { return "TMainMenu"; }
};

class QVCL_API TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* owner);
  std::string ClassName() const override { return "TPopupMenu"; }
  // Shows the menu with its top-left corner at the screen point (kept on the work
  // area) and returns once it has closed.
  virtual void Popup(int x, int y);
  bool AutoPopup = true;
  TPopupAlignment Alignment = paLeft;
  TComponent* PopupComponent = nullptr;
  TNotifyEvent OnPopup;
  TNotifyEvent OnClose;

 protected:
  virtual void DoPopup();
};

// Shows the submenu of item at a screen point and runs its menu loop; answers the
// item chosen (its OnClick has run), or null when the menu was dismissed.
QVCL_API TMenuItem* TrackMenuItems(TMenuItem* item, int x, int y, TControl* opener);
// True while a menu loop runs.
QVCL_API bool MenuLoopActive();
// The form's shortcuts: its main menu first, then the pop-up menus it owns. Runs the
// item and answers true when the key is one of them (the key path of a form calls
// this before the dialog keys).
QVCL_API bool IsFormShortCut(TComponent* form, WORD key, TShiftState shift);
