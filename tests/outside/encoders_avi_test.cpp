// IAVIEncode through the COM runtime: the codec list, AVI files with MP3 sound
// from bottom-up 24-bit rows, and the size limit.
#include <outside/dvd.h>
#include <outside/encoders.h>

#include <algorithm>
#include <array>
#include <thread>

#include "encoders_support.h"
#include "output_checks.h"

using namespace enctest;

namespace {

// Bottom-up 24-bit rows (B, G, R) padded to 4 bytes: top half red, bottom half blue.
std::vector<std::uint8_t> RedOverBlue(int w, int h) {
  const int stride = (3 * w + 3) & ~3;
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(stride) * h, 0);
  for (int r = 0; r < h; ++r) {
    const bool top = r >= h / 2;  // row 0 is the bottom row
    for (int c = 0; c < w; ++c) {
      std::uint8_t* p = &rows[static_cast<std::size_t>(r) * stride + 3 * c];
      p[0] = top ? 0 : 255;
      p[1] = 0;
      p[2] = top ? 255 : 0;
    }
  }
  return rows;
}

// One picture element as the picture server's YUV to 24-bit conversion makes it: studio
// levels kept (Y itself, no stretch), B, G, R in 13-bit fixed point, clamped.
std::array<std::uint8_t, 3> DibPixel(int y, int u, int v) {
  const int cb = u - 128, cr = v - 128;
  auto clamp = [](int x) { return static_cast<std::uint8_t>(std::clamp(x >> 13, 0, 255)); };
  return {clamp(8192 * y + 4096 + 14516 * cb), clamp(8192 * y + 4096 - 2819 * cb - 5850 * cr),
          clamp(8192 * y + 4096 + 11485 * cr)};
}

// Upright stripes of flat colour, given as Y, U, V, in bottom-up 24-bit rows.
struct Stripes {
  static constexpr int kColours[4][3] = {{16, 128, 128}, {235, 128, 128}, {126, 128, 128}, {81, 90, 240}};
  int w, h;
  std::vector<std::uint8_t> rows;
  Stripes(int width, int height) : w(width), h(height) {
    const int stride = (3 * w + 3) & ~3;
    rows.assign(static_cast<std::size_t>(stride) * h, 0);
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) {
        const int* k = kColours[c * 4 / w];
        const auto p = DibPixel(k[0], k[1], k[2]);
        std::copy(p.begin(), p.end(), rows.begin() + static_cast<std::ptrdiff_t>(r) * stride + 3 * c);
      }
  }
};

class AviEncodeTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    enc_ = Create<IAVIEncode>(CLSID_AVIEncode, IID_IAVIEncode);
    ASSERT_TRUE(enc_);
  }
  void TearDown() override {
    enc_.Reset();
    ComTest::TearDown();
  }
  INT CodecIdNamed(const std::string& prefix) { return AviCodecNamed(enc_.get(), prefix); }
  // The program's AVI set-up order.
  void Configure(const std::string& path, int w, int h, double fps, INT codec, int kbps = 192, int quality = 3) {
    Bstr p(path);
    enc_->SetOutputFile(p.get());
    enc_->SetHeight(h);
    enc_->SetWidth(w);
    enc_->SetFrameRate(fps);
    enc_->SetSampleRate(44100);
    enc_->SetParameter23(1);
    enc_->SetParameter21(1);
    enc_->SetCodec(codec);
    enc_->SetLameBitrate(kbps);
    enc_->SetLameQuality(static_cast<BYTE>(quality));
  }
  // Writes count pictures like the program's loop; returns the SizeLimitReached calls.
  int Write(int w, int h, double fps, int count, double limit = 1e9, bool noise = false) {
    std::vector<std::uint8_t> rows = RedOverBlue(w, h);
    std::uint32_t seed = 1;
    int limitCalls = 0;
    for (int n = 0; n < count; ++n) {
      if (noise)
        for (auto& b : rows) b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
      std::vector<std::int16_t> sound = Tone(44100, fps, n);
      EXPECT_EQ(enc_->WriteFrame(rows.data(), reinterpret_cast<INT_PTR>(sound.data()),
                                 static_cast<INT>(sound.size() * 2)),
                S_OK)
          << qcom::ErrorDescription(enc_.get(), IID_IAVIEncode);
      double size = 0;
      enc_->GetFileSize(&size);
      if (size >= limit) {
        ++limitCalls;
        EXPECT_GE(enc_->SizeLimitReached(), 0);
      }
    }
    return limitCalls;
  }
  // The file's display shape as ffprobe reads it and as the AVI header's video properties
  // give it ({0, 0} when they are missing).
  static std::pair<std::string, std::pair<int, int>> Shape(const std::string& path) {
    auto probe = Probe(path);
    const auto* v = probe.is_null() ? nullptr : StreamOfType(probe, "video");
    return {v ? v->value("display_aspect_ratio", "") : "", outcheck::AviFrameAspect(path)};
  }
  ComPtr<IAVIEncode> enc_;
};

