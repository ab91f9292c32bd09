// A themed pop-up menu; all of them share one check-mark image list, made when
// the unit is first initialised and freed when it is last finalised.
#pragma once

#include "suimenu.h"

class TsuiPopupMenu : public TPopupMenu, public TsuiMenuLook {
 public:
  explicit TsuiPopupMenu(TComponent* owner);
  using TsuiMenuLook::OwnerDraw;
  using TsuiMenuLook::SetOwnerDraw;
  std::string ClassName() const override { return "TsuiPopupMenu"; }
  void Loaded() override;
  void Popup(int x, int y) override;
  // Binds every item, at every depth, to this menu's measuring and drawing.
  void BindItems();
};

// The unit's routines, run with the program's other unit routines: the first
// initialisation makes the shared check-mark list, the last finalisation frees it.
void Suipopupmenu_Initialization();
void Suipopupmenu_Finalization();
// The shared check-mark list; null outside the unit's initialised life.
TCustomImageList* SharedCheckMarkList();
