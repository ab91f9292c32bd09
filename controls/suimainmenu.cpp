#include "suimainmenu.h"

#include <vcl/forms.h>

#include "suiform.h"

namespace {

// The first themed form panel among the form's controls.
TsuiForm* FirstSUIForm(TComponent* owner) {
  auto* f = dynamic_cast<TWinControl*>(owner);
  if (!f) return nullptr;
  for (int i = 0; i < f->ControlCount(); ++i)
    if (auto* p = dynamic_cast<TsuiForm*>(f->Controls(i))) return p;
  return nullptr;
}

}  // namespace

TsuiMainMenu::TsuiMainMenu(TComponent* owner) : TMainMenu(owner), check_list_(NewCheckMarkList(nullptr)) {
  TMenu::SetOwnerDraw(true);
  TMenu::SetImages(check_list_.get());
  SetUIStyle(GetSUIFormStyle(owner));
}

TsuiMainMenu::~TsuiMainMenu() {
  // The list goes before the menu: the menu must not keep pointing at it.
  TMenu::SetImages(nullptr);
}

void TsuiMainMenu::AfterConstruction() {
  TMainMenu::AfterConstruction();
  auto* f = dynamic_cast<TCustomForm*>(Owner());
  if (!f) return;
  f->SetMenu(nullptr);
  if (TsuiForm* panel = FirstSUIForm(f)) panel->SetMenu(this);
}

void TsuiMainMenu::Loaded() {
  TMainMenu::Loaded();
  BindItems();
}

void TsuiMainMenu::BindItems() {
  BindItemsOf(Items(), [this] { return Images(); }, [this] { return check_list_.get(); });
}

void TsuiMainMenu::MenuChanged(TObject* sender, TMenuItem* source, bool rebuild) {
  TMainMenu::MenuChanged(sender, source, rebuild);
  if (HasState(csDesigning) && !HasState(csLoading))
    if (TsuiForm* panel = FirstSUIForm(Owner()); panel && panel->Menu() == this) panel->UpdateMenu();
}

TCustomImageList* TsuiMainMenu::Images() const {
  TCustomImageList* v = TMenu::Images();
  return v == check_list_.get() ? nullptr : v;
}

void TsuiMainMenu::SetImages(TCustomImageList* v) { TMenu::SetImages(v ? v : check_list_.get()); }

void TsuiMainMenu::SetUseSystemFont(bool v) {
  UseSystemFont = v;
  if (TsuiForm* panel = FirstSUIForm(Owner()); panel && panel->Menu() == this) panel->RepaintMenuBar();
}