TEST_F(AviEncodeTest, MethodsSitAtTheirSlots) {
  for (int slot : {10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 29, 30, 32, 33, 34, 35, 36})
    EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), slot), E_NOTIMPL) << "slot " << slot;
  UINT typeInfos = 9;
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 3, &typeInfos), S_OK);  // IDispatch::GetTypeInfoCount
  EXPECT_EQ(typeInfos, 0u);
  INT count = 0, id = -1;
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 7, &count), S_OK);
  BSTR name = nullptr;
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 8, INT{0}, &name), S_OK);
  EXPECT_EQ(BstrToUtf8(name), "DIVX MPEG-4");
  SysFreeString(name);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 9, INT{0}, &id), S_OK);

  Bstr path(Path("slots.avi"));
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 11, id), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 13, path.get()), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 15, INT{64}), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 17, INT{48}), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 19, 24.0), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 21, INT{1}), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 23, INT{1}), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 25, INT{48000}), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 27, INT{96}), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 31, BYTE{5}), S_OK);
  ASSERT_EQ(CallSlot<HRESULT>(enc_.get(), 37), S_OK) << qcom::ErrorDescription(enc_.get(), IID_IAVIEncode);
  std::vector<std::uint8_t> rows = RedOverBlue(64, 48);
  std::vector<std::int16_t> sound = Tone(48000, 24.0, 0);
  for (int n = 0; n < 2; ++n)
    EXPECT_EQ((CallSlot<HRESULT, BYTE*, INT_PTR, INT>(enc_.get(), 39, rows.data(),
                                                       reinterpret_cast<INT_PTR>(sound.data()),
                                                       static_cast<INT>(sound.size() * 2))),
              S_OK);
  double size = 0;
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 38, &size), S_OK);
  EXPECT_GT(size, 0.0);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 40), S_FALSE) << "too little for a file of its own";
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 41), S_OK);
  auto probe = Probe(Path("slots.avi"));
  ASSERT_FALSE(probe.is_null());
  EXPECT_EQ((*StreamOfType(probe, "video"))["r_frame_rate"], "24/1");
  EXPECT_EQ(JsonNumber(*StreamOfType(probe, "audio"), "sample_rate"), 48000);
  EXPECT_EQ(JsonNumber(*StreamOfType(probe, "audio"), "bit_rate"), 96000);
}

TEST_F(AviEncodeTest, CodecListPutsDivxAndXvidFirstWithDistinctIds) {
  INT count = 0;
  ASSERT_EQ(enc_->GetCodecCount(&count), S_OK);
  ASSERT_GE(count, 2);
  std::vector<std::string> names;
  std::vector<INT> ids;
  for (INT i = 0; i < count; ++i) {
    Bstr name;
    INT id = -1;
    ASSERT_EQ(enc_->GetCodecName(i, name.put()), S_OK);
    ASSERT_EQ(enc_->GetCodecId(i, &id), S_OK);
    EXPECT_FALSE(name.Utf8().empty());
    for (INT other : ids) EXPECT_NE(id, other);
    names.push_back(name.Utf8());
    ids.push_back(id);
  }
  EXPECT_EQ(names[0], "DIVX MPEG-4");
  EXPECT_EQ(names[1], "XVID MPEG-4");

  Bstr name;
  EXPECT_EQ(enc_->GetCodecName(count, name.put()), E_INVALIDARG);
  EXPECT_EQ(name.get(), nullptr);
  EXPECT_NE(qcom::ErrorDescription(enc_.get(), IID_IAVIEncode).find(std::to_string(count)), std::string::npos);
  INT id = 0;
  EXPECT_EQ(enc_->GetCodecId(-1, &id), E_INVALIDARG);
  EXPECT_EQ(enc_->GetCodecCount(nullptr), E_POINTER);
}

