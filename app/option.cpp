#include "option.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <unistd.h>

#include <com/strings.h>
#include <ksini.h>
#include <outside/encoders.h>
#include <win32/drives.h>

TfrmOption* frmOption = nullptr;

namespace {

int g_unit_counter = 0;

const char kMpegFilter[] = "MPEG Files(*.MPG)|*.MPG";
const char kAviFilter[] = "AVI Files(*.AVI)|*.AVI";
const char kNoDivX[] = "You have not intalled the divx or xvid code for video compression";

template <class T>
T* Make(TComponent* owner, TWinControl* parent, int left, int top, int width, int height) {
  T* c = new T(owner);
  c->SetParent(parent);
  c->SetBounds(left, top, width, height);
  return c;
}

TLabel* MakeLabel(TComponent* owner, TWinControl* parent, int left, int top, const char* caption) {
  TLabel* l = Make<TLabel>(owner, parent, left, top, 80, 13);
  l->SetCaption(caption);
  return l;
}

TsuiComboBox* MakeList(TComponent* owner, TWinControl* parent, int left, int top, int width,
                       std::initializer_list<const char*> items, int chosen) {
  TsuiComboBox* c = Make<TsuiComboBox>(owner, parent, left, top, width, 21);
  c->SetUIStyle(TsuiUIStyle::DeepBlue);
  c->SetStyle(csDropDownList);
  for (const char* s : items) c->Items()->Add(s);
  if (chosen >= 0) c->SetItemIndex(chosen);
  return c;
}

TsuiRadioButton* MakeRadio(TComponent* owner, TWinControl* parent, int left, int top, int width, int height) {
  TsuiRadioButton* r = Make<TsuiRadioButton>(owner, parent, left, top, width, height);
  r->SetUIStyle(TsuiUIStyle::DeepBlue);
  r->SetTabStop(true);
  return r;
}

TsuiCheckBox* MakeCheck(TComponent* owner, TWinControl* parent, int left, int top, int width, int height) {
  TsuiCheckBox* c = Make<TsuiCheckBox>(owner, parent, left, top, width, height);
  c->SetUIStyle(TsuiUIStyle::DeepBlue);
  c->SetTabStop(true);
  return c;
}

// Restores the dialog's cursor when a browsing step ends, however it ends.
class HourGlass {
 public:
  explicit HourGlass(TControl* control) : control_(control), saved_(control->Cursor()) {
    control_->SetCursor(crHourGlass);
  }
  ~HourGlass() { control_->SetCursor(saved_); }
  HourGlass(const HourGlass&) = delete;
  HourGlass& operator=(const HourGlass&) = delete;

 private:
  TControl* control_;
  TCursor saved_;
};

// Text of a BSTR that a server hands out, freed here.
std::string TakeName(const std::function<HRESULT(BSTR*)>& call) {
  Bstr name;
  if (call(name.put()) < 0) return {};
  return name.Utf8();
}

}  // namespace

