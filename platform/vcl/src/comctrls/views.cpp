// The list view and the tree view.
#include <vcl/comctrls.h>

#include <algorithm>

#include "../stdctrls/ctlpaint.h"

// --- list view ------------------------------------------------------------------------
bool TListItem::Selected() const { return owner_ && owner_->Selected() == this; }
void TListItem::SetSelected(bool v) {
  if (!owner_) return;
  if (v) owner_->SetSelected(this);
  else if (Selected()) owner_->SetSelected(nullptr);
}
int TListItem::Index() const { return owner_ ? owner_->Items()->IndexOf(this) : -1; }

TListItem* TListItems::Add() { return Insert(Count()); }

TListItem* TListItems::Insert(int index) {
  index = std::clamp(index, 0, Count());
  auto item = std::make_unique<TListItem>();
  item->owner_ = owner_;
  TListItem* raw = item.get();
  items_.insert(items_.begin() + index, std::move(item));
  if (owner_->selected_ >= index) ++owner_->selected_;
  owner_->Invalidate();
  return raw;
}

void TListItems::Delete(int index) {
  ctl::CheckIndex(index, Count());
  items_.erase(items_.begin() + index);
  if (owner_->selected_ == index) owner_->selected_ = -1;
  else if (owner_->selected_ > index) --owner_->selected_;
  owner_->top_ = std::min(owner_->top_, std::max(0, Count() - 1));
  owner_->Invalidate();
}

void TListItems::Clear() {
  items_.clear();
  owner_->selected_ = -1;
  owner_->top_ = 0;
  owner_->Invalidate();
}

TListItem* TListItems::Item(int index) const {
  ctl::CheckIndex(index, Count());
  return items_[index].get();
}

int TListItems::IndexOf(const TListItem* item) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[i].get() == item) return i;
  return -1;
}

TCustomListView::TCustomListView(TComponent* owner)
    : TCustomControl(owner), items_(std::make_unique<TListItems>(this)) {
  SetControlStyle((ControlStyle() | csOpaque) & ~csAcceptsControls);
  SetBounds(Left(), Top(), 250, 150);
  SetColor(clWindow);
  SetTabStop(true);
}

TCustomListView::~TCustomListView() = default;

TListItem* TCustomListView::Selected() const { return selected_ >= 0 ? items_->Item(selected_) : nullptr; }

void TCustomListView::SetSelected(TListItem* item) { SetItemIndex(item ? items_->IndexOf(item) : -1); }

void TCustomListView::SetItemIndex(int v) {
  if (v < -1 || v >= items_->Count()) v = -1;
  if (v == selected_) return;
  selected_ = v;
  EnsureVisible(v);
  Invalidate();
  if (OnChange) OnChange(this, Selected());
}

void TCustomListView::SetBorderStyle(TBorderStyle v) {
  border_style_ = v;
  Invalidate();
}

int TCustomListView::RowHeight() { return ctl::LineHeight(ctl::Measure(Font())) + 2; }

TRect TCustomListView::Area() const {
  return ctl::InsideBorder(ClientRect(), border_style_);
}

void TCustomListView::EnsureVisible(int i) {
  if (i < 0) return;
  int rows = std::max(1, Area().Height() / RowHeight());
  if (i < top_) top_ = i;
  if (i >= top_ + rows) top_ = i - rows + 1;
}

void TCustomListView::UserSelect(int index) {
  if (index < 0 || index >= items_->Count()) return;
  SetItemIndex(index);
}

void TCustomListView::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (border_style_ == bsSingle) ctl::SunkenEdge(c, r);
  ctl::Fill(c, r, Color());
  c->SetFont(Font());
  int h = RowHeight();
  TRect a = Area();
  for (int i = top_; i < items_->Count(); ++i) {
    int y = a.Top + (i - top_) * h;
    if (y >= a.Bottom) break;
    TRect row(a.Left, y, a.Right, y + h);
    bool sel = i == selected_;
    if (sel) ctl::Fill(c, row, Focused() ? clHighlight : clBtnFace);
    int x = a.Left + 2;
    if (SmallImages && items_->Item(i)->ImageIndex >= 0) {
      SmallImages->Draw(c, x, y + (h - SmallImages->Height()) / 2, items_->Item(i)->ImageIndex, Enabled());
      x += SmallImages->Width() + 2;
    }
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetColor(!Enabled() ? clGrayText : sel && Focused() ? clHighlightText : Font()->Color());
    c->TextOut(x, y + 1, items_->Item(i)->Caption);
  }
}

