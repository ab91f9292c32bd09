// End-to-end: a chapter range of the sample disc converted to VCD, SVCD and AVI
// by driving the servers through the COM runtime in the conversion thread's
// order (DVD data object, preview painter, picture server, encoder), then
// checked with ffprobe.
#include <outside/dvd.h>
#include <outside/encoders.h>
#include <zentra/picture_util.h>

#include <algorithm>

#include "encoders_support.h"
#include "encoders_surfaces.h"

using namespace enctest;

namespace {

// <build>/sample-dvd, made by the sample_dvd target; the tests live in <build>/bin.
std::string SampleDisc() {
  const char* bin = std::getenv("QUILLMERE_BUILD_BIN");
  const std::filesystem::path dir = bin ? std::filesystem::path(bin)
                                        : std::filesystem::read_symlink("/proc/self/exe").parent_path();
  return (dir / ".." / "sample-dvd" / "VIDEO_TS").lexically_normal().string();
}

enum Kind { kVcd = 0, kSvcd = 1, kAvi = 2 };

struct Job {
  Kind kind = kVcd;
  int title = 0;
  int programChain = 0;
  int audio = 0;
  int subtitle = -1;
  int firstChapter = 0;
  int lastChapter = 0;
  double fps = 25.0;
  int outWidth = 352;
  int outHeight = 288;
  INT codec = -1;
  int lameBitrate = 192;
  int lameQuality = 3;
  double fileSizeLimit = 730;
  std::string output;
};

struct Outcome {
  std::string error;  // the failing object's error text, as the program would show it
  int pictures = 0;
  int previews = 0;
  int limitCalls = 0;
  int sourceWidth = 0, sourceHeight = 0;
  double chapterSeconds = 0;
  bool usedPictureServer = false;
};

// Planes resized by linear interpolation, for when PICTUREUTL is not built.
void ResizePlane(const BYTE* src, int sw, int sh, BYTE* dst, int dw, int dh) {
  for (int y = 0; y < dh; ++y) {
    const double fy = std::max(0.0, (y + 0.5) * sh / dh - 0.5);
    const int y0 = std::min(static_cast<int>(fy), sh - 1), y1 = std::min(y0 + 1, sh - 1);
    for (int x = 0; x < dw; ++x) {
      const double fx = std::max(0.0, (x + 0.5) * sw / dw - 0.5);
      const int x0 = std::min(static_cast<int>(fx), sw - 1), x1 = std::min(x0 + 1, sw - 1);
      const double ax = fx - x0, ay = fy - y0;
      const double top = src[y0 * sw + x0] * (1 - ax) + src[y0 * sw + x1] * ax;
      const double bottom = src[y1 * sw + x0] * (1 - ax) + src[y1 * sw + x1] * ax;
      dst[y * dw + x] = static_cast<BYTE>(top * (1 - ay) + bottom * ay + 0.5);
    }
  }
}

// BT.601 planes to a bottom-up 24-bit bitmap (40-byte header first).
void PlanesToDib(int w, int h, const BYTE* y, const BYTE* u, const BYTE* v, BYTE* dib) {
  const int stride = (3 * w + 3) & ~3;
  BYTE* rows = dib + 40;
  auto clamp = [](double x) { return static_cast<BYTE>(std::clamp(x + 0.5, 0.0, 255.0)); };
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      const double Y = 1.164 * (y[r * w + c] - 16), U = u[(r / 2) * (w / 2) + c / 2] - 128.0,
                   V = v[(r / 2) * (w / 2) + c / 2] - 128.0;
      BYTE* p = rows + static_cast<std::size_t>(h - 1 - r) * stride + 3 * c;
      p[0] = clamp(Y + 2.018 * U);
      p[1] = clamp(Y - 0.391 * U - 0.813 * V);
      p[2] = clamp(Y + 1.596 * V);
    }
}

class HarnessTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    ASSERT_TRUE(std::filesystem::exists(SampleDisc() + "/VIDEO_TS.IFO"))
        << "no sample disc at " << SampleDisc() << " (target sample_dvd)";
    surfaces_ = std::make_shared<MemorySurfaces>(Preview(), 360, 288, 360);
    previous_ = SetWindowSurfaceProvider(surfaces_);
  }
  void TearDown() override {
    if (surfaces_) SetWindowSurfaceProvider(previous_);
    ComTest::TearDown();
  }
  static HWND Preview() { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x7e57)); }

  // The conversion as the program's conversion thread runs it.
  Outcome Convert(const Job& job) {
    Outcome out;
    // What the options dialog and the conversion window take from the DVD information object.
    ComPtr<IDVDInfObj> info;
    EXPECT_GE(CoCreateInstance(CLSID_DVDInfObj, nullptr, CLSCTX_ALL, IID_IDVDInfObj, info.put_void()), 0);
    if (!info) return {"no DVD information object"};
    Bstr folder(SampleDisc());
    if (info->OpenDvd(folder.get()) < 0) return {"OpenDvd: " + qcom::ErrorDescription(info.get(), IID_IDVDInfObj)};
    INT value = 0, start = 0, end = 0;
    info->SelectTitle(job.title);
    info->QueryTitle(job.title, &value);
    info->SelectProgramChain(job.programChain);
    info->GetPictureWidth(&out.sourceWidth);
    info->GetPictureHeight(&out.sourceHeight);
    info->GetChapterStart(job.firstChapter, &start);
    info->GetChapterEnd(job.lastChapter, &end);
    for (int c = job.firstChapter; c <= job.lastChapter; ++c) {
      double s = 0;
      info->GetChapterSeconds(c, &s);
      out.chapterSeconds += s;
    }
    const int sampleRate = job.kind == kSvcd ? 48000 : 44100;
    const int sw = out.sourceWidth, sh = out.sourceHeight, ow = job.outWidth, oh = job.outHeight;

    ComPtr<IDVDDataObj> data;
    ComPtr<IPicShowObj> painter;
    CoCreateInstance(CLSID_DVDDataObj, nullptr, CLSCTX_ALL, IID_IDVDDataObj, data.put_void());
    CoCreateInstance(CLSID_PicShowObj, nullptr, CLSCTX_ALL, IID_IPicShowObj, painter.put_void());
    if (!data) return {"no DVD data object"};
    if (painter && painter->Open(Preview(), sw, sh) < 0) painter.Reset();
    data->SetDvdPath(folder.get());
    data->SetTitle(job.title);
    data->SetProgramChain(job.programChain);
    data->SetSubtitle(job.subtitle);
    data->SetAudioStream(job.audio);
    data->SetAngle(0);
    data->SetFrameRate(job.fps);
    data->SetSampleRate(sampleRate);
    data->SetForce24(0);
    data->Open();
    data->Seek(start);

    ComPtr<IMpegEnc> mpeg;
    ComPtr<IAVIEncode> avi;
    ComPtr<IPICTUREUTL> pictures;
    if (job.kind == kAvi)
      CoCreateInstance(CLSID_AVIEncode, nullptr, CLSCTX_ALL, IID_IAVIEncode, avi.put_void());
    else
      CoCreateInstance(CLSID_MpegEnc, nullptr, CLSCTX_ALL, IID_IMpegEnc, mpeg.put_void());
    if (!mpeg && !avi) return {"no encoder"};
    // PICTUREUTL when the picture server is registered in this build, else our own resize.
    CoCreateInstance(CLSID_PICTUREUTL, nullptr, CLSCTX_ALL, IID_IPICTUREUTL, pictures.put_void());
    out.usedPictureServer = static_cast<bool>(pictures);
    INT sy = sw * sh, su = sy / 4, sv = sy / 4, oy = ow * oh, ou = oy / 4, ov = oy / 4;
    INT dibSize = ((3 * ow + 3) & ~3) * oh + 40;
    if (pictures) {
      pictures->GetYuvPlaneSizes(sw, sh, &sy, &su, &sv);
      pictures->GetYuvPlaneSizes(ow, oh, &oy, &ou, &ov);
      if (job.kind == kAvi) pictures->GetDibSize(ow, oh, 24, &dibSize);
    }

    Bstr output(job.output);
    if (job.kind == kVcd || job.kind == kSvcd) {
      const bool vcd = job.kind == kVcd;
      mpeg->SetOutputFile(output.get());
      mpeg->SetParameter10(vcd ? 1 : 3);
      mpeg->SetParameter12(vcd ? 1 : 3);
      mpeg->SetHeight(oh);
      mpeg->SetWidth(ow);
      mpeg->SetFrameRate(job.fps);
      mpeg->SetSampleRate(sampleRate);
      mpeg->SetParameter26(20);
      mpeg->SetParameter22(0);
      mpeg->SetParameter44(1);
      if (!vcd) mpeg->SetParameter32(2376);
      mpeg->SetParameter34(2600);
      mpeg->SetParameter42(vcd ? 1.4 : 5.6);
      mpeg->Start();
    } else {
      avi->SetOutputFile(output.get());
      avi->SetHeight(oh);
      avi->SetWidth(ow);
      avi->SetFrameRate(job.fps);
      avi->SetSampleRate(sampleRate);
      avi->SetParameter23(1);
      avi->SetParameter21(1);
      avi->SetCodec(job.codec);
      avi->SetLameBitrate(job.lameBitrate);
      avi->SetLameQuality(static_cast<BYTE>(job.lameQuality));
      avi->Start();
    }

    const bool resize = job.kind != kAvi || ow != sw || oh != sh;
    std::vector<BYTE> srcY(sy), srcU(su), srcV(sv), outY, outU, outV, dib;
    if (resize) outY.resize(oy), outU.resize(ou), outV.resize(ov);
    if (job.kind == kAvi) dib.resize(dibSize);
    BYTE* py = resize ? outY.data() : srcY.data();
    BYTE* pu = resize ? outU.data() : srcU.data();
    BYTE* pv = resize ? outV.data() : srcV.data();

    auto fail = [&](IUnknown* object, REFIID iid) {
      out.error = qcom::ErrorDescription(object, iid);
      if (out.error.empty()) out.error = "Program Exception ,have to stop!";
    };
    for (;;) {
      INT_PTR value1 = 0;
      INT value2 = 0;
      if (data->ReadFrame(srcY.data(), srcU.data(), srcV.data(), &value1, &value2) < 0) {
        fail(data.get(), IID_IDVDDataObj);
        break;
      }
      INT position = 0;
      data->GetPosition(&position);
      if (static_cast<DWORD>(position) > static_cast<DWORD>(end)) break;
      ++out.pictures;
      if (out.pictures % 25 == 0 && painter) {
        if (painter->ShowFrame(sw, sh, srcY.data(), srcU.data(), srcV.data(), Preview()) < 0) {
          fail(painter.get(), IID_IPicShowObj);
          break;
        }
        ++out.previews;
      }
      if (resize) {
        if (pictures) {
          if (pictures->ResizeYuvPlanes(sw, sh, srcY.data(), srcU.data(), srcV.data(), ow, oh, py, pu, pv) < 0) {
            fail(pictures.get(), IID_IPICTUREUTL);
            break;
          }
        } else {
          ResizePlane(srcY.data(), sw, sh, py, ow, oh);
          ResizePlane(srcU.data(), sw / 2, sh / 2, pu, ow / 2, oh / 2);
          ResizePlane(srcV.data(), sw / 2, sh / 2, pv, ow / 2, oh / 2);
        }
      }
      double size = 0;
      if (job.kind == kAvi) {
        if (pictures) {
          if (pictures->YuvPlanesToDib(ow, oh, py, pu, pv, dib.data()) < 0) {
            fail(pictures.get(), IID_IPICTUREUTL);
            break;
          }
        } else {
          PlanesToDib(ow, oh, py, pu, pv, dib.data());
        }
        if (avi->WriteFrame(dib.data() + 40, value1, value2) < 0) {
          fail(avi.get(), IID_IAVIEncode);
          break;
        }
        avi->GetFileSize(&size);
      } else {
        if (mpeg->EncodeFrame(py, pu, pv, ow, oh, value1, value2) < 0) {
          fail(mpeg.get(), IID_IMpegEnc);
          break;
        }
        mpeg->GetFileSize(&size);
      }
      if (size >= job.fileSizeLimit) {
        ++out.limitCalls;
        const HRESULT hr = avi ? avi->SizeLimitReached() : mpeg->SizeLimitReached();
        if (hr < 0) {
          avi ? fail(avi.get(), IID_IAVIEncode) : fail(mpeg.get(), IID_IMpegEnc);
          break;
        }
      }
    }
    data->Close();
    if (avi) avi->Finish();
    if (mpeg) mpeg->Finish();
    return out;
  }

  // ffprobe's verdict on one output file.
  void ExpectFile(const std::string& path, const char* format, const char* videoCodec, const char* audioCodec,
                  int width, int height, const char* rate, int pictures, double fps) {
    SCOPED_TRACE(path);
    auto probe = Probe(path);
    ASSERT_FALSE(probe.is_null()) << "ffprobe can not read it";
    EXPECT_EQ(probe["format"]["format_name"], format);
    const auto* v = StreamOfType(probe, "video");
    const auto* a = StreamOfType(probe, "audio");
    ASSERT_TRUE(v) << "no pictures";
    ASSERT_TRUE(a) << "no sound";
    EXPECT_EQ((*v)["codec_name"], videoCodec);
    EXPECT_EQ((*a)["codec_name"], audioCodec);
    EXPECT_EQ(JsonNumber(*v, "width"), width);
    EXPECT_EQ(JsonNumber(*v, "height"), height);
    EXPECT_EQ((*v)["r_frame_rate"], rate);
    EXPECT_EQ(JsonNumber(*v, "nb_read_frames"), pictures);
    EXPECT_NEAR(JsonNumber(*v, "duration"), pictures / fps, 1.0 / fps);
    EXPECT_GT(JsonNumber(*a, "nb_read_frames"), 0);
    EXPECT_NEAR(JsonNumber(*a, "duration"), pictures / fps, 0.1);
  }

  std::shared_ptr<MemorySurfaces> surfaces_;
  std::shared_ptr<WindowSurfaceProvider> previous_;
};