// The settings of the form resource.
TfrmOption::TfrmOption(TComponent* owner) : TForm(owner) {
  SetBorderStyle(bsDialog);
  SetCaption("Options");
  SetClientWidth(532);
  SetClientHeight(543);
  SetPosition(poDesktopCenter);

  grpCommon = Make<TGroupBox>(this, this, 8, 4, 516, 108);
  grpCommon->SetCaption("Common");
  lblDisk = MakeLabel(this, grpCommon, 12, 22, "DVD-ROM");
  cmbDisk = MakeList(this, grpCommon, 80, 18, 200, {}, -1);
  cmbDisk->OnChange = [this](TObject* s) { cmbDiskChange(s); };
  lblOutput = MakeLabel(this, grpCommon, 12, 52, "Output");
  edtOutput = Make<TEdit>(this, grpCommon, 80, 48, 396, 21);
  btnSave = Make<TSpeedButton>(this, grpCommon, 480, 48, 24, 21);
  btnSave->SetCaption("...");
  btnSave->SetHint("Select output file");
  btnSave->SetShowHint(true);
  btnSave->OnClick = [this](TObject* s) { btnSaveClick(s); };
  radioVCD = MakeRadio(this, grpCommon, 80, 80, 70, 17);
  radioVCD->SetCaption("VCD");
  radioVCD->SetChecked(true);
  radioSVCD = MakeRadio(this, grpCommon, 160, 80, 70, 17);
  radioSVCD->SetCaption("SVCD");
  radioAVI = MakeRadio(this, grpCommon, 240, 80, 70, 17);
  radioAVI->SetCaption("AVI");
  radioVCD->OnClick = [this](TObject* s) { radioVCDClick(s); };
  radioSVCD->OnClick = [this](TObject* s) { radioSVCDClick(s); };
  radioAVI->OnClick = [this](TObject* s) { radioAVIClick(s); };

  grpCodec = Make<TGroupBox>(this, this, 8, 116, 516, 50);
  grpCodec->SetCaption("Video Codec");
  cmbCodec = MakeList(this, grpCodec, 12, 18, 492, {}, -1);
  cmbCodec->OnChange = [this](TObject* s) { cmbCodecChange(s); };

  grpSettings = Make<TGroupBox>(this, this, 8, 170, 516, 330);
  grpSettings->SetCaption("Settings");
  lblBitrate = MakeLabel(this, grpSettings, 12, 22, "Bitrate");
  edtBitrate = Make<TEdit>(this, grpSettings, 100, 18, 150, 21);
  edtBitrate->SetText("1150");
  edtBitrate->OnKeyPress = [this](TObject* s, char& k) { edtBitrateKeyPress(s, k); };
  lblWidth = MakeLabel(this, grpSettings, 12, 48, "Width");
  edtWidth = Make<TEdit>(this, grpSettings, 100, 44, 150, 21);
  edtWidth->SetText("352");
  edtWidth->OnKeyPress = [this](TObject* s, char& k) { edtWidthKeyPress(s, k); };
  lblHeight = MakeLabel(this, grpSettings, 12, 74, "Height");
  edtHeight = Make<TEdit>(this, grpSettings, 100, 70, 150, 21);
  edtHeight->SetText("240");
  edtHeight->OnKeyPress = [this](TObject* s, char& k) { edtHeightKeyPress(s, k); };
  lblAudio = MakeLabel(this, grpSettings, 12, 100, "Audio");
  cmbAudio = MakeList(this, grpSettings, 100, 96, 150,
                      {"32", "48", "56", "64", "80", "96", "112", "128", "160", "192", "224", "256", "320", "384"}, 10);
  lblAudioDesc = MakeLabel(this, grpSettings, 12, 126, "AudioDesc");
  audioDesc = MakeList(this, grpSettings, 100, 122, 150, {}, -1);

  grpLame = Make<TGroupBox>(this, grpSettings, 8, 150, 246, 74);
  grpLame->SetCaption("Lame Settings");
  lblLameBitrate = MakeLabel(this, grpLame, 8, 22, "Bitrate");
  cmbBitrate = MakeList(this, grpLame, 92, 18, 146, {"80", "96", "112", "128", "160", "192", "224", "256", "320"}, 5);
  lblQuality = MakeLabel(this, grpLame, 8, 48, "Quality");
  cmbQuality = MakeList(this, grpLame, 92, 44, 146, {"1", "2", "3", "4", "5", "6", "7", "8"}, 2);

  // Its own parent, so that these two make a radio group apart from the output kinds.
  pnlRange = Make<TPanel>(this, grpSettings, 8, 228, 246, 24);
  pnlRange->SetBevelOuter(bvNone);
  radioDisk = MakeRadio(this, pnlRange, 4, 4, 80, 17);
  radioDisk->SetCaption("Disk");
  radioChapter = MakeRadio(this, pnlRange, 92, 4, 80, 17);
  radioChapter->SetCaption("Chapter");
  radioChapter->SetChecked(true);
  radioDisk->OnClick = [this](TObject* s) { radioDiskClick(s); };
  radioChapter->OnClick = [this](TObject* s) { radioChapterClick(s); };

  lblRate = MakeLabel(this, grpSettings, 12, 262, "Frame Rate");
  cmbRate = MakeList(this, grpSettings, 100, 258, 150, {"23.976(NTSC)", "24 ", "25 (PAL)", "29.97 (NTSC)", "30"}, 2);
  cmbRate->OnChange = [this](TObject* s) { cmbRateChange(s); };
  lblFileSize = MakeLabel(this, grpSettings, 12, 290, "File Size");
  edtFileSize = Make<TEdit>(this, grpSettings, 100, 286, 80, 21);
  edtFileSize->OnKeyPress = [this](TObject* s, char& k) { edtFileSizeKeyPress(s, k); };
  lblFileSizeUnit = MakeLabel(this, grpSettings, 184, 290, "M");
  lblFileSizeUnit->SetWidth(12);
  ckbForce = MakeCheck(this, grpSettings, 200, 288, 70, 17);
  ckbForce->SetCaption("Force24");

  lblTittle = MakeLabel(this, grpSettings, 266, 22, "Tittle");
  cmbTittle = MakeList(this, grpSettings, 354, 18, 150, {}, -1);
  cmbTittle->OnChange = [this](TObject* s) { cmbTittleChange(s); };
  lblProgChain = MakeLabel(this, grpSettings, 266, 48, "Program Chain");
  ProgChain = MakeList(this, grpSettings, 354, 44, 150, {}, -1);
  ProgChain->OnChange = [this](TObject* s) { ProgChainChange(s); };
  lblAngle = MakeLabel(this, grpSettings, 266, 74, "Angle");
  cmbAngle = MakeList(this, grpSettings, 354, 70, 150, {"1", "2", "3", "4", "5"}, 0);
  lblSubtitle = MakeLabel(this, grpSettings, 266, 100, "Subtitle");
  cmbSubtitle = MakeList(this, grpSettings, 354, 96, 150, {}, -1);
  lstChapter = Make<TsuiListBox>(this, grpSettings, 266, 126, 238, 192);
  lstChapter->SetMultiSelect(true);

  btnOk = Make<TBitBtn>(this, this, 340, 508, 85, 27);
  btnOk->SetKind(bkOK);
  btnOk->SetCaption("OK");
  btnOk->SetDefault(true);
  // OK closes only after its checks: the button itself sets no result.
  btnOk->SetModalResult(mrNone);
  btnOk->OnClick = [this](TObject* s) { btnOkClick(s); };
  btnCancel = Make<TBitBtn>(this, this, 437, 508, 85, 27);
  btnCancel->SetKind(bkCancel);

  SaveDialog1 = new TSaveDialog(this);
  SaveDialog1->DefaultExt = "MPG";
  SaveDialog1->Filter = kMpegFilter;

  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnDestroy = [this](TObject* s) { FormDestroy(s); };
}

