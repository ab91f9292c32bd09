#include "convert.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include <vcl/graphics.h>
#include <vcl/resources.h>
#include <vcl/winuser.h>
#include <win32/drives.h>

#include "cvtthread.h"
#include "main.h"
#include "option.h"
#include "preview.h"

TfrmConvert* frmConvert = nullptr;

namespace {

int g_unit_counter = 0;

// An image list of 90x90 pictures from a strip embedded in the program.
TImageList* ButtonImages(TfrmConvert* form, const char* resource) {
  TImageList* list = new TImageList(form);
  list->SetWidth(90);
  list->SetHeight(90);
  std::unique_ptr<TBitmap> strip = LoadBitmapResource(resource);
  list->AddMasked(strip.get(), RGB(255, 0, 255));
  return list;
}

template <class T>
T* Place(TfrmConvert* form, int left, int top, int width, int height) {
  T* c = new T(form);
  c->SetBounds(left, top, width, height);
  c->SetParent(form);
  return c;
}

// Frames per second of the options dialog's frame-rate list, by item index.
constexpr double kFrameRates[] = {23.976, 24, 25, 29.97, 30};

const char* KindName(std::int32_t kind) { return kind == 0 ? "VCD" : kind == 1 ? "SVCD" : "AVI"; }

// Byte offsets where the characters of UTF-8 text start, and its length last: text is
// only ever cut between characters.
std::vector<std::size_t> CharacterStarts(const std::string& text) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
  starts.push_back(text.size());
  return starts;
}

// lead + text, with text cut in its middle to "..." where the whole is wider than
// `width` pixels of the canvas's font. Characters are taken from both ends in turn while
// they fit, so both ends of the text stay.
std::string ElideMiddle(TCanvas* c, const std::string& lead, const std::string& text, int width) {
  if (c->TextWidth(lead + text) <= width) return lead + text;
  const std::vector<std::size_t> at = CharacterStarts(text);
  std::size_t head = 0, tail = at.size() - 1;  // kept: at[0..head) and at[tail..end)
  auto line = [&](std::size_t h, std::size_t t) {
    return lead + text.substr(0, at[h]) + "..." + text.substr(at[t]);
  };
  for (bool grown = true; grown && head < tail;) {
    grown = false;
    if (head < tail && c->TextWidth(line(head, tail - 1)) <= width) {
      --tail;
      grown = true;
    }
    if (head < tail && c->TextWidth(line(head + 1, tail)) <= width) {
      ++head;
      grown = true;
    }
  }
  return line(head, tail);
}

}  // namespace

std::string InfoLine(TCanvas* canvas, std::int32_t kind, const std::string& output, int width) {
  const std::string lead = std::string("DVD to ") + KindName(kind) + "---";
  // The kind stays whole while there is room for it; otherwise the whole line is cut.
  if (canvas->TextWidth(lead + "...") <= width) return ElideMiddle(canvas, lead, output, width);
  return ElideMiddle(canvas, "", lead + output, width);
}

// The settings of the form resource.
TfrmConvert::TfrmConvert(TComponent* owner) : TForm(owner) {
  SetCaption("Ripper");
  SetBorderStyle(bsDialog);
  SetClientWidth(387);
  SetClientHeight(108);
  SetColor(clWhite);

  ImageList1 = ButtonImages(this, "CONVERT_IDLE");
  ImageList2 = ButtonImages(this, "CONVERT_RUNNING");

  btnPlay = Place<TTransparentButton>(this, 8, 12, 90, 90);
  btnPlay->SetImageList(ImageList1);
  btnPlay->Setimageindex(0);
  btnPlay->SetNumGlyphs(3);
  btnPlay->SetBorderWidth(0);
  btnPlay->SetThreeState(false);
  btnPlay->OnClick = [this](TObject* s) { btnPlayClick(s); };

  MyLabel1 = Place<TMyLabel>(this, 124, 30, 171, 25);
  // The title keeps the place the form gives it: sized to its text, the copy drawn two
  // pixels right of and below the caption would be cut off.
  MyLabel1->SetAutoSize(false);
  MyLabel1->SetBounds(124, 30, 171, 25);
  MyLabel1->SetCaption("Korvex Quillmere");
  MyLabel1->SetBkColor(clGradientActiveCaption);
  MyLabel1->SetPreColor(clNavy);
  MyLabel1->Font()->SetName("MS Sans Serif");
  MyLabel1->Font()->SetHeight(-13);

  Bevel1 = Place<TBevel>(this, 160, 52, 146, 2);
  Bevel1->SetShape(bsTopLine);

  Label_Info = Place<TLabel>(this, 175, 60, 124, 13);
  // The line keeps its place: a long output path is cut to it, not the label widened.
  Label_Info->SetAutoSize(false);
  Label_Info->SetBounds(175, 60, 124, 13);
  Label_Info->SetShowAccelChar(false);  // an "&" in a file name is part of the name
  Label_Info->SetCaption("DVD to AVI---C://test.avi");
  Label_Info->Font()->SetStyle(TFontStyles{fsItalic});
  Label_Info->SetTransparent(true);

  ckbPreview = Place<TsuiCheckBox>(this, 122, 8, 59, 17);
  ckbPreview->SetUIStyle(TsuiUIStyle::DeepBlue);
  ckbPreview->SetCaption("Preview");
  ckbPreview->OnClick = [this](TObject* s) { ckbPreviewClick(s); };

  suiProgressBar1 = Place<TsuiProgressBar>(this, 117, 83, 244, 12);
  suiProgressBar1->SetUIStyle(TsuiUIStyle::DeepBlue);
  suiProgressBar1->SetMin(0);
  suiProgressBar1->SetMax(100);
  suiProgressBar1->SetPosition(0);
  suiProgressBar1->SetShowCaption(true);

  ckbShut = Place<TsuiCheckBox>(this, 184, 8, 201, 17);
  ckbShut->SetUIStyle(TsuiUIStyle::DeepBlue);
  ckbShut->SetCaption("Shut down computer when rip end");
  ckbShut->OnClick = [this](TObject* s) { ckbShutClick(s); };

  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
}

