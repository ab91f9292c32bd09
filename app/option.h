// The options dialog: what to convert (drive, title, program chain, chapters, streams)
// and how (output kind, size, frame rate, codec, file).
#pragma once

#include <cstdint>
#include <string>

#include <com/comptr.h>
#include <outside/dvd.h>
#include <vcl/buttons.h>
#include <vcl/dialogs.h>
#include <vcl/extctrls.h>
#include <vcl/forms.h>
#include <vcl/stdctrls.h>

#include <suibutton.h>
#include <suicombobox.h>
#include <suilistbox.h>

// Output kinds, numbered as the conversion thread numbers them.
enum TOutputKind { okVCD = 0, okSVCD = 1, okAVI = 2 };

class TfrmOption : public TForm {
 public:
  explicit TfrmOption(TComponent* owner);
  ~TfrmOption() override;
  std::string ClassName() const override { return "TfrmOption"; }

  // "Common"
  TGroupBox* grpCommon;
  TLabel* lblDisk;
  TsuiComboBox* cmbDisk;
  TLabel* lblOutput;
  TEdit* edtOutput;
  TSpeedButton* btnSave;
  TsuiRadioButton* radioVCD;
  TsuiRadioButton* radioSVCD;
  TsuiRadioButton* radioAVI;
  // "Video Codec"
  TGroupBox* grpCodec;
  TsuiComboBox* cmbCodec;
  // "Settings"
  TGroupBox* grpSettings;
  TLabel* lblBitrate;
  TEdit* edtBitrate;
  TLabel* lblWidth;
  TEdit* edtWidth;
  TLabel* lblHeight;
  TEdit* edtHeight;
  TLabel* lblAudio;
  TsuiComboBox* cmbAudio;
  TLabel* lblAudioDesc;
  TsuiComboBox* audioDesc;
  TGroupBox* grpLame;
  TLabel* lblLameBitrate;
  TsuiComboBox* cmbBitrate;
  TLabel* lblQuality;
  TsuiComboBox* cmbQuality;
  TPanel* pnlRange;
  TsuiRadioButton* radioDisk;
  TsuiRadioButton* radioChapter;
  TLabel* lblTittle;
  TsuiComboBox* cmbTittle;
  TLabel* lblProgChain;
  TsuiComboBox* ProgChain;
  TLabel* lblAngle;
  TsuiComboBox* cmbAngle;
  TLabel* lblSubtitle;
  TsuiComboBox* cmbSubtitle;
  TLabel* lblRate;
  TsuiComboBox* cmbRate;
  TLabel* lblFileSize;
  TEdit* edtFileSize;
  TLabel* lblFileSizeUnit;
  TsuiCheckBox* ckbForce;
  TsuiListBox* lstChapter;
  TBitBtn* btnOk;
  TBitBtn* btnCancel;
  TSaveDialog* SaveDialog1;

  // Set by the main window's DivX mode; read by radioAVIClick.
  bool FDivX = false;
  // The output path without its extension.
  std::string FBaseName;
  // The DVD information object: made on the first drive change that has a drive,
  // kept for the dialog's life; the conversion window reads the current program chain
  // through it.
  ComPtr<IDVDInfObj> FDvdInfo;
  // Codec id (item data) of the chosen codec.
  std::int32_t FCodecId = 0;

  // --- DVD browsing ---
  void FormCreate(TObject* sender);
  void FormDestroy(TObject* sender);
  void cmbDiskChange(TObject* sender);
  void cmbTittleChange(TObject* sender);
  void ProgChainChange(TObject* sender);
  void radioDiskClick(TObject* sender);
  void radioChapterClick(TObject* sender);
  void lstChapterDblClick(TObject* sender);

  // --- Output settings ---
  void radioVCDClick(TObject* sender);
  void radioSVCDClick(TObject* sender);
  void radioAVIClick(TObject* sender);
  void cmbRateChange(TObject* sender);
  void btnSaveClick(TObject* sender);
  void cmbCodecChange(TObject* sender);
  void btnOkClick(TObject* sender);
  void edtBitrateKeyPress(TObject* sender, char& key);
  void edtWidthKeyPress(TObject* sender, char& key);
  void edtHeightKeyPress(TObject* sender, char& key);
  void edtFileSizeKeyPress(TObject* sender, char& key);
  void edtStartPosKeyPress(TObject* sender, char& key);

  // Chooses the first codec whose name begins with prefix (any case); false when none.
  bool SelectCodecPrefix(const char* prefix);
  // The first DivX codec, else the first XviD one; without either, says so in a box
  // owned by `owner`.
  bool SelectDivXCodec(HWND owner);

  // The chosen drive's disc: opens it again (used when the drive list is reset in code,
  // so that the list and the open disc never disagree).
  void SelectDrive(int index);

  // True when OK's question just had the user agree to replace the existing file at
  // path; the agreement holds for one start only.
  bool TakeReplaceConsent(const std::string& path);

 private:
  // The output field and save filter of MPEG or AVI output; the size fields and the
  // codec list take input only for AVI.
  void SetOutputKind(bool avi);
  void ApplySizeRule(TOutputKind kind);
  void SetSize(int width, int height);
  // The source picture size into the size fields ("0" without a disc).
  void ApplySourceSize();
  bool CheckOk();

  std::string FReplaceConsent;  // the output OK was allowed to replace
};

extern "C" {
extern TfrmOption* frmOption;
}

// --- Rules of the dialog, also used on their own ---

// Output size for VCD and SVCD at a frame-rate index (0 23.976, 1 24, 2 25, 3 29.97,
// 4 30). Sets *rateIndex to 2 when the kind does not allow the rate.
void MpegOutputSize(TOutputKind kind, int* rateIndex, int* width, int* height);
// The chosen output path without its extension: cut at the last "." of the file name
// only, never inside a folder name.
std::string OutputBaseName(const std::string& path);
// The folder (with its trailing separator) of a stored output path, or "" when none.
std::string OutputFolderOf(const std::string& path);
// "Chapter %02d,%ld-----%ld  %.0fs" for chapter number (from 1), positions and length.
std::string ChapterLine(int number, std::int32_t start, std::int32_t end, double seconds);
// Why an AVI picture size cannot be converted, or "" when it can.
std::string AviSizeProblem(long width, long height);
// Decimal digits and backspace pass; any other character becomes 0.
void DigitFilter(char& key);
// The question asked before an existing output file is replaced.
std::string ReplaceQuestion(const std::string& path);
// Why the folder of an output path cannot take the output file, naming the folder, or
// "" when it can: it must exist and let a file be made in it.
std::string OutputFolderProblem(const std::string& output);
// True when path names one of the files of the disc whose drive root is `root` (in
// the VIDEO_TS folder the disc is read from), by any name or link.
bool IsDiscFile(const std::string& root, const std::string& path);

extern "C" {
void Option_Initialization();
void Option_Finalization();
}
