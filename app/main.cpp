#include "main.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <set>

#include <ksini.h>
#include <vcl/winuser.h>
#include <win32/profile.h>
#include <win32/region.h>
#include <win32/shell.h>

#include "about.h"
#include "convert.h"
#include "interface.h"
#include "option.h"

TfrmMain* frmMain = nullptr;

std::string SkinFolder;

namespace {

int g_unit_counter = 0;

constexpr std::uint32_t kMagenta = 0xFF00FF;

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

bool IsFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

void WriteSkinIndex(int n) {
  KsIni* ini = NEW_KSINI();
  ini->Open("config.ini");
  ini->WriteString("Index", std::to_string(n).c_str());
  ini->Release();
}

// A skin that cannot be used is refused whole; the window keeps what it shows. `file`
// is the skin's file at fault, named so that the user can mend or remove it.
bool RefuseSkin(HWND owner, const std::string& file, const std::string& why) {
  std::string text = "The skin in " + SkinFolder + " cannot be used: " + file + ": " + why;
  MessageBoxA(owner, text.c_str(), "Error", MB_ICONERROR);
  return false;
}

// Why a file of a skin cannot be read as a picture before trying, or "".
std::string MissingPicture(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) return "there is no such file.";
  if (!std::filesystem::is_regular_file(status)) return "it is not a regular file.";
  return {};
}

// A button of the layout must lie where a window can be: no screen shows more.
bool FitsOnScreen(std::int64_t left, std::int64_t top, std::int64_t width, std::int64_t height) {
  return left >= -kMaxFormExtent && top >= -kMaxFormExtent && left + width <= kMaxFormExtent &&
         top + height <= kMaxFormExtent;
}

std::int32_t SaturatedInt32(long value) {
  return static_cast<std::int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

struct LoadedStrip {
  SkinControlEntry entry;
  TImageList* list;
  TTransparentButton* button;
  std::unique_ptr<TBitmap> bitmap;
};

}  // namespace

std::string SkinFolderPath(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "/SKIN%d", n);
  return std::string(GetModulePath()) + name;
}

std::string HomePageAddress() { return std::string(GetModulePath()) + "/README.md"; }

