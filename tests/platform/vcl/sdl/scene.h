// One set of windows built and driven the same way under the SDL2 backend and the
// headless one, so that the two renderings can be compared pixel for pixel.
#pragma once

#include <string>
#include <vector>

#include <vcl/forms.h>
#include <vcl/menus.h>
#include <vcl/stdctrls.h>

// How input reaches the windows: injected into the headless backend, or pushed as SDL
// events. Positions are client coordinates of a top-level form.
class SceneInput {
 public:
  virtual ~SceneInput() = default;
  virtual void Click(TCustomForm* form, int x, int y) = 0;
  virtual void Type(TCustomForm* form, const std::string& text) = 0;
  // Lets the loop handle everything the input caused.
  virtual void Settle() = 0;
  // What the window shows now, under a name: the headless run records it, the SDL
  // run compares the screen with that record. `covered` (client coordinates) is
  // hidden by another window. `inLoop`: called from inside a nested loop, which
  // must not be re-entered.
  virtual void Snapshot(const std::string& name, TCustomForm* form, const TRect& covered, bool inLoop) = 0;
};

struct Scene {
  TForm* main = nullptr;
  TLabel* label = nullptr;
  TButton* button = nullptr;
  TEdit* edit = nullptr;
  TCheckBox* check = nullptr;
  TListBox* list = nullptr;
  TComboBox* combo = nullptr;
  TForm* shaped = nullptr;
  TLabel* shaped_label = nullptr;
  TPopupMenu* menu = nullptr;
  int clicks = 0;
  std::string chosen;  // caption of the menu item chosen
};

// The shaped form's region, in its client coordinates.
inline constexpr int kShapedWidth = 200, kShapedHeight = 150, kShapedCorner = 60;

// Creates and shows the windows (after Application->Initialize).
void BuildScene(Scene& scene);
// Clicks the button, ticks the check box, types into the edit, picks a list item,
// clicks the button again, drops the combo box's list down (snapshots "combo" and
// "main-under-combo"), closes it, opens the pop-up menu (snapshot "menu") and
// chooses its first item; then snapshots "main" and "shaped".
void DriveScene(Scene& scene, SceneInput& input);
// The combo box's pop-up list window while it is shown, or null.
TCustomForm* ScenePopup(const Scene& scene);
// A shown top-level window other than the scene's own forms and the combo box's
// list (the menu's window while it is open), or null.
TCustomForm* SceneMenuWindow(const Scene& scene);
// The shaped form's region (the caller deletes it).
HRGN SceneShape();
// A point of the control's centre in its form's client coordinates.
TPoint CentreInForm(TControl* control);

// Raw capture files: width, height (32-bit each), then 0x00RRGGBB pixels row by row.
bool WriteCapture(const std::string& path, int width, int height, const std::vector<std::uint32_t>& pixels);
bool ReadCapture(const std::string& path, int* width, int* height, std::vector<std::uint32_t>* pixels);
