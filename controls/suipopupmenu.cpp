#include "suipopupmenu.h"

#include <memory>

namespace {

int g_unit_counter = 0;
std::unique_ptr<TCustomImageList> g_check_list;

}  // namespace

void Suipopupmenu_Initialization() {
  if (g_unit_counter-- == 0) g_check_list.reset(NewCheckMarkList(nullptr));
}

void Suipopupmenu_Finalization() {
  if (++g_unit_counter == 0) g_check_list.reset();
}

TCustomImageList* SharedCheckMarkList() { return g_check_list.get(); }

TsuiPopupMenu::TsuiPopupMenu(TComponent* owner) : TPopupMenu(owner) {
  TMenu::SetOwnerDraw(true);
  SetUIStyle(GetSUIFormStyle(owner));
}

void TsuiPopupMenu::Loaded() {
  TPopupMenu::Loaded();
  BindItems();
}

void TsuiPopupMenu::BindItems() {
  BindItemsOf(Items(), [this] { return TMenu::Images(); }, &SharedCheckMarkList);
}

void TsuiPopupMenu::Popup(int x, int y) {
  // Items added in code after loading draw themed too.
  BindItems();
  TPopupMenu::Popup(x, y);
}