TEST_F(HarnessTest, ChaptersTwoAndThreeOfThePalTitleBecomeAVcd) {
  Job job;
  job.firstChapter = 1;
  job.lastChapter = 2;
  job.output = Path("pal.mpg");
  Outcome r = Convert(job);
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.sourceWidth, 720);
  EXPECT_EQ(r.sourceHeight, 576);
  // Two chapters of 4 s at 25 pictures a second.
  EXPECT_NEAR(r.pictures, r.chapterSeconds * 25, 2);
  EXPECT_EQ(r.previews, r.pictures / 25);
  EXPECT_TRUE(surfaces_->repainted);
  ExpectFile(job.output, "mpeg", "mpeg1video", "mp2", 352, 288, "25/1", r.pictures, 25.0);
  RecordProperty("picture_server", r.usedPictureServer ? "PICTUREUTL" : "own resize");
}

TEST_F(HarnessTest, ThePalTitleBecomesAnSvcdWithItsGermanSound) {
  Job job;
  job.kind = kSvcd;
  job.audio = 1;  // MPEG layer II "de"
  job.firstChapter = 0;
  job.lastChapter = 1;
  job.outWidth = 480;
  job.outHeight = 576;
  job.output = Path("pal-svcd.mpg");
  Outcome r = Convert(job);
  ASSERT_EQ(r.error, "");
  EXPECT_NEAR(r.pictures, r.chapterSeconds * 25, 2);
  ExpectFile(job.output, "mpeg", "mpeg2video", "mp2", 480, 576, "25/1", r.pictures, 25.0);
}

