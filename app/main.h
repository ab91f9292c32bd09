// The main window: a borderless window shaped by the current skin, with ten image
// buttons and a popup menu.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <vcl/extctrls.h>
#include <vcl/forms.h>
#include <vcl/imglist.h>
#include <vcl/menus.h>

#include <transbtn.h>

// One line of a skin's "Controls" section: button number and top-left corner.
struct SkinControlEntry {
  std::int32_t number = 0;
  std::int32_t left = 0;
  std::int32_t top = 0;
};

// Limits of what a skin may hold; a skin beyond them is refused as a whole.
inline constexpr int kMaxSkinEntries = 1000;
inline constexpr int kMaxFaceRows = 1600;

class TfrmMain : public TForm {
 public:
  explicit TfrmMain(TComponent* owner);
  std::string ClassName() const override { return "TfrmMain"; }

  TImage* Image1;
  TImageList* ImageList_Ctrl[10];
  TTransparentButton* Button_Ctrl[10];
  TPopupMenu* PopupMenu1;
  TMenuItem* pupKorvex;
  TMenuItem* Ripper1;
  TMenuItem* DVDtoDivX1;
  TMenuItem* DVDtoAVI1;
  TMenuItem* DVDtoVCD1;
  TMenuItem* DVDtoSVCD1;
  TMenuItem* N1;
  TMenuItem* pupHomePage;
  TMenuItem* N4;
  TMenuItem* pupSelectSkin;
  TMenuItem* About1;
  TMenuItem* pupAbout;
  TMenuItem* N5;
  TMenuItem* Exit1;

  // Button n (1 to 10) and its image list.
  TTransparentButton* Button(int n) const { return Button_Ctrl[n - 1]; }
  TImageList* ImageList(int n) const { return ImageList_Ctrl[n - 1]; }
  int SkinIndex() const { return FSkinIndex; }

  void FormCreate(TObject* sender);
  void Button_Ctrl1Click(TObject* sender);
  void Button_Ctrl2Click(TObject* sender);
  void Button_Ctrl3Click(TObject* sender);
  void Button_Ctrl4Click(TObject* sender);
  void Button_Ctrl5Click(TObject* sender);
  void Button_Ctrl6Click(TObject* sender);
  void Button_Ctrl7Click(TObject* sender);
  void Button_Ctrl8Click(TObject* sender);
  void Button_Ctrl9Click(TObject* sender);
  void Button_Ctrl10Click(TObject* sender);
  void Image1MouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void Image1MouseMove(TObject* sender, TShiftState shift, int x, int y);
  void Image1MouseUp(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void pupKorvexMeasureItem(TObject* sender, TCanvas* canvas, int& width, int& height);
  void pupKorvexDrawItem(TObject* sender, TCanvas* canvas, TRect rect, bool selected);
  void N1DrawItem(TObject* sender, TCanvas* canvas, TRect rect, bool selected);
  void pupAboutClick(TObject* sender);
  void pupHomePageClick(TObject* sender);

  // Presets the options dialog for an output kind (0 VCD, 1 SVCD, 2 AVI), shows it and
  // starts the conversion when the user confirms.
  void StartConversionMode(int kind, bool divx);

  // --- Skins ---
  // Applies the skin in SkinFolder; false when there is no such folder, or when the
  // skin was refused with a message that names the file at fault (the window keeps
  // the skin it had).
  bool ApplySkin();
  // Makes skin n the skin in force when it applies; otherwise the skin in force stays.
  bool UseSkin(int n);
  void ShapeWindowFromFace();
  void ClearSkinImageLists();
  void BuildSkinMenu();
  void SkinItemMeasure(TObject* sender, TCanvas* canvas, int& width, int& height);
  void SkinItemDraw(TObject* sender, TCanvas* canvas, TRect rect, bool selected);
  void SkinItemClick(TObject* sender);
  // Moves SkinFolder and SkinIndex to the next skin folder (back to the first after
  // the last); the caller applies it and stores its number once it is shown.
  bool SelectNextSkin();

 private:
  int FSkinIndex = 0;
  bool FDragging = false;
  int FDragStartX = 0;
  int FDragStartY = 0;
};

extern "C" {
extern TfrmMain* frmMain;
}

// Full path of the current skin folder.
extern std::string SkinFolder;

// The path of skin folder n beside the program.
std::string SkinFolderPath(int n);
// The entries of a skin's "Controls" section in file order; lines without '=' or
// without ',' after it are skipped.
std::vector<SkinControlEntry> ReadSkinControls(const std::string& path);
// False for a line that lacks '=' or a ',' after it.
bool ParseControlLine(const std::string& line, SkinControlEntry* entry);
// At most the first 79 characters of text, ended at the first ch.
std::string TextBeforeChar(const std::string& text, char ch);
// The outline of a face picture: the left edge point of each row down, then the right
// edge points back up (2H points); magenta (0xFF00FF) is outside.
std::vector<POINT> FaceOutline(TBitmap* face);
// The window region of a face picture (the caller owns it).
HRGN FaceRegion(TBitmap* face);
// The address the home-page button opens: the README installed beside the program.
std::string HomePageAddress();

extern "C" {
void Main_Initialization();
void Main_Finalization();
}