TfrmConvert::~TfrmConvert() { StopAndFreeThread(); }

void TfrmConvert::BeforeDestruction() {
  // A conversion still running at exit ends while the windows it reports to are whole.
  StopAndFreeThread();
  TForm::BeforeDestruction();
}

void TfrmConvert::FormCreate(TObject*) {}

void TfrmConvert::FormShow(TObject*) {
  if (frmMain) frmMain->SetVisible(false);
  if (frmPreview) frmPreview->Show();
  ckbPreview->SetChecked(true);
  suiProgressBar1->SetPosition(0);
}

void TfrmConvert::FormClose(TObject*, TCloseAction&) {
  if (frmMain) frmMain->SetVisible(true);
  if (frmPreview) frmPreview->Close();
}

void TfrmConvert::FormCloseQuery(TObject*, bool& canClose) {
  canClose = true;
  if (FRunning) {
    canClose = false;
    MessageBoxA(Handle(), "Please stop the converting at first!", "Error", MB_ICONERROR);
  }
}

void TfrmConvert::ckbPreviewClick(TObject*) {
  if (frmPreview) frmPreview->SetVisible(ckbPreview->Checked());
}

void TfrmConvert::ckbShutClick(TObject*) {
  if (FThread) FThread->SetLogOff(ckbShut->Checked());
}

void TfrmConvert::btnPlayClick(TObject*) {
  if (FRunning) {
    FRunning = false;
    SetPlayImages(ImageList1);
    StopAndFreeThread();
    return;
  }
  FRunning = true;
  SetPlayImages(ImageList2);
  if (!StartConversion()) {
    FRunning = false;
    SetPlayImages(ImageList1);
  }
}

void TfrmConvert::RequestStop() {
  if (!FRunning) return;
  FRunning = false;
  SetPlayImages(ImageList1);
  if (FThread) FThread->SetStop(true);
}

void TfrmConvert::StopAndFreeThread() {
  if (!FOwnedThread) return;
  if (FThread) FThread->SetStop(true);
  // The wait keeps serving the thread's Synchronize calls, its end routine too.
  FOwnedThread->WaitFor();
  FOwnedThread.reset();
  FThread = nullptr;
}

bool TfrmConvert::AreChaptersConsecutive(const std::vector<int>& indexes, int* first, int* last) {
  if (indexes.empty()) return false;
  *first = indexes.front();
  for (std::size_t i = 1; i < indexes.size(); ++i)
    if (indexes[i] != indexes[i - 1] + 1) return false;
  *last = indexes.back();
  return true;
}