TfrmOption::~TfrmOption() { FDvdInfo.Reset(); }

// --- Rules ------------------------------------------------------------------------

void MpegOutputSize(TOutputKind kind, int* rateIndex, int* width, int* height) {
  if (kind == okVCD) {
    // Film and NTSC rates keep the NTSC size; 24 and 30 are not VCD rates.
    if (*rateIndex == 0 || *rateIndex == 3) {
      *width = 352;
      *height = 240;
      return;
    }
    *rateIndex = 2;
    *width = 352;
    *height = 288;
    return;
  }
  if (*rateIndex == 3) {
    *width = 480;
    *height = 480;
    return;
  }
  *rateIndex = 2;
  *width = 480;
  *height = 576;
}

std::string OutputBaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart) return path;
  return path.substr(0, dot);
}

std::string OutputFolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ChapterLine(int number, std::int32_t start, std::int32_t end, double seconds) {
  // Sized by the text itself: server numbers of any length fit.
  const char* fmt = "Chapter %02d,%ld-----%ld  %.0fs";
  int n = std::snprintf(nullptr, 0, fmt, number, long(start), long(end), seconds);
  if (n <= 0) return {};
  std::vector<char> buf(size_t(n) + 1);
  std::snprintf(buf.data(), buf.size(), fmt, number, long(start), long(end), seconds);
  return std::string(buf.data(), size_t(n));
}