TEST_F(AviEncodeTest, DivxAviHasMpeg4PicturesAndMp3SoundAtTheGivenRate) {
  Configure(Path("divx.avi"), 320, 240, 25.0, CodecIdNamed("DIVX"), 128, 2);
  ASSERT_EQ(enc_->Start(), S_OK) << qcom::ErrorDescription(enc_.get(), IID_IAVIEncode);
  Write(320, 240, 25.0, 50);
  ASSERT_EQ(enc_->Finish(), S_OK);

  auto probe = Probe(Path("divx.avi"));
  ASSERT_FALSE(probe.is_null());
  EXPECT_EQ(probe["format"]["format_name"], "avi");
  const auto* v = StreamOfType(probe, "video");
  const auto* a = StreamOfType(probe, "audio");
  ASSERT_TRUE(v && a);
  ExpectVideoStream(*v, "mpeg4", 320, 240, "25/1", 50);
  EXPECT_EQ((*v)["codec_tag_string"], "DX50");
  EXPECT_EQ((*a)["codec_name"], "mp3");
  EXPECT_EQ(JsonNumber(*a, "sample_rate"), 44100);
  EXPECT_EQ(JsonNumber(*a, "channels"), 2);
  EXPECT_EQ(JsonNumber(*a, "bit_rate"), 128000);
  EXPECT_NEAR(JsonNumber(*a, "duration"), 2.0, 0.06);
}

TEST_F(AviEncodeTest, BottomUpRowsComeOutUprightAndInTheirColours) {
  // 100 is no multiple of 4 wide in bytes (300), so rows carry padding.
  Configure(Path("upright.avi"), 100, 60, 29.97, CodecIdNamed("XVID"));
  ASSERT_EQ(enc_->Start(), S_OK) << qcom::ErrorDescription(enc_.get(), IID_IAVIEncode);
  Write(100, 60, 29.97, 3);
  ASSERT_EQ(enc_->Finish(), S_OK);
  std::vector<std::uint8_t> rgb = FirstPictureRgb(Path("upright.avi"));
  ASSERT_EQ(rgb.size(), 100u * 60 * 3);
  auto at = [&](int x, int y) { return &rgb[(static_cast<std::size_t>(y) * 100 + x) * 3]; };
  EXPECT_GT(at(50, 10)[0], 180);  // red on top
  EXPECT_LT(at(50, 10)[2], 80);
  EXPECT_GT(at(50, 50)[2], 180);  // blue below
  EXPECT_LT(at(50, 50)[0], 80);
  EXPECT_GT(at(97, 10)[0], 180) << "the padding bytes must not shift the rows";
}

TEST_F(AviEncodeTest, SettingsOutsideTheirRangeFailAtStartWithAReason) {
  const INT divx = CodecIdNamed("DIVX");
  Configure(Path("bad.avi"), 320, 240, 25.0, divx, 100);
  EXPECT_EQ(enc_->Start(), E_INVALIDARG);
  EXPECT_NE(qcom::ErrorDescription(enc_.get(), IID_IAVIEncode).find("100"), std::string::npos);
  Configure(Path("bad.avi"), 320, 240, 25.0, divx, 192, 9);
  EXPECT_EQ(enc_->Start(), E_INVALIDARG);
  Configure(Path("bad.avi"), 320, 240, 25.0, -1);  // no codec chosen in the dialog
  EXPECT_EQ(enc_->Start(), E_INVALIDARG);
  EXPECT_NE(qcom::ErrorDescription(enc_.get(), IID_IAVIEncode).find("codec"), std::string::npos);
  Configure(Path("bad.avi"), 321, 240, 25.0, divx);
  EXPECT_EQ(enc_->Start(), E_INVALIDARG);
  // A picture written after a failed start says why the file never began.
  std::vector<std::uint8_t> rows = RedOverBlue(322, 240);
  EXPECT_EQ(enc_->WriteFrame(rows.data(), 0, 0), E_INVALIDARG);
  EXPECT_NE(qcom::ErrorDescription(enc_.get(), IID_IAVIEncode).find("could not be started"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Path("bad.avi")));
}