void TCustomListView::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    if (!Focused() && CanFocus()) SetFocus();
    TRect a = Area();
    if (a.Contains(x, y)) UserSelect(top_ + (y - a.Top) / RowHeight());
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TCustomListView::KeyDown(WORD& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  int n = items_->Count();
  if (n == 0) return;
  switch (key) {
    case VK_UP: UserSelect(std::max(0, selected_ - 1)); break;
    case VK_DOWN: UserSelect(std::min(n - 1, selected_ + 1)); break;
    case VK_HOME: UserSelect(0); break;
    case VK_END: UserSelect(n - 1); break;
    default: break;
  }
}

void TCustomListView::WMGetDlgCode(TMessage& m) { m.Result = DLGC_WANTARROWS; }
void TCustomListView::WMSetFocus(TMessage& m) {
  TCustomControl::WMSetFocus(m);
  Invalidate();
}
void TCustomListView::WMKillFocus(TMessage& m) {
  TCustomControl::WMKillFocus(m);
  Invalidate();
}

void TCustomListView::WndProc(TMessage& m) {
  if (m.Msg == WM_MOUSEWHEEL) {
    int steps = -static_cast<short>(HIWORD(static_cast<std::uintptr_t>(m.WParam))) / 120;
    int rows = std::max(1, Area().Height() / RowHeight());
    top_ = std::clamp(top_ + steps * 3, 0, std::max(0, items_->Count() - rows));
    Invalidate();
    return;
  }
  TCustomControl::WndProc(m);
}

// --- tree view ----------------------------------------------------------------------
void TTreeNode::SetExpanded(bool v) {
  if (v == expanded_) return;
  expanded_ = v;
  if (!v && owner_ && owner_->selected_) {
    // A selection inside a collapsed branch moves up to this node.
    for (TTreeNode* p = owner_->selected_->parent_; p; p = p->parent_)
      if (p == this) {
        owner_->selected_ = this;
        break;
      }
  }
  if (owner_) owner_->Invalidate();
}

void TTreeNode::Expand(bool recurse) {
  SetExpanded(true);
  if (recurse)
    for (auto& c : children_) c->Expand(true);
}

void TTreeNode::Collapse(bool recurse) {
  if (recurse)
    for (auto& c : children_) c->Collapse(true);
  SetExpanded(false);
}

int TTreeNode::Level() const {
  int l = 0;
  for (TTreeNode* p = parent_; p; p = p->parent_) ++l;
  return l;
}

bool TTreeNode::Selected() const { return owner_ && owner_->Selected() == this; }

TTreeNode* TTreeNodes::Add(TTreeNode* sibling, const std::string& text) {
  return AddChild(sibling ? sibling->parent_ : nullptr, text);
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, const std::string& text) {
  auto node = std::make_unique<TTreeNode>();
  node->Text = text;
  node->owner_ = owner_;
  node->parent_ = parent;
  TTreeNode* raw = node.get();
  (parent ? parent->children_ : roots_).push_back(std::move(node));
  owner_->Invalidate();
  return raw;
}

void TTreeNodes::Delete(TTreeNode* node) {
  if (!node) return;
  auto& list = node->parent_ ? node->parent_->children_ : roots_;
  auto it = std::find_if(list.begin(), list.end(), [&](auto& p) { return p.get() == node; });
  if (it == list.end()) return;
  owner_->NodeRemoved(node);
  list.erase(it);
  owner_->Invalidate();
}

void TTreeNodes::Clear() {
  roots_.clear();
  owner_->selected_ = nullptr;
  owner_->top_ = 0;
  owner_->Invalidate();
}

int TTreeNodes::Count() const {
  std::function<int(const std::vector<std::unique_ptr<TTreeNode>>&)> count = [&](const auto& v) {
    int n = 0;
    for (auto& c : v) n += 1 + count(c->children_);
    return n;
  };
  return count(roots_);
}

TCustomTreeView::TCustomTreeView(TComponent* owner)
    : TCustomControl(owner), items_(std::make_unique<TTreeNodes>(this)) {
  SetControlStyle((ControlStyle() | csOpaque) & ~csAcceptsControls);
  SetBounds(Left(), Top(), 121, 97);
  SetColor(clWindow);
  SetTabStop(true);
}

TCustomTreeView::~TCustomTreeView() = default;

void TCustomTreeView::NodeRemoved(TTreeNode* node) {
  for (TTreeNode* p = selected_; p; p = p->parent_)
    if (p == node) {
      selected_ = nullptr;
      break;
    }
}

std::vector<TTreeNode*> TCustomTreeView::VisibleNodes() const {
  std::vector<TTreeNode*> out;
  std::function<void(const std::vector<std::unique_ptr<TTreeNode>>&)> walk = [&](const auto& v) {
    for (auto& c : v) {
      out.push_back(c.get());
      if (c->expanded_) walk(c->children_);
    }
  };
  walk(items_->roots_);
  return out;
}