std::string AviSizeProblem(long width, long height) {
  // What the picture server's bitmap conversion takes, and nothing absurd.
  if (width < 16 || width > 4096 || width % 8 != 0)
    return "The value of 'Width' must be a multiple of 8 from 16 to 4096!";
  if (height < 4 || height > 4096 || height % 2 != 0)
    return "The value of 'Height' must be an even number from 4 to 4096!";
  return {};
}

void DigitFilter(char& key) {
  if (key != 8 && (key < '0' || key > '9')) key = 0;
}

std::string ReplaceQuestion(const std::string& path) {
  return "The file " + path + " already exists. Do you want to replace it?";
}

namespace {

bool FolderTakesFiles(const std::string& folder) {
  // Only making a file tells for sure: permissions, read-only mounts and file systems
  // that hold no files (root may write anywhere but there) all answer here.
  std::string probe = (folder.empty() ? std::string(".") : folder) + "/.KORVEX_Quillmere-XXXXXX";
  std::vector<char> name(probe.begin(), probe.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) return false;
  close(fd);
  unlink(name.data());
  return true;
}

}  // namespace

std::string OutputFolderProblem(const std::string& output) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path folder = fs::path(output).parent_path();
  if (folder.empty()) folder = fs::current_path(ec);
  const std::string named = folder.string();
  const fs::file_status status = fs::status(folder, ec);
  if (status.type() == fs::file_type::not_found)
    return "The folder " + named + " does not exist! Please select another file to output!";
  // Also a folder that cannot even be looked into, or a file in a folder's place.
  if (!fs::is_directory(status) || !FolderTakesFiles(named))
    return "The folder " + named + " can not be written! Please select another file to output!";
  return {};
}

bool IsDiscFile(const std::string& root, const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (path.empty() || !fs::exists(path, ec)) return false;
  for (const fs::directory_entry& file : fs::directory_iterator(VideoFolderOf(root), ec)) {
    // Device and inode: the same file through a link, a hard link or another path.
    std::error_code other;
    if (fs::equivalent(file.path(), path, other)) return true;
  }
  return false;
}

// --- DVD browsing -------------------------------------------------------------------

void TfrmOption::FormCreate(TObject*) {
  if (KsIni* ini = NEW_KSINI()) {
    ini->Open("config.ini");
    std::string stored = ini->ReadString("DefMediaPath", "");
    FBaseName = OutputFolderOf(stored);
    ini->Release();
  }
  // A folder that has gone since (a removed stick, a deleted folder) is not proposed:
  // the user's videos folder is, as at the first start.
  std::error_code ec;
  if (!FBaseName.empty() && !std::filesystem::is_directory(FBaseName, ec)) FBaseName.clear();
  if (FBaseName.empty()) FBaseName = UserVideosFolder();
  FBaseName += "KORVEX_Quillmere";

  for (const std::string& root : LogicalDrives())
    if (GetDriveTypeA(root.c_str()) == DRIVE_CDROM) cmbDisk->Items()->Add(root);

  cmbCodec->Clear();
  ComPtr<IAVIEncode> encoder;
  if (CoCreateInstance(CLSID_AVIEncode, nullptr, CLSCTX_ALL, IID_IAVIEncode, encoder.put_void()) >= 0 && encoder) {
    INT count = 0;
    if (encoder->GetCodecCount(&count) < 0) count = 0;
    for (INT i = 0; i < count; ++i) {
      std::string name = TakeName([&](BSTR* b) { return encoder->GetCodecName(i, b); });
      INT id = 0;
      encoder->GetCodecId(i, &id);
      int index = cmbCodec->Items()->Add(name);
      cmbCodec->Perform(CB_SETITEMDATA, WPARAM(index), LPARAM(id));
    }
  }
  if (cmbCodec->Items()->Count() > 0) {
    cmbCodec->SetItemIndex(0);
    cmbCodecChange(cmbCodec);
  }
  if (cmbDisk->Items()->Count() > 0) cmbDisk->SetItemIndex(0);
  cmbDiskChange(cmbDisk);
  encoder.Reset();
}

