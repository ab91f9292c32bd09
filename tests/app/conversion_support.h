// Helpers of the conversion tests: the forms a run reports to, the sample disc's
// chapter ranges as the options dialog would read them, message boxes and log-off
// requests recorded, and runs waited for on the GUI thread.
#pragma once

#include <gtest/gtest.h>

#include <outside/dvd.h>
#include <outside/encoders.h>
#include <zentra/picture_util.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <com/comptr.h>
#include <com/guid.h>
#include <com/registry.h>
#include <com/strings.h>
#include <vcl/headless.h>
#include <win32/drives.h>
#include <win32/shell.h>

#include "convert.h"
#include "cvtthread.h"
#include "encoders_support.h"
#include "fresh_application.h"
#include "main.h"
#include "preview.h"

namespace convtest {

namespace fs = std::filesystem;
using enctest::JsonNumber;
using enctest::Probe;
using enctest::StreamOfType;

// What the DVD information object says of a run of chapters.
struct ChapterRange {
  int start = 0, end = 0;
  int width = 0, height = 0;
  double seconds = 0;
};

inline ChapterRange ReadRange(const std::string& videoTs, int title, int first, int last) {
  ChapterRange r;
  ComPtr<IDVDInfObj> info;
  CoCreateInstance(CLSID_DVDInfObj, nullptr, CLSCTX_ALL, IID_IDVDInfObj, info.put_void());
  EXPECT_TRUE(info);
  if (!info) return r;
  Bstr folder = Bstr::FromPath(videoTs);
  EXPECT_GE(info->OpenDvd(folder.get()), 0);
  INT value = 0;
  info->SelectTitle(title);
  info->QueryTitle(title, &value);
  info->SelectProgramChain(0);
  info->GetPictureWidth(&r.width);
  info->GetPictureHeight(&r.height);
  info->GetChapterStart(first, &r.start);
  info->GetChapterEnd(last, &r.end);
  for (int c = first; c <= last; ++c) {
    double s = 0;
    info->GetChapterSeconds(c, &s);
    r.seconds += s;
  }
  return r;
}

inline INT FirstCodecId() {
  ComPtr<IAVIEncode> list;
  CoCreateInstance(CLSID_AVIEncode, nullptr, CLSCTX_ALL, IID_IAVIEncode, list.put_void());
  INT id = -1;
  if (list) list->GetCodecId(0, &id);
  return id;
}

// The id of the first codec of the AVI encoder's list whose name starts with prefix; -1 none.
inline INT CodecIdNamed(const std::string& prefix) {
  ComPtr<IAVIEncode> list;
  CoCreateInstance(CLSID_AVIEncode, nullptr, CLSCTX_ALL, IID_IAVIEncode, list.put_void());
  INT count = 0;
  if (list) list->GetCodecCount(&count);
  for (INT i = 0; i < count; ++i) {
    Bstr name;
    INT id = -1;
    list->GetCodecName(i, name.put());
    list->GetCodecId(i, &id);
    if (name.Utf8().rfind(prefix, 0) == 0) return id;
  }
  return -1;
}

// The number of chapters of a title, as the DVD information object counts them.
inline int ChapterCount(const std::string& videoTs, int title) {
  ComPtr<IDVDInfObj> info;
  CoCreateInstance(CLSID_DVDInfObj, nullptr, CLSCTX_ALL, IID_IDVDInfObj, info.put_void());
  Bstr folder = Bstr::FromPath(videoTs);
  INT chapters = 0;
  if (info && info->OpenDvd(folder.get()) >= 0) info->QueryTitle(title, &chapters);
  return chapters;
}

// The sound of a file's first sound stream, decoded to mono 16-bit samples at its own rate.
struct DecodedSound {
  std::vector<std::int16_t> samples;
  double rate = 0;
  double start = 0;  // the stream's first time stamp, in seconds
  double Seconds() const { return rate > 0 ? samples.size() / rate : 0; }
};

inline DecodedSound DecodeSound(const std::string& path, const nlohmann::json& probe) {
  DecodedSound d;
  const auto* a = StreamOfType(probe, "audio");
  if (!a) return d;
  d.rate = JsonNumber(*a, "sample_rate");
  d.start = a->contains("start_time") ? JsonNumber(*a, "start_time") : 0;
  const auto pcm =
      enctest::Run({"ffmpeg", "-v", "error", "-nostdin", "-i", path, "-map", "0:a:0", "-ac", "1", "-f", "s16le", "-"});
  d.samples.resize(pcm.out.size() / 2);
  std::memcpy(d.samples.data(), pcm.out.data(), d.samples.size() * 2);
  return d;
}

// The sound goes with the pictures: it starts within a picture of the first one and lasts
// as long as they do, give or take a picture and the sound coder's last frame.
inline void ExpectSoundWithPictures(const std::string& path, const nlohmann::json& probe, double fps) {
  const auto* v = StreamOfType(probe, "video");
  ASSERT_TRUE(v);
  const DecodedSound sound = DecodeSound(path, probe);
  ASSERT_GT(sound.rate, 0);
  const double pictureStart = v->contains("start_time") ? JsonNumber(*v, "start_time") : 0;
  const double pictureSeconds = JsonNumber(*v, "nb_read_frames") / fps;
  EXPECT_NEAR(sound.start, pictureStart, 1.0 / fps);
  EXPECT_NEAR(sound.Seconds(), pictureSeconds, 1.0 / fps + 1152 / sound.rate)
      << "pictures from " << pictureStart << " s, sound from " << sound.start << " s";
}

// ffprobe's verdict on an output: kind of file, picture and sound streams, a length within
// one picture of `seconds`, and sound as long as the pictures.
inline void ExpectConvertedFile(const std::string& path, const char* format, const char* video, int width,
                                int height, const char* audio, int sampleRate, double fps, double seconds) {
  SCOPED_TRACE(path);
  auto probe = Probe(path);
  ASSERT_FALSE(probe.is_null()) << "ffprobe can not read it";
  EXPECT_EQ(probe["format"]["format_name"], format);
  const auto* v = StreamOfType(probe, "video");
  const auto* a = StreamOfType(probe, "audio");
  ASSERT_TRUE(v && a);
  EXPECT_EQ((*v)["codec_name"], video);
  EXPECT_EQ(JsonNumber(*v, "width"), width);
  EXPECT_EQ(JsonNumber(*v, "height"), height);
  EXPECT_EQ((*a)["codec_name"], audio);
  EXPECT_EQ(JsonNumber(*a, "sample_rate"), sampleRate);
  EXPECT_NEAR(JsonNumber(*v, "nb_read_frames") / fps, seconds, 1.0 / fps + 1e-9);
  ExpectSoundWithPictures(path, probe, fps);
}

struct Box {
  std::string text, caption;
  UINT type;
  HWND owner;
};

// A COM apartment, the forms of a run, and recorders for boxes and log-off requests.
class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GE(CoInitialize(nullptr), 0);
    InitApplication();
    Application->Initialize();
    TForm* mainForm = nullptr;  // stands for the main window, so closing a form only hides it
    Application->CreateForm(mainForm);
    Application->CreateForm(frmPreview);
    Application->CreateForm(frmConvert);
    SetMessageBoxRecorder([this](const MessageBoxInfo& info) {
      boxes_.push_back({info.text, info.caption, info.type, info.owner});
      return answer_;
    });
    previousExit_ = SetExitWindowsHandler([this](UINT flags, DWORD reason) {
      logoffs_.push_back({flags, reason});
      return TRUE;
    });
    videoTs_ = outsidetest::SampleVideoTs();
    ASSERT_TRUE(fs::exists(videoTs_ + "/VIDEO_TS.IFO")) << "no sample disc (target sample_dvd)";
  }
  void TearDown() override {
    SetExitWindowsHandler(previousExit_);
    SetMessageBoxRecorder(nullptr);
    apptest::FreshApplication();
    if (!registry_.empty()) unsetenv("QUILLMERE_REGISTRY");
    CoUninitialize();
  }

  // Settings as the conversion window passes them for a chapter range of the sample disc.
  TConversionSettings Settings(int kind, int title, int first, int last, const std::string& output) {
    range_ = ReadRange(videoTs_, title, first, last);
    TConversionSettings s;
    s.dvdPath = videoTs_;
    s.outputFile = output;
    s.startPosition = range_.start;
    s.endPosition = range_.end;
    s.title = title;
    const bool pal = range_.height == 576;
    s.frameRate = pal ? 25 : 29.97;
    s.sampleRate = kind == 1 ? 48000 : 44100;
    s.sourceWidth = range_.width;
    s.sourceHeight = range_.height;
    s.kind = kind;
    s.codec = kind == 2 ? FirstCodecId() : 0;
    s.videoBitrate = 1150;
    s.outputWidth = kind == 0 ? 352 : kind == 1 ? 480 : range_.width;
    s.outputHeight = kind == 0 ? (pal ? 288 : 240) : kind == 1 ? (pal ? 576 : 480) : range_.height;
    s.lameBitrate = 192;
    s.lameQuality = 3;
    return s;
  }

  // Starts the run as the start button does and serves the thread until it has ended;
  // `during` runs on the GUI thread while the run goes on.
  TConvertThread* Run(const TConversionSettings& s, const std::function<void(TConvertThread*)>& during = {}) {
    frmConvert->Show();
    frmConvert->StartThread(s);
    TConvertThread* t = frmConvert->Thread();
    EXPECT_TRUE(frmConvert->Running());
    // The stop button frees the thread once it has ended.
    while (frmConvert->LastThread() == t && !t->Finished()) {
      TThread::CheckSynchronize();
      if (during) during(t);
      TThread::WaitForSyncSignal(20);
    }
    TThread::CheckSynchronize();
    return frmConvert->LastThread();
  }

  // Serves the thread's routines on the GUI thread until it has ended.
  static void ServeUntilEnded(TConvertThread* t) {
    while (!t->Finished()) {
      TThread::CheckSynchronize();
      TThread::WaitForSyncSignal(20);
    }
    TThread::CheckSynchronize();
  }

  // The conversion window after a run: idle, the thread's end routine ran.
  void ExpectIdleWindow() {
    EXPECT_FALSE(frmConvert->Running());
    EXPECT_EQ(frmConvert->Thread(), nullptr);
    EXPECT_EQ(frmConvert->PlayImages(), frmConvert->ImageList1);
  }

  // A copy of the build tree's registry, changed by `change`, used from now on.
  void EditRegistry(const std::function<bool(qcom::RegistryTree&)>& change) {
    if (!registry_.empty()) unsetenv("QUILLMERE_REGISTRY");
    registry_ = (scratch_.path() / "registry.txt").string();
    fs::copy_file(qcom::RegistryFilePath(), registry_, fs::copy_options::overwrite_existing);
    setenv("QUILLMERE_REGISTRY", registry_.c_str(), 1);
    ASSERT_EQ(qcom::RegistryEdit([&](qcom::RegistryTree& t) { return change(t) ? S_OK : E_FAIL; }), S_OK);
  }

  static std::string ClassKey(REFCLSID clsid) { return "CLSID\\" + GuidToString(clsid); }

  // The build tree's registry without the class.
  void Unregister(REFCLSID clsid) {
    EditRegistry([&](qcom::RegistryTree& t) { return t.DeleteKey(ClassKey(clsid)); });
  }

  // The user's click on a control of the conversion window.
  static void ClickOn(TControl* c) {
    frmConvert->Show();
    HeadlessClick(frmConvert, c->Left() + 6, c->Top() + c->Height() / 2);
    Application->ProcessMessages();
  }

  std::string Path(const std::string& name) const { return (scratch_.path() / name).string(); }

  outsidetest::ScratchDir scratch_;
  std::string videoTs_;
  std::string registry_;
  ChapterRange range_;
  std::vector<Box> boxes_;
  std::vector<std::pair<UINT, DWORD>> logoffs_;
  int answer_ = IDOK;
  ExitWindowsHandler previousExit_;
};

// The program's folder `dir` (beside the test program) made ready for a whole run: the
// skins, the sample disc as the only drive, an empty output folder `dir/out` that the
// options dialog proposes, and the first skin chosen.
inline void PrepareProgramFolder(const fs::path& dir) {
  const fs::path bin = std::getenv("QUILLMERE_BUILD_BIN");
  for (const char* skin : {"SKIN0", "SKIN1", "SKIN2"})
    fs::copy(bin / skin, dir / skin, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  std::ofstream(dir / "mounts").close();
  SetMountsFile((dir / "mounts").string());
  setenv("QUILLMERE_DVD", outsidetest::SampleDisc().c_str(), 1);
  fs::remove_all(dir / "out");
  fs::create_directories(dir / "out");
  std::ofstream(dir / "config.ini") << "[INI]\nIndex=0\nDefMediaPath=" << (dir / "out" / "last.mpg").string() << "\n";
}

}  // namespace convtest