void TCustomTreeView::SetSelected(TTreeNode* node) {
  if (node == selected_) return;
  selected_ = node;
  // Selecting a hidden node opens its branch.
  for (TTreeNode* p = node ? node->parent_ : nullptr; p; p = p->parent_) p->expanded_ = true;
  Invalidate();
  if (OnChange) OnChange(this, node);
}

void TCustomTreeView::SetBorderStyle(TBorderStyle v) {
  border_style_ = v;
  Invalidate();
}

int TCustomTreeView::RowHeight() { return ctl::LineHeight(ctl::Measure(Font())) + 3; }

TRect TCustomTreeView::Area() const {
  return ctl::InsideBorder(ClientRect(), border_style_);
}

void TCustomTreeView::UserSelect(TTreeNode* node) {
  if (node) SetSelected(node);
}

void TCustomTreeView::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (border_style_ == bsSingle) ctl::SunkenEdge(c, r);
  ctl::Fill(c, r, Color());
  c->SetFont(Font());
  auto nodes = VisibleNodes();
  int h = RowHeight();
  TRect a = Area();
  for (int i = top_; i < static_cast<int>(nodes.size()); ++i) {
    int y = a.Top + (i - top_) * h;
    if (y >= a.Bottom) break;
    TTreeNode* n = nodes[i];
    int x = a.Left + 2 + n->Level() * Indent;
    if (n->HasChildren()) {
      // The expand button: a box with a minus, or a plus when collapsed.
      TRect box(x + 2, y + (h - 9) / 2, x + 11, y + (h - 9) / 2 + 9);
      c->Brush()->SetStyle(bsSolid);
      c->Brush()->SetColor(clGray);
      c->FrameRect(box);
      c->Pen()->SetColor(clWindowText);
      c->MoveTo(box.Left + 2, box.Top + 4);
      c->LineTo(box.Right - 2, box.Top + 4);
      if (!n->expanded_) {
        c->MoveTo(box.Left + 4, box.Top + 2);
        c->LineTo(box.Left + 4, box.Bottom - 2);
      }
    }
    x += 16;
    bool sel = n == selected_;
    c->Brush()->SetStyle(bsSolid);
    int tw = c->TextWidth(n->Text) + 4;
    if (sel) ctl::Fill(c, TRect(x, y, x + tw, y + h), Focused() ? clHighlight : clBtnFace);
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetColor(!Enabled() ? clGrayText : sel && Focused() ? clHighlightText : Font()->Color());
    c->TextOut(x + 2, y + 1, n->Text);
  }
}

void TCustomTreeView::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    if (!Focused() && CanFocus()) SetFocus();
    TRect a = Area();
    auto nodes = VisibleNodes();
    int i = a.Contains(x, y) ? top_ + (y - a.Top) / RowHeight() : -1;
    if (i >= 0 && i < static_cast<int>(nodes.size())) {
      TTreeNode* n = nodes[i];
      int bx = a.Left + 2 + n->Level() * Indent;
      if (n->HasChildren() && x >= bx && x < bx + 14) n->SetExpanded(!n->expanded_);
      else if (shift.Contains(ssDouble) && n->HasChildren()) n->SetExpanded(!n->expanded_);
      else UserSelect(n);
    }
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TCustomTreeView::KeyDown(WORD& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  auto nodes = VisibleNodes();
  if (nodes.empty()) return;
  int i = static_cast<int>(std::find(nodes.begin(), nodes.end(), selected_) - nodes.begin());
  if (i >= static_cast<int>(nodes.size())) i = -1;
  switch (key) {
    case VK_UP: UserSelect(nodes[std::max(0, i - 1)]); break;
    case VK_DOWN: UserSelect(nodes[std::min(static_cast<int>(nodes.size()) - 1, i + 1)]); break;
    case VK_RIGHT:
      if (selected_ && selected_->HasChildren()) selected_->SetExpanded(true);
      break;
    case VK_LEFT:
      if (selected_ && selected_->expanded_) selected_->SetExpanded(false);
      else if (selected_ && selected_->parent_) UserSelect(selected_->parent_);
      break;
    default: break;
  }
  // Keep the selection in view.
  nodes = VisibleNodes();
  int sel = static_cast<int>(std::find(nodes.begin(), nodes.end(), selected_) - nodes.begin());
  int rows = std::max(1, Area().Height() / RowHeight());
  if (sel < top_) top_ = sel;
  if (sel >= top_ + rows) top_ = sel - rows + 1;
  Invalidate();
}

void TCustomTreeView::WMGetDlgCode(TMessage& m) { m.Result = DLGC_WANTARROWS; }
void TCustomTreeView::WMSetFocus(TMessage& m) {
  TCustomControl::WMSetFocus(m);
  Invalidate();
}
void TCustomTreeView::WMKillFocus(TMessage& m) {
  TCustomControl::WMKillFocus(m);
  Invalidate();
}