TEST_F(AviEncodeTest, SizeLimitSplitsIntoNumberedFilesEachUnderTheLimit) {
  // Lossless pictures of noise grow fast: about 1 MB in under a second.
  INT ffv1 = CodecIdNamed("FFV1");
  if (ffv1 < 0) GTEST_SKIP() << "no FFV1 encoder in this libavcodec";
  Configure(Path("big.avi"), 320, 240, 25.0, ffv1);
  ASSERT_EQ(enc_->Start(), S_OK);
  EXPECT_GE(Write(320, 240, 25.0, 75, 1.0, true), 1);
  ASSERT_EQ(enc_->Finish(), S_OK);
  double frames = 0;
  for (int part = 1; part <= 30; ++part) {
    const std::string name = Path(part == 1 ? "big.avi" : "big_" + std::to_string(part) + ".avi");
    if (!std::filesystem::exists(name)) break;
    EXPECT_LT(std::filesystem::file_size(name), 1048576u) << name;
    frames += JsonNumber(*StreamOfType(Probe(name), "video"), "nb_read_frames");
  }
  EXPECT_TRUE(std::filesystem::exists(Path("big_2.avi")));
  EXPECT_EQ(frames, 75);
}

TEST_F(AviEncodeTest, RunWithoutAPictureFailsAndLeavesNoFile) {
  const std::string path = Path("empty.avi");
  Configure(path, 320, 240, 25.0, CodecIdNamed("DIVX"));
  ASSERT_EQ(enc_->Start(), S_OK) << qcom::ErrorDescription(enc_.get(), IID_IAVIEncode);
  EXPECT_LT(enc_->Finish(), 0) << "an empty run is no success";
  const std::string error = qcom::ErrorDescription(enc_.get(), IID_IAVIEncode);
  EXPECT_NE(error.find("No picture was encoded"), std::string::npos) << error;
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(path));

  // Released without Finish: nothing is left behind either.
  const std::string released = Path("empty-released.avi");
  Configure(released, 320, 240, 25.0, CodecIdNamed("DIVX"));
  ASSERT_EQ(enc_->Start(), S_OK);
  EXPECT_TRUE(std::filesystem::exists(released));
  enc_.Reset();
  EXPECT_FALSE(std::filesystem::exists(released));
}

// The rows carry the pictures' studio levels; every codec must code those levels, not
// squeeze them again (black 16 would come out near 30, white 235 near 218).
TEST_F(AviEncodeTest, EveryCodecKeepsTheLevelsAndColoursOfTheRows) {
  struct Case {
    const char* codec;
    int tolerance;  // lossless codecs: rounding of the conversion only
  };
  for (const Case& c : {Case{"FFV1", 1}, Case{"Huffyuv", 1}, Case{"DIVX", 3}, Case{"H.264", 3}}) {
    SCOPED_TRACE(c.codec);
    const INT id = CodecIdNamed(c.codec);
    ASSERT_GE(id, 0) << "not in the list";
    const std::string path = Path(std::string(c.codec) + ".avi");
    const Stripes stripes(320, 240);
    Configure(path, 320, 240, 25.0, id);
    ASSERT_EQ(enc_->Start(), S_OK) << qcom::ErrorDescription(enc_.get(), IID_IAVIEncode);
    for (int n = 0; n < 10; ++n)
      ASSERT_EQ(enc_->WriteFrame(const_cast<BYTE*>(stripes.rows.data()), 0, 0), S_OK)
          << qcom::ErrorDescription(enc_.get(), IID_IAVIEncode);
    ASSERT_EQ(enc_->Finish(), S_OK);
    const auto pictures = outcheck::DecodePictures(path, {9}, 320, 240);
    ASSERT_EQ(pictures.size(), 1u);
    const std::vector<std::uint8_t>& p = pictures[0];
    for (int k = 0; k < 4; ++k) {
      const int x = 40 + 80 * k, y = 120;  // the middle of stripe k
      const int* want = Stripes::kColours[k];
      EXPECT_NEAR(p[y * 320 + x], want[0], c.tolerance) << "Y of stripe " << k;
      EXPECT_NEAR(p[320 * 240 + (y / 2) * 160 + x / 2], want[1], c.tolerance + 1) << "U of stripe " << k;
      EXPECT_NEAR(p[320 * 240 * 5 / 4 + (y / 2) * 160 + x / 2], want[2], c.tolerance + 1) << "V of stripe " << k;
    }
  }
}