// The settings of the form resource.
TfrmMain::TfrmMain(TComponent* owner) : TForm(owner) {
  SetAutoSize(true);
  SetBorderStyle(bsNone);
  SetBorderIcons(TBorderIcons{});
  SetCaption("Korvex Quillmere");
  SetClientWidth(513);
  SetClientHeight(233);
  SetPosition(poDesktopCenter);
  SetColor(clBtnFace);
  Font()->SetName("MS Sans Serif");
  Font()->SetHeight(-11);

  PopupMenu1 = new TPopupMenu(this);
  PopupMenu1->SetName("PopupMenu1");
  PopupMenu1->SetOwnerDraw(true);
  SetPopupMenu(PopupMenu1);

  Image1 = new TImage(this);
  Image1->SetName("Image1");
  Image1->SetParent(this);
  Image1->SetBounds(0, 0, 513, 233);
  Image1->SetAutoSize(true);
  Image1->SetPopupMenu(PopupMenu1);
  Image1->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    Image1MouseDown(s, b, sh, x, y);
  };
  Image1->OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { Image1MouseMove(s, sh, x, y); };
  Image1->OnMouseUp = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    Image1MouseUp(s, b, sh, x, y);
  };

  struct Place {
    int left, top;
    const char* hint;
    void (TfrmMain::*click)(TObject*);
  };
  static const Place kPlaces[10] = {
      {344, 8, "Min", &TfrmMain::Button_Ctrl1Click},
      {392, 8, "Next Skin", &TfrmMain::Button_Ctrl2Click},
      {440, 8, "Close", &TfrmMain::Button_Ctrl3Click},
      {48, 88, "DVD to DivX", &TfrmMain::Button_Ctrl4Click},
      {96, 88, "DVD to AVI", &TfrmMain::Button_Ctrl5Click},
      {152, 88, "DVD to VCD", &TfrmMain::Button_Ctrl6Click},
      {208, 88, "DVD to SVCD", &TfrmMain::Button_Ctrl7Click},
      {152, 152, "Menu", &TfrmMain::Button_Ctrl8Click},
      {240, 152, "", &TfrmMain::Button_Ctrl9Click},
      {336, 152, "Help", &TfrmMain::Button_Ctrl10Click},
  };
  for (int i = 0; i < 10; ++i) {
    ImageList_Ctrl[i] = new TImageList(this);
    ImageList_Ctrl[i]->SetName("ImageList_Ctrl" + std::to_string(i + 1));
  }
  for (int i = 0; i < 10; ++i) {
    TTransparentButton* b = new TTransparentButton(this);
    b->SetName("Button_Ctrl" + std::to_string(i + 1));
    b->SetParent(this);
    b->SetBounds(kPlaces[i].left, kPlaces[i].top, 40, 40);
    b->SetThreeState(false);
    b->SetNumGlyphs(3);
    b->SetBorderWidth(0);
    b->Setimageindex(0);
    b->SetImageList(ImageList_Ctrl[i]);
    b->SetParentShowHint(false);
    b->SetShowHint(true);
    b->SetHint(kPlaces[i].hint);
    auto click = kPlaces[i].click;
    b->OnClick = [this, click](TObject* s) { (this->*click)(s); };
    Button_Ctrl[i] = b;
  }

  auto item = [this](TMenuItem* parent, const char* name, const char* caption) {
    TMenuItem* m = new TMenuItem(PopupMenu1);
    m->SetName(name);
    m->SetCaption(caption);
    parent->Add(m);
    return m;
  };
  TMenuItem* root = PopupMenu1->Items();
  pupKorvex = item(root, "pupKorvex", "");
  pupKorvex->SetEnabled(false);
  pupKorvex->OnMeasureItem = [this](TObject* s, TCanvas* c, int& w, int& h) { pupKorvexMeasureItem(s, c, w, h); };
  pupKorvex->OnDrawItem = [this](TObject* s, TCanvas* c, TRect r, bool sel) { pupKorvexDrawItem(s, c, r, sel); };
  Ripper1 = item(root, "Ripper1", "Ripper");
  Ripper1->SetBreak(mbBreak);
  DVDtoDivX1 = item(Ripper1, "DVDtoDivX1", "DVD to DivX");
  DVDtoDivX1->OnClick = [this](TObject* s) { Button_Ctrl4Click(s); };
  DVDtoAVI1 = item(Ripper1, "DVDtoAVI1", "DVD to AVI");
  DVDtoAVI1->OnClick = [this](TObject* s) { Button_Ctrl5Click(s); };
  DVDtoVCD1 = item(Ripper1, "DVDtoVCD1", "DVD to VCD");
  DVDtoVCD1->OnClick = [this](TObject* s) { Button_Ctrl6Click(s); };
  DVDtoSVCD1 = item(Ripper1, "DVDtoSVCD1", "DVD to SVCD");
  DVDtoSVCD1->OnClick = [this](TObject* s) { Button_Ctrl7Click(s); };
  auto separator = [this](TObject* s, TCanvas* c, TRect r, bool sel) { N1DrawItem(s, c, r, sel); };
  N1 = item(root, "N1", "-");
  N1->SetEnabled(false);
  N1->AutoLineReduction = maManual;
  N1->OnDrawItem = separator;
  pupHomePage = item(root, "pupHomePage", "HomePage");
  pupHomePage->OnClick = [this](TObject* s) { pupHomePageClick(s); };
  N4 = item(root, "N4", "-");
  N4->OnDrawItem = separator;
  pupSelectSkin = item(root, "pupSelectSkin", "SelectSkin   ");
  About1 = item(root, "About1", "Help");
  About1->OnClick = [this](TObject* s) { Button_Ctrl10Click(s); };
  pupAbout = item(root, "pupAbout", "About");
  pupAbout->OnClick = [this](TObject* s) { pupAboutClick(s); };
  N5 = item(root, "N5", "-");
  N5->OnDrawItem = separator;
  Exit1 = item(root, "Exit1", "Exit");
  Exit1->OnClick = [this](TObject* s) { Button_Ctrl3Click(s); };

  OnCreate = [this](TObject* s) { FormCreate(s); };
}