TEST_F(HarnessTest, TheNtscTitleBecomesADivxAviAtItsOwnSize) {
  ComPtr<IAVIEncode> list = Create<IAVIEncode>(CLSID_AVIEncode, IID_IAVIEncode);
  ASSERT_TRUE(list);
  INT divx = -1;
  ASSERT_EQ(list->GetCodecId(0, &divx), S_OK);  // "DIVX MPEG-4" comes first
  Job job;
  job.kind = kAvi;
  job.title = 1;
  job.lastChapter = 1;
  job.fps = 29.97;
  job.outWidth = 720;
  job.outHeight = 480;
  job.codec = divx;
  job.lameBitrate = 160;
  job.output = Path("ntsc.avi");
  Outcome r = Convert(job);
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.sourceWidth, 720);
  EXPECT_EQ(r.sourceHeight, 480);
  EXPECT_NEAR(r.pictures, r.chapterSeconds * 29.97, 2);
  ExpectFile(job.output, "avi", "mpeg4", "mp3", 720, 480, "30000/1001", r.pictures, 30000.0 / 1001);
}

TEST_F(HarnessTest, TheNtscTitleBecomesAVcdOf352x240) {
  Job job;
  job.title = 1;
  job.lastChapter = 1;
  job.fps = 29.97;
  job.outHeight = 240;
  job.output = Path("ntsc.mpg");
  Outcome r = Convert(job);
  ASSERT_EQ(r.error, "");
  ExpectFile(job.output, "mpeg", "mpeg1video", "mp2", 352, 240, "30000/1001", r.pictures, 30000.0 / 1001);
}

TEST_F(HarnessTest, AFileSizeLimitSplitsTheVcdIntoFilesEachUnderIt) {
  Job job;
  job.lastChapter = 2;
  job.fileSizeLimit = 1;  // megabyte; the whole title is about 2 MB
  job.output = Path("split.mpg");
  Outcome r = Convert(job);
  ASSERT_EQ(r.error, "");
  EXPECT_GE(r.limitCalls, 1);
  int pictures = 0;
  for (const char* name : {"split.mpg", "split_2.mpg"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(std::filesystem::exists(Path(name)));
    EXPECT_LT(std::filesystem::file_size(Path(name)), 1048576u);
    auto probe = Probe(Path(name));
    ASSERT_FALSE(probe.is_null());
    ASSERT_TRUE(StreamOfType(probe, "audio"));
    pictures += static_cast<int>(JsonNumber(*StreamOfType(probe, "video"), "nb_read_frames"));
  }
  if (std::filesystem::exists(Path("split_3.mpg")))
    pictures += static_cast<int>(JsonNumber(*StreamOfType(Probe(Path("split_3.mpg")), "video"), "nb_read_frames"));
  EXPECT_EQ(pictures, r.pictures);
}

TEST_F(HarnessTest, AnUnwritableOutputEndsTheRunWithTheEncodersReason) {
  Job job;
  job.output = Path("missing-folder/out.mpg");
  Outcome r = Convert(job);
  EXPECT_NE(r.error.find("missing-folder/out.mpg"), std::string::npos) << r.error;
  EXPECT_EQ(r.pictures, 1) << "the first picture's encoding fails";
}

}  // namespace
