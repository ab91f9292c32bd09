// A themed main menu, shown by the themed form panel on its menu bar.
#pragma once

#include <memory>

#include "suimenu.h"

class TsuiMainMenu : public TMainMenu, public TsuiMenuLook {
 public:
  explicit TsuiMainMenu(TComponent* owner);
  ~TsuiMainMenu() override;
  using TsuiMenuLook::OwnerDraw;
  using TsuiMenuLook::SetOwnerDraw;
  std::string ClassName() const override { return "TsuiMainMenu"; }
  void AfterConstruction() override;
  void Loaded() override;
  void MenuChanged(TObject* sender, TMenuItem* source, bool rebuild) override;

  // The user's images; null while the menu's own check-mark list is in place.
  TCustomImageList* Images() const;
  void SetImages(TCustomImageList* v);  // null puts the check-mark list back
  void SetUseSystemFont(bool v);
  // Binds every item, at every depth, to this menu's measuring and drawing.
  void BindItems();

 private:
  std::unique_ptr<TCustomImageList> check_list_;
};