bool TfrmConvert::StartConversion() {
  TfrmOption* opt = frmOption;
  IDVDInfObj* info = opt ? opt->FDvdInfo.get() : nullptr;
  if (!info) {
    MessageBoxA(Handle(), "Please select the DVD-ROM to convert!", "Error", MB_ICONERROR);
    return false;
  }
  // By default the whole program chain. Outputs start at 0 so a failed call reads as empty.
  INT width = 0, height = 0, start = 0, end = 0, count = 0;
  info->GetPictureWidth(&width);
  info->GetPictureHeight(&height);
  info->GetChapterCount(&count);
  if (count <= 0) {
    // There is no chapter -1 to ask the end of.
    MessageBoxA(Handle(), "This Program Chain has no Capter to convert!", "Error", MB_ICONERROR);
    return false;
  }
  info->GetChapterStart(0, &start);
  info->GetChapterEnd(count - 1, &end);

  if (!opt->radioDisk->Checked()) {
    std::vector<int> selected;  // any number of chapters
    for (int i = 0; i < opt->lstChapter->Items()->Count(); ++i)
      if (opt->lstChapter->Selected(i)) selected.push_back(i);
    if (!selected.empty()) {
      int first = 0, last = 0;
      if (!AreChaptersConsecutive(selected, &first, &last)) {
        MessageBoxA(Handle(), "Please select the continuity Capters!!", "Error", MB_ICONERROR);
        return false;
      }
      info->GetChapterStart(first, &start);
      info->GetChapterEnd(last, &end);
    } else if (MessageBoxA(Handle(), "You have not selected Capter,I will convert totoal Title!", "Confirm please",
                           MB_YESNO) == IDNO) {
      return false;
    }
  }

  // A start after a run would replace the file it made: ask as OK asks, unless OK has
  // just asked about this very file.
  const std::string output = opt->edtOutput->Text();
  const bool agreed = opt->TakeReplaceConsent(output);
  std::error_code ec;
  if (std::filesystem::exists(output, ec) && !agreed &&
      MessageBoxA(Handle(), ReplaceQuestion(output).c_str(), "Confirm please", MB_YESNO) != IDYES)
    return false;

  TConversionSettings s;
  s.dvdPath = VideoFolderOf(opt->cmbDisk->Text());
  s.outputFile = output;
  s.startPosition = start;
  s.endPosition = end;
  s.title = opt->cmbTittle->ItemIndex();
  s.subtitle = opt->cmbSubtitle->ItemIndex() - 1;  // item 0 is "None"
  s.angle = opt->cmbAngle->ItemIndex();
  s.programChain = opt->ProgChain->ItemIndex();
  s.audioStream = opt->audioDesc->ItemIndex();
  const int rate = opt->cmbRate->ItemIndex();
  s.frameRate = rate >= 0 && rate < 5 ? kFrameRates[rate] : 25;
  s.sampleRate = opt->radioSVCD->Checked() ? 48000 : 44100;
  s.force24 = opt->ckbForce->Checked();
  s.sourceWidth = width;
  s.sourceHeight = height;
  s.audioRateIndex = opt->cmbAudio->ItemIndex();
  s.kind = opt->radioVCD->Checked() ? 0 : opt->radioSVCD->Checked() ? 1 : 2;
  s.codec = opt->FCodecId;
  s.videoBitrate = static_cast<std::int32_t>(std::atol(opt->edtBitrate->Text().c_str()));
  s.outputWidth = static_cast<std::int32_t>(std::atol(opt->edtWidth->Text().c_str()));
  s.outputHeight = static_cast<std::int32_t>(std::atol(opt->edtHeight->Text().c_str()));
  s.lameBitrate = static_cast<std::int32_t>(std::atol(opt->cmbBitrate->Text().c_str()));
  s.lameQuality = opt->cmbQuality->ItemIndex() + 1;
  const std::string limit = opt->edtFileSize->Text();
  s.fileSizeLimit = limit.empty() ? 730 : static_cast<double>(std::atol(limit.c_str()));
  StartThread(s);
  return true;
}

void TfrmConvert::StartThread(const TConversionSettings& s) {
  StopAndFreeThread();  // the last run's thread has ended; free it now
  FRunning = true;
  SetPlayImages(ImageList2);
  FOwnedThread = std::make_unique<TConvertThread>(true);
  FThread = FOwnedThread.get();
  FThread->SetDvdPath(s.dvdPath);
  FThread->SetOutputFile(s.outputFile);
  FThread->SetStartPosition(s.startPosition);
  FThread->SetEndPosition(s.endPosition);
  FThread->SetTitle(s.title);
  FThread->SetSubtitle(s.subtitle);
  FThread->SetAngle(s.angle);
  FThread->SetProgramChain(s.programChain);
  FThread->SetAudioStream(s.audioStream);
  FThread->SetFrameRate(s.frameRate);
  FThread->SetSampleRate(s.sampleRate);
  FThread->SetForce24(s.force24);
  FThread->SetSourceWidth(s.sourceWidth);
  FThread->SetSourceHeight(s.sourceHeight);
  FThread->SetAudioRateIndex(s.audioRateIndex);
  FThread->SetKind(s.kind);
  FThread->SetCodec(s.codec);
  FThread->SetVideoBitrate(s.videoBitrate);
  FThread->SetOutputWidth(s.outputWidth);
  FThread->SetOutputHeight(s.outputHeight);
  FThread->SetLameBitrate(s.lameBitrate);
  FThread->SetLameQuality(s.lameQuality);
  FThread->SetFileSizeLimit(s.fileSizeLimit);
  FThread->Resume();
  // The run's own kind and file, measured in the label's font.
  TBitmap scratch(1, 1);
  TCanvas* c = scratch.Canvas();
  c->SetFont(Label_Info->Font());
  Label_Info->SetCaption(InfoLine(c, s.kind, s.outputFile, Label_Info->Width()));
}

void TfrmConvert::ResetAfterConversion(TConvertThread* ended) {
  // The object stays owned until it can be joined; only the current run's end counts.
  if (ended != FThread) return;
  FThread = nullptr;
  FRunning = false;
  SetPlayImages(ImageList1);
}

void TfrmConvert::SetPlayImages(TImageList* images) {
  btnPlay->SetImageList(images);
  btnPlay->Invalidate();  // the list is a plain field of the button: show the new state now
}

void Convert_Initialization() { --g_unit_counter; }

void Convert_Finalization() { ++g_unit_counter; }