// Each picture is shown at its own time: the AVI index holds one chunk per picture, with
// nothing in between (an empty chunk repeats the picture before and puts every later one,
// and the end of the pictures, a picture late against the sound).
TEST_F(AviEncodeTest, EveryCodecGivesEachPictureItsOwnTime) {
  for (const char* codec : {"DIVX", "XVID", "H.264", "FFV1"}) {
    SCOPED_TRACE(codec);
    const INT id = CodecIdNamed(codec);
    ASSERT_GE(id, 0) << "not in the list";
    const std::string path = Path(std::string(codec) + "-times.avi");
    Configure(path, 320, 240, 25.0, id);
    ASSERT_EQ(enc_->Start(), S_OK) << qcom::ErrorDescription(enc_.get(), IID_IAVIEncode);
    Write(320, 240, 25.0, 30, 1e9, true);
    ASSERT_EQ(enc_->Finish(), S_OK);
    const auto r = enctest::Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "packet=dts,size", "-of",
                        "csv=p=0", path});
    ASSERT_EQ(r.status, 0);
    std::vector<std::string> packets;
    for (std::size_t at = 0, next; at < r.out.size(); at = next + 1) {
      next = r.out.find('\n', at);
      if (next == std::string::npos) next = r.out.size();
      if (next > at) packets.push_back(r.out.substr(at, next - at));
    }
    ASSERT_EQ(packets.size(), 30u);
    for (int n = 0; n < 30; ++n) {
      const std::string& p = packets[static_cast<std::size_t>(n)];
      EXPECT_EQ(std::atoi(p.substr(0, p.find(',')).c_str()), n) << "picture " << n << ": " << p;
      EXPECT_GT(std::atoi(p.substr(p.find(',') + 1).c_str()), 0) << "picture " << n << ": " << p;
    }
    EXPECT_NEAR(JsonNumber(*StreamOfType(Probe(path), "video"), "duration"), 30 / 25.0, 1e-6);
  }
}

// The shape comes from the title a DVD data object has open on the encoder's thread: the
// sample disc's PAL title is 4:3, so its 720x576 pictures have pixels of 16:15.
TEST_F(AviEncodeTest, PicturesTakeTheShapeOfTheTitleOpenOnTheirThread) {
  const std::string disc = outsidetest::SampleVideoTs();
  ASSERT_TRUE(std::filesystem::exists(disc + "/VIDEO_TS.IFO")) << "no sample disc (target sample_dvd)";
  const Stripes stripes(720, 576);
  auto write = [&](IAVIEncode* enc, const std::string& path) {
    Bstr p(path);
    enc->SetOutputFile(p.get());
    enc->SetHeight(576);
    enc->SetWidth(720);
    enc->SetFrameRate(25.0);
    enc->SetSampleRate(44100);
    enc->SetCodec(CodecIdNamed("DIVX"));
    if (enc->Start() < 0) return false;
    const bool written = enc->WriteFrame(const_cast<BYTE*>(stripes.rows.data()), 0, 0) == S_OK;
    return enc->Finish() == S_OK && written;
  };

  ASSERT_TRUE(write(enc_.get(), Path("alone.avi")));
  auto shape = Shape(Path("alone.avi"));
  EXPECT_EQ(shape.first, "5:4") << "no title: square pixels";
  EXPECT_EQ(shape.second, std::make_pair(0, 0)) << "and no shape in the header";

  ComPtr<IDVDDataObj> data = Create<IDVDDataObj>(CLSID_DVDDataObj, IID_IDVDDataObj);
  ASSERT_TRUE(data);
  Bstr folder(disc);
  data->SetDvdPath(folder.get());
  data->SetTitle(0);
  data->SetAudioStream(0);
  data->SetFrameRate(25.0);
  data->SetSampleRate(44100);
  ASSERT_EQ(data->Open(), S_OK) << qcom::ErrorDescription(data.get(), IID_IDVDDataObj);
  ASSERT_TRUE(write(enc_.get(), Path("titled.avi")));
  shape = Shape(Path("titled.avi"));
  EXPECT_EQ(shape.first, "4:3");
  EXPECT_EQ(shape.second, std::make_pair(4, 3));

  // Another thread (another apartment) has no title open.
  std::thread other([&] {
    ASSERT_GE(CoInitialize(nullptr), 0);
    {
      ComPtr<IAVIEncode> enc = Create<IAVIEncode>(CLSID_AVIEncode, IID_IAVIEncode);
      EXPECT_TRUE(enc && write(enc.get(), Path("elsewhere.avi")));
    }
    CoUninitialize();
  });
  other.join();
  EXPECT_EQ(Shape(Path("elsewhere.avi")).second, std::make_pair(0, 0));

  // Once the reader is closed its title shapes nothing more.
  data->Close();
  ASSERT_TRUE(write(enc_.get(), Path("closed.avi")));
  EXPECT_EQ(Shape(Path("closed.avi")).second, std::make_pair(0, 0));
}

}  // namespace