void TfrmMain::FormCreate(TObject*) {
  Button(9)->SetHint("Homepage");
  char text[10] = {};
  KsIni* ini = NEW_KSINI();
  ini->Open("config.ini");
  ini->ReadString("Index", "0", text, 9);
  ini->Release();
  int n = int(std::atol(text));
  SkinFolder = SkinFolderPath(n);
  FSkinIndex = n;
  if (!ApplySkin()) {
    // The stored skin cannot be shown (it was said why when it is there but broken):
    // the first skin that loads takes its place.
    for (int i = 0; IsDirectory(SkinFolderPath(i)); ++i)
      if (i != n && UseSkin(i)) break;
  }
  BuildSkinMenu();
}

// --- Buttons and menu ------------------------------------------------------------------

void TfrmMain::Button_Ctrl1Click(TObject*) { Perform(WM_SYSCOMMAND, SC_MINIMIZE, 0); }

void TfrmMain::Button_Ctrl2Click(TObject*) {
  // Skins that cannot be used are said and passed over; the number is stored only
  // for a skin that is shown, so a broken skin is never the one the next start finds.
  const int shown = FSkinIndex;
  const std::string shownFolder = SkinFolder;
  std::set<int> tried{shown};
  while (SelectNextSkin() && tried.insert(FSkinIndex).second) {
    if (ApplySkin()) {
      WriteSkinIndex(FSkinIndex);
      return;
    }
  }
  FSkinIndex = shown;
  SkinFolder = shownFolder;
}

void TfrmMain::Button_Ctrl3Click(TObject*) { Close(); }
void TfrmMain::Button_Ctrl4Click(TObject*) { StartConversionMode(okAVI, true); }
void TfrmMain::Button_Ctrl5Click(TObject*) { StartConversionMode(okAVI, false); }
void TfrmMain::Button_Ctrl6Click(TObject*) { StartConversionMode(okVCD, false); }
void TfrmMain::Button_Ctrl7Click(TObject*) { StartConversionMode(okSVCD, false); }

void TfrmMain::Button_Ctrl8Click(TObject*) {
  POINT p{};
  GetCursorPos(&p);
  PopupMenu1->Popup(p.x, p.y);
}

void TfrmMain::Button_Ctrl9Click(TObject*) {
  ShellExecuteA(nullptr, "Open", HomePageAddress().c_str(), nullptr, nullptr, SW_SHOW);
}

void TfrmMain::Button_Ctrl10Click(TObject*) {
  std::string help = std::string(GetModulePath()) + "/help.chm";
  ShellExecuteA(nullptr, "Open", help.c_str(), nullptr, nullptr, SW_SHOW);
}

void TfrmMain::pupHomePageClick(TObject* sender) { Button_Ctrl9Click(sender); }

void TfrmMain::pupAboutClick(TObject*) { AboutBox->ShowModal(); }

void TfrmMain::StartConversionMode(int kind, bool divx) {
  TfrmOption* opt = frmOption;
  // Back to the first drive, reopening its disc when another one was open, so that
  // the list and the lists filled from the disc agree.
  if (opt->cmbDisk->Items()->Count() > 0) opt->SelectDrive(0);
  opt->FDivX = false;
  opt->cmbCodec->SetEnabled(false);
  if (kind == okAVI) {
    if (divx) opt->FDivX = true;
    opt->radioAVIClick(opt->radioAVI);
    opt->radioAVI->SetChecked(true);
    opt->cmbCodec->SetEnabled(true);
  } else if (kind == okVCD) {
    opt->radioVCD->SetChecked(true);
    opt->radioVCDClick(opt->radioVCD);
  } else {
    opt->radioSVCD->SetChecked(true);
    opt->radioSVCDClick(opt->radioSVCD);
  }
  if (divx) {
    opt->SelectDivXCodec(Handle());
  } else if (kind == okAVI) {
    if (!opt->SelectCodecPrefix("Intel")) opt->SelectCodecPrefix("Indeo");
  }
  if (opt->ShowModal() == mrOk) {
    frmConvert->Show();
    frmConvert->btnPlayClick(frmConvert);
  }
}

void TfrmMain::pupKorvexMeasureItem(TObject*, TCanvas*, int& width, int& height) {
  width = 6;
  height = 6 * height + 24;
}