void TfrmOption::FormDestroy(TObject*) {
  // A field never filled (the dialog was not opened) must not wipe the folder the
  // user chose last time.
  if (edtOutput->Text().empty()) return;
  if (KsIni* ini = NEW_KSINI()) {
    ini->Open("config.ini");
    ini->WriteString("DefMediaPath", edtOutput->Text().c_str());
    ini->Release();
  }
}

void TfrmOption::SelectDrive(int index) {
  if (cmbDisk->ItemIndex() == index) return;
  cmbDisk->SetItemIndex(index);
  cmbDiskChange(cmbDisk);
}

void TfrmOption::cmbDiskChange(TObject*) {
  cmbTittle->Clear();
  int drive = cmbDisk->ItemIndex();
  if (drive < 0) return;
  HourGlass wait(this);
  if (!FDvdInfo) {
    if (CoCreateInstance(CLSID_DVDInfObj, nullptr, CLSCTX_ALL, IID_IDVDInfObj, FDvdInfo.put_void()) < 0 ||
        !FDvdInfo) {
      FDvdInfo.Reset();
      MessageBoxA(Handle(), "Can not Create the DVD Info Object!please re-install the software.", "Error",
                  MB_ICONERROR);
      return;
    }
  }
  Bstr folder = Bstr::FromPath(VideoFolderOf(cmbDisk->Items()->Get(drive)));
  if (FDvdInfo->OpenDvd(folder.get()) < 0) {
    cmbTittle->SetItemIndex(-1);
    cmbTittleChange(cmbTittle);
    return;
  }
  INT count = 0;
  if (FDvdInfo->GetTitleCount(&count) < 0) count = 0;
  for (INT i = 0; i < count; ++i)
    cmbTittle->Items()->Add(TakeName([&](BSTR* b) { return FDvdInfo->GetTitleName(i, b); }));
  cmbTittle->SetItemIndex(0);
  cmbTittleChange(cmbTittle);
  cmbRateChange(cmbRate);
}

void TfrmOption::cmbTittleChange(TObject*) {
  lstChapter->Clear();
  cmbSubtitle->Clear();
  ProgChain->Clear();
  audioDesc->Clear();
  int title = cmbTittle->ItemIndex();
  if (title < 0 || !FDvdInfo) return;
  HourGlass wait(this);
  FDvdInfo->SelectTitle(title);
  INT value = 0;
  FDvdInfo->QueryTitle(title, &value);
  INT chains = 0;
  if (FDvdInfo->GetProgramChainCount(title, &chains) < 0) chains = 0;
  for (INT i = 0; i < chains; ++i)
    ProgChain->Items()->Add(TakeName([&](BSTR* b) { return FDvdInfo->GetProgramChainName(i, b); }));
  ProgChain->SetItemIndex(0);
  ProgChainChange(ProgChain);
}

