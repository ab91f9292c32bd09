// Common controls: the tool bar with its buttons (owner drawing through custom-draw
// events, buttons that drop a menu item's submenu) and simple list and tree views.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <vcl/export.h>
#include <vcl/imglist.h>
#include <vcl/menus.h>
#include <vcl/stdctrls.h>

enum TCustomDrawStateKind { cdsSelected, cdsGrayed, cdsDisabled, cdsChecked, cdsFocused, cdsDefault, cdsHot, cdsMarked, cdsIndeterminate };
using TCustomDrawState = TSmallSet<TCustomDrawStateKind>;
enum TEdgeBorder { ebLeft, ebTop, ebRight, ebBottom };
using TEdgeBorders = TSmallSet<TEdgeBorder>;
enum TToolButtonStyle { tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider };

class TToolBar;
class TToolButton;
using TTBCustomDrawEvent = std::function<void(TToolBar* sender, const TRect& rect, bool& defaultDraw)>;
using TTBCustomDrawBtnEvent =
    std::function<void(TToolBar* sender, TToolButton* button, TCustomDrawState state, bool& defaultDraw)>;

class QVCL_API TToolButton : public TGraphicControl {
 public:
  explicit TToolButton(TComponent* owner);
  ~TToolButton() override;
  std::string ClassName() const override { return "TToolButton"; }
  TToolButtonStyle Style() const { return style_; }
  void SetStyle(TToolButtonStyle v);
  int ImageIndex() const { return image_index_; }
  void SetImageIndex(int v);
  bool Down() const { return down_; }
  void SetDown(bool v);
  // Check buttons of a group release each other.
  bool Grouped = false;
  // The button takes the item's caption; pressing it drops down the item's submenu
  // (or clicks an item without one).
  TMenuItem* MenuItem() const { return menu_item_; }
  void SetMenuItem(TMenuItem* v);
  int Index() const;
  TToolBar* ToolBar() const;
  bool Hot() const { return hot_; }
  bool Pressed() const { return pressed_; }
  void Click() override;
  void SetAutoSize(bool v) override;

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void CMMouseEnter(TMessage& m) override;
  void CMMouseLeave(TMessage& m) override;
  void CMTextChanged(TMessage& m) override;

 private:
  friend class TToolBar;
  TToolButtonStyle style_ = tbsButton;
  int image_index_ = -1;
  bool down_ = false;
  bool hot_ = false;
  bool pressed_ = false;
  bool tracking_ = false;
  TMenuItem* menu_item_ = nullptr;
};

class QVCL_API TToolBar : public TCustomControl {
 public:
  explicit TToolBar(TComponent* owner);
  ~TToolBar() override;
  std::string ClassName() const override { return "TToolBar"; }
  int ButtonCount() const { return static_cast<int>(buttons_.size()); }
  TToolButton* Buttons(int index) const { return buttons_.at(index); }
  bool Flat() const { return flat_; }
  void SetFlat(bool v);
  TEdgeBorders EdgeBorders() const { return edges_; }
  void SetEdgeBorders(TEdgeBorders v);
  bool ShowCaptions() const { return show_captions_; }
  void SetShowCaptions(bool v);
  int ButtonWidth() const { return button_width_; }
  void SetButtonWidth(int v);
  int ButtonHeight() const { return button_height_; }
  void SetButtonHeight(int v);
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* v);
  // Places the buttons from left to right in their order.
  void ArrangeButtons();
  TTBCustomDrawEvent OnCustomDraw;
  TTBCustomDrawBtnEvent OnCustomDrawButton;

 protected:
  void Paint() override;
  void DefaultDrawButton(TToolButton* b, TCustomDrawState state);
  void WndProc(TMessage& m) override;
  void Notification(TComponent* component, TOperation operation) override;
  void Resize() override;

 private:
  friend class TToolButton;
  int ButtonSize(TToolButton* b);
  std::vector<TToolButton*> buttons_;
  bool flat_ = false;
  TEdgeBorders edges_{ebTop};
  bool show_captions_ = false;
  int button_width_ = 23, button_height_ = 22;
  TCustomImageList* images_ = nullptr;
  bool arranging_ = false;
};

// --- List view ----------------------------------------------------------------------
class TCustomListView;

class QVCL_API TListItem {
 public:
  std::string Caption;
  void* Data = nullptr;
  int ImageIndex = -1;
  bool Selected() const;
  void SetSelected(bool v);
  int Index() const;

 private:
  friend class TListItems;
  friend class TCustomListView;
  TCustomListView* owner_ = nullptr;
};

class QVCL_API TListItems {
 public:
  explicit TListItems(TCustomListView* owner) : owner_(owner) {}
  TListItem* Add();
  TListItem* Insert(int index);
  void Delete(int index);
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  TListItem* Item(int index) const;
  int IndexOf(const TListItem* item) const;