void TfrmMain::pupKorvexDrawItem(TObject*, TCanvas* canvas, TRect rect, bool) {
  int h = rect.Height(), w = rect.Width();
  int i = h / 255;
  for (int n = h; n >= 1; --n) {
    int c = (255 - i) & 255;
    canvas->Brush()->SetColor(RGB(c, c, 255));
    canvas->FillRect(TRect(0, n - 1, w, n));
    if (i < 255) ++i;
  }
  canvas->Brush()->SetStyle(bsClear);
  canvas->Font()->SetSize(10);
  canvas->Font()->SetColor(TColor(3838));
  canvas->Font()->SetOrientation(900);  // the text runs upward
  canvas->TextOut(rect.Left + 2, rect.Bottom - 3, "Korvex Quillmere");
  canvas->Font()->SetOrientation(0);
}

void TfrmMain::N1DrawItem(TObject*, TCanvas* canvas, TRect rect, bool) {
  canvas->Pen()->SetColor(clBlack);
  canvas->MoveTo(rect.Left, rect.Top + 2);
  canvas->LineTo(rect.Right, rect.Top + 2);
  canvas->Pen()->SetColor(TColor(0xFFFFFF));
  canvas->MoveTo(rect.Left, rect.Top + 3);
  canvas->LineTo(rect.Right, rect.Top + 3);
}

// --- Dragging by the picture -------------------------------------------------------------

void TfrmMain::Image1MouseDown(TObject*, TMouseButton button, TShiftState, int x, int y) {
  if (button != mbLeft) return;
  FDragging = true;
  FDragStartX = x;
  FDragStartY = y;
}

void TfrmMain::Image1MouseMove(TObject*, TShiftState shift, int x, int y) {
  if (!shift.Contains(ssLeft) || !FDragging) return;
  SetLeft(Left() + x - FDragStartX);
  SetTop(Top() + y - FDragStartY);
}

void TfrmMain::Image1MouseUp(TObject*, TMouseButton, TShiftState, int, int) { FDragging = false; }

// --- Skins -------------------------------------------------------------------------------

std::string TextBeforeChar(const std::string& text, char ch) {
  std::string head = text.substr(0, 79);
  size_t at = head.find(ch);
  return at == std::string::npos ? head : head.substr(0, at);
}

bool ParseControlLine(const std::string& line, SkinControlEntry* entry) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  std::string rest = line.substr(eq + 1);
  size_t comma = rest.find(',');
  if (comma == std::string::npos) return false;
  // Numbers beyond 32 bits stay beyond them instead of wrapping round to a small,
  // plausible place.
  entry->number = SaturatedInt32(std::atol(TextBeforeChar(line, '=').c_str()));
  entry->left = SaturatedInt32(std::atol(TextBeforeChar(rest, ',').c_str()));
  entry->top = SaturatedInt32(std::atol(rest.c_str() + comma + 1));
  return true;
}

std::vector<SkinControlEntry> ReadSkinControls(const std::string& path) {
  // A section of any length: grow the buffer until the list is not cut.
  std::vector<char> buffer(10000);
  for (;;) {
    DWORD n = GetPrivateProfileSectionA("Controls", buffer.data(), DWORD(buffer.size()), path.c_str());
    if (n + 2 < buffer.size()) break;
    buffer.assign(buffer.size() * 2, '\0');
  }
  std::vector<SkinControlEntry> entries;
  for (const char* line = buffer.data(); *line; line += std::strlen(line) + 1) {
    SkinControlEntry e;
    if (ParseControlLine(line, &e)) entries.push_back(e);
  }
  return entries;
}

void TfrmMain::ClearSkinImageLists() {
  for (int k = 1; k <= 11; ++k)
    if (auto* list = dynamic_cast<TCustomImageList*>(FindComponent("ImageList_Ctrl" + std::to_string(k))))
      list->Clear();
}