void TfrmOption::ProgChainChange(TObject*) {
  lstChapter->Clear();
  cmbSubtitle->Clear();
  audioDesc->Clear();
  if (!FDvdInfo) return;
  FDvdInfo->SelectProgramChain(ProgChain->ItemIndex());

  INT subtitles = 0;
  if (FDvdInfo->GetSubtitleCount(&subtitles) < 0) subtitles = 0;
  cmbSubtitle->Items()->Add("None");
  for (INT i = 0; i < subtitles; ++i)
    cmbSubtitle->Items()->Add(TakeName([&](BSTR* b) { return FDvdInfo->GetSubtitleName(i, b); }));
  cmbSubtitle->SetItemIndex(0);

  INT chapters = 0;
  if (FDvdInfo->GetChapterCount(&chapters) < 0) chapters = 0;
  for (INT i = 0; i < chapters; ++i) {
    // A failing call leaves its value at 0 rather than undefined.
    INT start = 0, end = 0;
    double seconds = 0;
    FDvdInfo->GetChapterStart(i, &start);
    FDvdInfo->GetChapterEnd(i, &end);
    FDvdInfo->GetChapterSeconds(i, &seconds);
    lstChapter->Items()->Add(ChapterLine(i + 1, start, end, seconds));
  }

  INT audio = 0;
  if (FDvdInfo->GetAudioCount(&audio) < 0) audio = 0;
  for (INT i = 0; i < audio; ++i)
    audioDesc->Items()->Add(TakeName([&](BSTR* b) { return FDvdInfo->GetAudioName(i, b); }));
  if (audioDesc->Items()->Count() > 0) audioDesc->SetItemIndex(0);
}

void TfrmOption::radioDiskClick(TObject*) { lstChapter->SetEnabled(false); }

void TfrmOption::radioChapterClick(TObject*) { lstChapter->SetEnabled(true); }

void TfrmOption::lstChapterDblClick(TObject*) {
  HourGlass wait(this);
  (void)lstChapter->ItemIndex();
}

// --- Output settings ----------------------------------------------------------------

void TfrmOption::SetSize(int width, int height) {
  edtWidth->SetText(std::to_string(width));
  edtHeight->SetText(std::to_string(height));
}

void TfrmOption::ApplySizeRule(TOutputKind kind) {
  int rate = cmbRate->ItemIndex();
  int width = 0, height = 0;
  MpegOutputSize(kind, &rate, &width, &height);
  if (rate != cmbRate->ItemIndex()) cmbRate->SetItemIndex(rate);
  SetSize(width, height);
}

void TfrmOption::SetOutputKind(bool avi) {
  edtOutput->SetText(FBaseName + (avi ? ".avi" : ".mpg"));
  SaveDialog1->Filter = avi ? kAviFilter : kMpegFilter;
  SaveDialog1->DefaultExt = avi ? "AVI" : "MPG";
  // Only AVI output takes a size and a codec of the user's choice.
  edtWidth->SetEnabled(avi);
  edtHeight->SetEnabled(avi);
  cmbCodec->SetEnabled(avi);
}

void TfrmOption::radioVCDClick(TObject*) {
  SetOutputKind(false);
  ApplySizeRule(okVCD);
}

void TfrmOption::radioSVCDClick(TObject*) {
  SetOutputKind(false);
  ApplySizeRule(okSVCD);
}

bool TfrmOption::SelectCodecPrefix(const char* prefix) {
  return cmbCodec->Perform(CB_SELECTSTRING, WPARAM(-1), LPARAM(prefix)) != CB_ERR;
}

bool TfrmOption::SelectDivXCodec(HWND owner) {
  if (SelectCodecPrefix("DIVX") || SelectCodecPrefix("XVID")) return true;
  MessageBoxA(owner, kNoDivX, "Error", MB_ICONERROR);
  return false;
}

void TfrmOption::radioAVIClick(TObject*) {
  SetOutputKind(true);
  if (FDivX) SelectDivXCodec(Handle());
  ApplySourceSize();
}

void TfrmOption::ApplySourceSize() {
  INT width = 0, height = 0;
  if (FDvdInfo) {
    FDvdInfo->GetPictureHeight(&height);
    FDvdInfo->GetPictureWidth(&width);
  }
  edtHeight->SetText(std::to_string(height));
  edtWidth->SetText(std::to_string(width));
}

