#include "suiradiogroup.h"

#include <cstdlib>
#include <vector>

namespace {

[[maybe_unused]] const bool kApplyRow = [] {
  RegisterContainerApplier(TsuiApplyRow::CheckGroup, &ApplyStyleTo<TsuiCheckGroup>);
  return true;
}();

}  // namespace

TsuiCheckGroup::TsuiCheckGroup(TComponent* owner)
    : TsuiCustomGroupBox(owner), items_(std::make_unique<TStringList>()) {
  items_->OnChange = [this](TObject*) { ItemChanged(); };
  SetCaption("suiCheckGroup");
  SetUIStyle(GetSUIFormStyle(owner));
  SetTransparent(false);
  TControl::OnClick = [this](TObject*) { DoClick(); };
}

TsuiCheckGroup::~TsuiCheckGroup() { items_->OnChange = nullptr; }

// The buttons are owned components of the group: a button freed by anyone (the
// group's own destruction frees them first) leaves the list.
void TsuiCheckGroup::Notification(TComponent* component, TOperation operation) {
  TsuiCustomGroupBox::Notification(component, operation);
  if (operation == opRemove) std::erase(buttons_, component);
}

void TsuiCheckGroup::SetColumns(int v) {
  if (v < 1) return;
  columns_ = v;
  ArrangeButtons();
}

void TsuiCheckGroup::SetTopMargin(int v) {
  if (v < 0) return;
  top_margin_ = v;
  ArrangeButtons();
}

void TsuiCheckGroup::SetUIStyle(TsuiUIStyle v) {
  ui_style_ = v;
  UpdateUIStyle(v);
  for (TsuiCheckBox* b : buttons_) {
    b->SetUIStyle(v);
    b->SetColor(GetThemeColor(v, 8));
  }
  Repaint();
}

void TsuiCheckGroup::UpdateUIStyle(TsuiUIStyle style) {
  SetBorderColor(GetThemeColor(style, 7));
  Font()->SetColor(GetThemeColor(style, 9));
  SetColor(GetThemeColor(style, 8));
}

void TsuiCheckGroup::SetTransparent(bool v) {
  TsuiCustomGroupBox::SetTransparent(v);
  for (TsuiCheckBox* b : buttons_) b->SetTransparent(v);
}

bool TsuiCheckGroup::GetChecked(int index) const {
  if (index < 0 || index >= ButtonCount()) return false;
  return buttons_[index]->Checked();
}

void TsuiCheckGroup::SetChecked(int index, bool value) {
  // An index outside the buttons would reach past the list.
  if (index < 0 || index >= ButtonCount()) return;
  buttons_[index]->SetChecked(value);
}

TsuiCheckBox* TsuiCheckGroup::CreateAButton() { return new TsuiCheckBox(this); }

bool TsuiCheckGroup::UpdateButtons() {
  int d = items_->Count() - ButtonCount();
  for (; d < 0; ++d) {
    TsuiCheckBox* last = buttons_.back();
    buttons_.pop_back();
    FreeComponent(last);
  }
  const bool created = d > 0;
  for (; d > 0; --d) {
    TsuiCheckBox* b = CreateAButton();
    b->SetParent(this);
    b->SetAutoSize(true);
    b->SetUIStyle(ui_style_);
    b->SetTransparent(Transparent());
    b->OnClick = [this](TObject*) { DoClick(); };
    buttons_.push_back(b);
  }
  for (int i = 0; i < ButtonCount(); ++i) buttons_[i]->SetCaption(items_->Get(i));
  return created;
}

void TsuiCheckGroup::ArrangeButtons() {
  const int n = ButtonCount();
  if (n == 0) return;
  TRect r = GetClient();
  const int top = r.Top + top_margin_;
  const int h = r.Bottom - top;
  const int rows = (n + columns_ - 1) / columns_;
  const int columnWidth = (Width() - 10) / columns_;
  const int rowHeight = h / rows;
  const int y0 = (h % rows) / 2 + top;
  for (int i = 0; i < n; ++i) {
    buttons_[i]->SetLeft((i / rows) * columnWidth + 8);
    buttons_[i]->SetTop((i % rows) * rowHeight + y0);
  }
}

void TsuiCheckGroup::ItemChanged() {
  bool created = UpdateButtons();
  ArrangeButtons();
  if (created) {
    SetTransparent(!Transparent());
    SetTransparent(!Transparent());
  }
}

void TsuiCheckGroup::DoClick() {
  if (OnClick) OnClick(this);
}

void TsuiCheckGroup::Resize() {
  TsuiCustomGroupBox::Resize();
  ArrangeButtons();
}

TsuiRadioGroup::TsuiRadioGroup(TComponent* owner) : TsuiCheckGroup(owner) { SetCaption("suiRadioGroup"); }

TsuiCheckBox* TsuiRadioGroup::CreateAButton() { return new TsuiRadioButton(this); }

int TsuiRadioGroup::ItemIndex() const {
  for (int i = 0; i < ButtonCount(); ++i)
    if (Button(i)->Checked()) return i;
  return -1;
}

void TsuiRadioGroup::SetItemIndex(int i) {
  if (i > Items()->Count() - 1 || i < -1) return;
  if (i == -1) {
    for (int k = 0; k < ButtonCount(); ++k) Button(k)->SetChecked(false);
    return;
  }
  if (i < ButtonCount()) Button(i)->SetChecked(true);
}