bool TfrmMain::ApplySkin() {
  // A folder that is not there is no skin: nothing to say. Everything else is read
  // and checked first, so that a skin that cannot be used leaves the window as it was.
  if (!IsDirectory(SkinFolder)) return false;
  const std::string facePath = SkinFolder + "//face.bmp";
  if (std::string why = MissingPicture(facePath); !why.empty()) return RefuseSkin(Handle(), "face.bmp", why);
  std::string file = "face.bmp";  // the file being read, named when it fails
  auto face = std::make_unique<TBitmap>();
  std::vector<LoadedStrip> strips;
  try {
    face->LoadFromFile(facePath);
    if (face->Height() > kMaxFaceRows)
      return RefuseSkin(Handle(), file, "the picture is taller than " + std::to_string(kMaxFaceRows) + " rows.");
    if (face->Width() > kMaxFormExtent)
      return RefuseSkin(Handle(), file,
                        "the picture is wider than " + std::to_string(kMaxFormExtent) +
                            " columns, more than a screen shows.");
    file = "skin.ini";
    std::vector<SkinControlEntry> entries = ReadSkinControls(SkinFolder + "//skin.ini");
    if (entries.size() > size_t(kMaxSkinEntries))
      return RefuseSkin(Handle(), file, "the layout has more than " + std::to_string(kMaxSkinEntries) + " lines.");
    for (const SkinControlEntry& e : entries) {
      std::string number = std::to_string(e.number);
      auto* list = dynamic_cast<TImageList*>(FindComponent("ImageList_ctrl" + number));
      auto* button = dynamic_cast<TTransparentButton*>(FindComponent("Button_ctrl" + number));
      if (!list || !button) continue;
      const std::string place = "button " + number + " at " + std::to_string(e.left) + "," + std::to_string(e.top);
      file = "skin.ini";
      if (!FitsOnScreen(e.left, e.top, 0, 0))
        return RefuseSkin(Handle(), file, place + " lies outside what a screen can show.");
      file = e.number == 9 ? "ctrl9_2.bmp" : "ctrl" + number + ".bmp";
      const std::string stripPath = SkinFolder + "//" + file;
      if (std::string why = MissingPicture(stripPath); !why.empty()) return RefuseSkin(Handle(), file, why);
      auto bitmap = std::make_unique<TBitmap>();
      bitmap->LoadFromFile(stripPath);
      if (bitmap->Width() < 4)
        return RefuseSkin(Handle(), file, "the picture strip of button " + number + " is narrower than 4 pixels.");
      if (!FitsOnScreen(e.left, e.top, bitmap->Width() / 4, bitmap->Height()))
        return RefuseSkin(Handle(), file, "the picture of " + place + " reaches beyond what a screen can show.");
      strips.push_back({e, list, button, std::move(bitmap)});
    }
  } catch (const Exception& e) {
    return RefuseSkin(Handle(), file, e.Message);
  } catch (const std::bad_alloc&) {
    return RefuseSkin(Handle(), file, "there is not enough memory to read it.");
  }

  Image1->Picture()->SetBitmap(face.get());
  Image1->SetAutoSize(true);
  ClearSkinImageLists();
  for (LoadedStrip& s : strips) {
    s.list->SetHeight(s.bitmap->Height());
    s.list->SetWidth(s.bitmap->Width() / 4);
    s.list->AddMasked(s.bitmap.get(), TColor(0xFF00FF));
    // Size and place in one step: each change of a button re-fits the window.
    s.button->SetBounds(s.entry.left, s.entry.top, s.list->Width(), s.list->Height());
    s.button->SetTransparent(true);
  }
  ShapeWindowFromFace();
  return true;
}

bool TfrmMain::UseSkin(int n) {
  const int shown = FSkinIndex;
  const std::string shownFolder = SkinFolder;
  FSkinIndex = n;
  SkinFolder = SkinFolderPath(n);
  if (ApplySkin()) return true;
  FSkinIndex = shown;
  SkinFolder = shownFolder;
  return false;
}

std::vector<POINT> FaceOutline(TBitmap* face) {
  int W = face->Width(), H = face->Height();
  std::vector<POINT> points(size_t(2) * size_t(H), POINT{0, 0});
  for (int y = 0; y < H; ++y) {
    const std::uint32_t* row = face->ScanLine(y);
    POINT left{0, 0}, right{0, 0};
    int x = 0;
    while (x < W && (row[x] & 0xFFFFFF) == kMagenta) ++x;
    if (x < W) left = POINT{x, y};
    else if (y > 0) left = points[size_t(y - 1)];
    x = W - 1;
    while (x >= 0 && (row[x] & 0xFFFFFF) == kMagenta) --x;
    if (x >= 0) right = POINT{x, y};
    else if (y > 0) right = points[size_t(2 * H - y)];
    points[size_t(y)] = left;
    points[size_t(2 * H - 1 - y)] = right;
  }
  return points;
}