void TfrmOption::cmbRateChange(TObject*) {
  if (radioVCD->Checked()) {
    ApplySizeRule(okVCD);
  } else if (radioSVCD->Checked()) {
    ApplySizeRule(okSVCD);
  } else {
    ApplySourceSize();
  }
}

void TfrmOption::btnSaveClick(TObject*) {
  if (!SaveDialog1->Execute()) return;
  // The whole chosen path, however long.
  FBaseName = OutputBaseName(SaveDialog1->FileName);
  edtOutput->SetText(FBaseName + (radioAVI->Checked() ? ".avi" : ".mpg"));
}

void TfrmOption::cmbCodecChange(TObject*) {
  FCodecId = std::int32_t(cmbCodec->Perform(CB_GETITEMDATA, WPARAM(cmbCodec->ItemIndex()), 0));
}

void TfrmOption::edtBitrateKeyPress(TObject*, char& key) { DigitFilter(key); }
void TfrmOption::edtWidthKeyPress(TObject*, char& key) { DigitFilter(key); }
void TfrmOption::edtHeightKeyPress(TObject*, char& key) { DigitFilter(key); }
void TfrmOption::edtFileSizeKeyPress(TObject*, char& key) { DigitFilter(key); }
void TfrmOption::edtStartPosKeyPress(TObject*, char& key) { DigitFilter(key); }

bool TfrmOption::CheckOk() {
  auto stop = [this](const std::string& text) {
    MessageBoxA(Handle(), text.c_str(), "Stop", MB_ICONERROR);
    return false;
  };
  if (cmbDisk->ItemIndex() < 0) return stop("Please select the DVD-ROM to convert!");
  if (edtOutput->Text().empty()) return stop("Please select the file to output!");
  if (cmbTittle->ItemIndex() < 0) return stop("Please select the 'Tittle' to convert!");
  if (std::atol(edtBitrate->Text().c_str()) == 0) return stop("The value of 'Bitrate' can not be 0!");
  long width = std::atol(edtWidth->Text().c_str());
  long height = std::atol(edtHeight->Text().c_str());
  if (width == 0) return stop("The value of 'Width' can not be 0!");
  if (height == 0) return stop("The value of 'Height' can not be 0!");
  if (radioAVI->Checked()) {
    std::string problem = AviSizeProblem(width, height);
    if (!problem.empty()) return stop(problem);
  }
  // Writing over what the conversion reads would destroy the disc's own files.
  const std::string output = edtOutput->Text();
  if (IsDiscFile(cmbDisk->Items()->Get(cmbDisk->ItemIndex()), output))
    return stop("The file " + output +
                " is one of the files of the DVD to convert! Please select another file to output!");
  // Refused here rather than by a run that fails to make its file.
  std::string folderProblem = OutputFolderProblem(output);
  if (!folderProblem.empty()) return stop(folderProblem);
  // Never replace a file without asking; the start that follows does not ask again.
  FReplaceConsent.clear();
  std::error_code ec;
  if (std::filesystem::exists(output, ec)) {
    if (MessageBoxA(Handle(), ReplaceQuestion(output).c_str(), "Confirm please", MB_YESNO) != IDYES) return false;
    FReplaceConsent = output;
  }
  return true;
}

bool TfrmOption::TakeReplaceConsent(const std::string& path) {
  const bool given = !FReplaceConsent.empty() && FReplaceConsent == path;
  FReplaceConsent.clear();
  return given;
}

void TfrmOption::btnOkClick(TObject*) {
  if (!CheckOk()) return;
  FCodecId = std::int32_t(cmbCodec->Perform(CB_GETITEMDATA, WPARAM(cmbCodec->ItemIndex()), 0));
  SetModalResult(mrOk);
}

void Option_Initialization() { --g_unit_counter; }

void Option_Finalization() { ++g_unit_counter; }
