// The conversion window: start, stop and progress of a conversion.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <vcl/buttons.h>
#include <vcl/extctrls.h>
#include <vcl/forms.h>
#include <vcl/imglist.h>
#include <vcl/stdctrls.h>

#include <mylabel.h>
#include <suibutton.h>
#include <suiprogressbar.h>

#include "stripbutton.h"

class TConvertThread;

// Everything a run is started with, in the order the thread's setters take it.
struct TConversionSettings {
  std::string dvdPath;
  std::string outputFile;
  std::int32_t startPosition = 0;
  std::int32_t endPosition = 0;
  std::int32_t title = 0;
  std::int32_t subtitle = -1;
  std::int32_t angle = 0;
  std::int32_t programChain = 0;
  std::int32_t audioStream = 0;
  double frameRate = 25;
  std::int32_t sampleRate = 44100;
  bool force24 = false;
  std::int32_t sourceWidth = 0;
  std::int32_t sourceHeight = 0;
  std::int32_t audioRateIndex = 0;
  std::int32_t kind = 0;
  std::int32_t codec = 0;
  std::int32_t videoBitrate = 0;
  std::int32_t outputWidth = 0;
  std::int32_t outputHeight = 0;
  std::int32_t lameBitrate = 0;
  std::int32_t lameQuality = 0;
  double fileSizeLimit = 730;
};

class TfrmConvert : public TForm {
 public:
  explicit TfrmConvert(TComponent* owner);
  ~TfrmConvert() override;
  std::string ClassName() const override { return "TfrmConvert"; }
  void BeforeDestruction() override;

  TTransparentButton* btnPlay;
  TMyLabel* MyLabel1;
  TBevel* Bevel1;
  TLabel* Label_Info;
  TsuiCheckBox* ckbPreview;
  TsuiProgressBar* suiProgressBar1;
  TsuiCheckBox* ckbShut;
  TImageList* ImageList1;
  TImageList* ImageList2;

  void FormCreate(TObject* sender);
  void FormShow(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void FormCloseQuery(TObject* sender, bool& canClose);
  void ckbPreviewClick(TObject* sender);
  void btnPlayClick(TObject* sender);
  void ckbShutClick(TObject* sender);

  // Reads the options dialog and starts a run; false when nothing was started.
  bool StartConversion();
  // Starts a run with these settings (the thread is created suspended, every
  // setter called, then resumed).
  void StartThread(const TConversionSettings& settings);
  static bool AreChaptersConsecutive(const std::vector<int>& indexes, int* first, int* last);
  // Run on the GUI thread by the ending thread.
  void ResetAfterConversion(TConvertThread* ended);
  // What the stop button does, without waiting for the run's end: for a program that
  // is ending, whose closing waits for it (the wait may not run inside a message box
  // that the run itself is waiting on).
  void RequestStop();

  bool Running() const { return FRunning; }
  TConvertThread* Thread() const { return FThread; }
  // The thread object of the current or last run, until it is freed.
  TConvertThread* LastThread() const { return FOwnedThread.get(); }
  // The images btnPlay shows: ImageList1 while idle, ImageList2 while running.
  TCustomImageList* PlayImages() const { return btnPlay->ImageList(); }

 private:
  void SetPlayImages(TImageList* images);
  // Stops a running conversion and frees the thread of the last run.
  void StopAndFreeThread();

  bool FRunning = false;
  TConvertThread* FThread = nullptr;
  // The thread object of the current or last run: freed (after its end) when the
  // next run starts, when a stop has waited for it, or with the window.
  std::unique_ptr<TConvertThread> FOwnedThread;
};

// The conversion window's info line for a run, "DVD to VCD---" and the output file, cut
// in its middle to fit `width` pixels of the canvas's font.
std::string InfoLine(TCanvas* canvas, std::int32_t kind, const std::string& output, int width);

extern "C" {
extern TfrmConvert* frmConvert;
}

extern "C" {
void Convert_Initialization();
void Convert_Finalization();
}