HRGN FaceRegion(TBitmap* face) {
  int W = face->Width(), H = face->Height();
  HRGN region = CreateRectRgn(0, 0, W, H);
  if (H == 0) return region;
  std::vector<POINT> outline = FaceOutline(face);
  // Magenta inside a row's edges is cut out; runs of it go at once (the same pixels
  // as one by one, since the runs are disjoint).
  for (int y = 0; y < H; ++y) {
    const std::uint32_t* row = face->ScanLine(y);
    int from = outline[size_t(y)].x, to = outline[size_t(2 * H - 1 - y)].x;
    for (int x = std::max(from, 0); x < to && x < W;) {
      if ((row[x] & 0xFFFFFF) != kMagenta) {
        ++x;
        continue;
      }
      int end = x;
      while (end < to && end < W && (row[end] & 0xFFFFFF) == kMagenta) ++end;
      HRGN hole = CreateRectRgn(x, y, end, y + 1);
      CombineRgn(region, region, hole, RGN_XOR);
      DeleteObject(hole);
      x = end;
    }
  }
  HRGN polygon = CreatePolygonRgn(outline.data(), int(outline.size()), ALTERNATE);
  CombineRgn(region, region, polygon, RGN_AND);
  DeleteObject(polygon);
  return region;
}

void TfrmMain::ShapeWindowFromFace() {
  HRGN region = FaceRegion(Image1->Picture()->Bitmap());
  SetWindowRgn(Handle(), region, TRUE);  // the window owns the region from now on
}

void TfrmMain::BuildSkinMenu() {
  for (int i = 0; IsDirectory(SkinFolderPath(i)); ++i) {
    TMenuItem* item = new TMenuItem(PopupMenu1);
    item->OnClick = [this](TObject* s) { SkinItemClick(s); };
    item->OnMeasureItem = [this](TObject* s, TCanvas* c, int& w, int& h) { SkinItemMeasure(s, c, w, h); };
    item->OnDrawItem = [this](TObject* s, TCanvas* c, TRect r, bool sel) { SkinItemDraw(s, c, r, sel); };
    pupSelectSkin->Add(item);
    if (i > 0) {
      TMenuItem* line = new TMenuItem(PopupMenu1);
      line->SetCaption("-");
      pupSelectSkin->Insert(pupSelectSkin->IndexOf(item), line);
    }
  }
}

void TfrmMain::SkinItemMeasure(TObject*, TCanvas*, int& width, int& height) {
  width = 137;
  height = 35;
}

void TfrmMain::SkinItemDraw(TObject* sender, TCanvas* canvas, TRect rect, bool) {
  int i = pupSelectSkin->IndexOf(static_cast<TMenuItem*>(sender)) / 2;
  std::string path = SkinFolderPath(i) + "/face.bmp";
  if (!IsFile(path)) return;
  TBitmap thumb;
  try {
    thumb.LoadFromFile(path);
  } catch (const Exception&) {
    return;  // a broken picture shows no thumbnail; the menu still works
  }
  // Magenta is outside the window; it has no place in the thumbnail either. It becomes the
  // canvas brush's white, which the thumbnail leaves transparent.
  TBitmap flat(thumb.Width(), thumb.Height());
  flat.Canvas()->Brush()->SetColor(clWhite);
  flat.Canvas()->FillRect(TRect(0, 0, thumb.Width(), thumb.Height()));
  thumb.SetTransparentColor(TColor(kMagenta));
  thumb.SetTransparent(true);
  flat.Canvas()->Draw(0, 0, &thumb);
  flat.SetTransparentColor(flat.Canvas()->Brush()->Color());
  flat.SetTransparent(true);
  canvas->StretchDraw(rect, &flat);
}

void TfrmMain::SkinItemClick(TObject* sender) {
  int i = pupSelectSkin->IndexOf(static_cast<TMenuItem*>(sender)) / 2;
  if (!IsDirectory(SkinFolderPath(i))) return;
  if (UseSkin(i)) WriteSkinIndex(i);
}

bool TfrmMain::SelectNextSkin() {
  int n = FSkinIndex + 1;
  std::string candidate = SkinFolderPath(n);
  if (IsDirectory(candidate)) {
    FSkinIndex = n;
    SkinFolder = candidate;
  } else {
    FSkinIndex = 0;
    SkinFolder = SkinFolderPath(0);
  }
  return true;
}

void Main_Initialization() {
  if (g_unit_counter-- == 0) SkinFolder.clear();
}

void Main_Finalization() {
  if (++g_unit_counter == 0) std::string().swap(SkinFolder);
}