 private:
  TCustomListView* owner_;
  std::vector<std::unique_ptr<TListItem>> items_;
};

// A list of rows (one caption each) with single selection and a vertical scroll.
class QVCL_API TCustomListView : public TCustomControl {
 public:
  explicit TCustomListView(TComponent* owner);
  ~TCustomListView() override;
  std::string ClassName() const override { return "TCustomListView"; }
  TListItems* Items() const { return items_.get(); }
  TListItem* Selected() const;
  void SetSelected(TListItem* item);
  int ItemIndex() const { return selected_; }
  void SetItemIndex(int v);
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle v);
  TCustomImageList* SmallImages = nullptr;
  using TLVChangeEvent = std::function<void(TObject* sender, TListItem* item)>;
  TLVChangeEvent OnChange;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void WMGetDlgCode(TMessage& m) override;
  void WMSetFocus(TMessage& m) override;
  void WMKillFocus(TMessage& m) override;
  void WndProc(TMessage& m) override;
  int RowHeight();
  TRect Area() const;

 private:
  friend class TListItems;
  friend class TListItem;
  void UserSelect(int index);
  void EnsureVisible(int index);
  std::unique_ptr<TListItems> items_;
  int selected_ = -1;
  int top_ = 0;
  TBorderStyle border_style_ = bsSingle;
};

class QVCL_API TListView : public TCustomListView {
 public:
  using TCustomListView::TCustomListView;
  std::string ClassName() const override { return "TListView"; }
};

// --- Tree view ----------------------------------------------------------------------
class TCustomTreeView;

class QVCL_API TTreeNode {
 public:
  std::string Text;
  void* Data = nullptr;
  TTreeNode* Parent() const { return parent_; }
  int Count() const { return static_cast<int>(children_.size()); }
  TTreeNode* Item(int index) const { return children_.at(index).get(); }
  bool HasChildren() const { return !children_.empty(); }
  bool Expanded() const { return expanded_; }
  void SetExpanded(bool v);
  void Expand(bool recurse);
  void Collapse(bool recurse);
  int Level() const;
  bool Selected() const;

 private:
  friend class TTreeNodes;
  friend class TCustomTreeView;
  TCustomTreeView* owner_ = nullptr;
  TTreeNode* parent_ = nullptr;
  bool expanded_ = false;
  std::vector<std::unique_ptr<TTreeNode>> children_;
};

class QVCL_API TTreeNodes {
 public:
  explicit TTreeNodes(TCustomTreeView* owner) : owner_(owner) {}
  // A node after the last sibling of `sibling` (null: a new root).
  TTreeNode* Add(TTreeNode* sibling, const std::string& text);
  TTreeNode* AddChild(TTreeNode* parent, const std::string& text);
  void Delete(TTreeNode* node);
  void Clear();
  int Count() const;  // every node
  TTreeNode* FirstRoot() const { return roots_.empty() ? nullptr : roots_.front().get(); }
  int RootCount() const { return static_cast<int>(roots_.size()); }
  TTreeNode* Root(int index) const { return roots_.at(index).get(); }

 private:
  friend class TCustomTreeView;
  TCustomTreeView* owner_;
  std::vector<std::unique_ptr<TTreeNode>> roots_;
};

// Nodes in rows, indented by level, with expand buttons; single selection.
class QVCL_API TCustomTreeView : public TCustomControl {
 public:
  explicit TCustomTreeView(TComponent* owner);
  ~TCustomTreeView() override;
  std::string ClassName() const override { return "TCustomTreeView"; }
  TTreeNodes* Items() const { return items_.get(); }
  TTreeNode* Selected() const { return selected_; }
  void SetSelected(TTreeNode* node);
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle v);
  int Indent = 19;
  using TTVChangedEvent = std::function<void(TObject* sender, TTreeNode* node)>;
  TTVChangedEvent OnChange;
  // The nodes shown (every node whose ancestors are expanded), in order.
  std::vector<TTreeNode*> VisibleNodes() const;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void WMGetDlgCode(TMessage& m) override;
  void WMSetFocus(TMessage& m) override;
  void WMKillFocus(TMessage& m) override;
  int RowHeight();
  TRect Area() const;

 private:
  friend class TTreeNodes;
  friend class TTreeNode;
  void NodeRemoved(TTreeNode* node);
  void UserSelect(TTreeNode* node);
  std::unique_ptr<TTreeNodes> items_;
  TTreeNode* selected_ = nullptr;
  int top_ = 0;
  TBorderStyle border_style_ = bsSingle;
};

class QVCL_API TTreeView : public TCustomTreeView {
 public:
  using TCustomTreeView::TCustomTreeView;
  std::string ClassName() const override { return "TTreeView"; }
};
