// Sound and pictures of the conversion thread's files in step, judged from the files: on
// every title of the sample disc (PAL, NTSC, and two VOBs whose time stamps start again)
// in every kind of file, the pictures' count and rate against the source VOB's and the
// sound against the pictures; where the time stamps start again, where the sound is heard.
#include <support/disc_checks.h>

#include "conversion_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace convtest;

namespace {

struct Kind {
  int kind;
  const char* codec;  // of the AVI encoder's list
  const char* name;   // ffprobe's name of the picture codec
  const char* file;
};

const Kind kKinds[] = {{0, "", "mpeg1video", ".mpg"},
                       {1, "", "mpeg2video", ".mpg"},
                       {2, "DIVX", "mpeg4", ".avi"},
                       {2, "FFV1", "ffv1", ".avi"}};

class ConvertTimingTest : public ConversionTest {
 protected:
  // The whole of title `title` (counted from 0) in `kind`, converted to a file of the scratch folder.
  TConversionSettings Whole(const Kind& kind, int title) {
    auto s = Settings(kind.kind, title, 0, ChapterCount(videoTs_, title) - 1,
                      Path("title" + std::to_string(title + 1) + "-" + kind.name + kind.file));
    if (kind.kind == 2) {
      s.codec = CodecIdNamed(kind.codec);
      EXPECT_GE(s.codec, 0) << kind.codec << " is not in the codec list";
    }
    return s;
  }

  // ffprobe's count of the pictures of the title's VOB.
  int SourcePictures(int title) {
    const std::string vob = videoTs_ + "/VTS_0" + std::to_string(title + 1) + "_1.VOB";
    auto probe = Probe(vob);
    const auto* v = probe.is_null() ? nullptr : StreamOfType(probe, "video");
    return v ? static_cast<int>(JsonNumber(*v, "nb_read_frames")) : -1;
  }
};

// The tone of a stretch of decoded sound from its zero crossings; 0 when it is silent.
double ToneHz(const DecodedSound& sound, double from, double seconds) {
  const auto first = static_cast<std::size_t>(std::max(0.0, from) * sound.rate);
  const std::size_t last = std::min(sound.samples.size(), first + static_cast<std::size_t>(seconds * sound.rate));
  int crossings = 0, peak = 0;
  for (std::size_t i = first; i < last; ++i) {
    peak = std::max(peak, std::abs(static_cast<int>(sound.samples[i])));
    if (i > first && (sound.samples[i] < 0) != (sound.samples[i - 1] < 0)) ++crossings;
  }
  return peak < 300 || last <= first ? 0 : crossings / 2.0 / seconds;
}

TEST_F(ConvertTimingTest, EveryTitleInEveryKindKeepsItsPicturesRateAndSoundInStep) {
  for (int title = 0; title < 3; ++title) {
    const int source = SourcePictures(title);
    ASSERT_GT(source, 0);
    for (const Kind& kind : kKinds) {
      const auto s = Whole(kind, title);
      SCOPED_TRACE(s.outputFile);
      EXPECT_EQ(Run(s)->Outcome(), TConvertOutcome::Completed);
      if (kind.kind < 2) quill_test::ExpectDiscPlayable(s.outputFile);
      const bool ntsc = range_.height == 480;
      const double fps = ntsc ? 30000.0 / 1001 : 25;
      ExpectConvertedFile(s.outputFile, kind.kind == 2 ? "avi" : "mpeg", kind.name, s.outputWidth, s.outputHeight,
                          kind.kind == 2 ? "mp3" : "mp2", 44100, fps, range_.seconds);
      auto probe = Probe(s.outputFile);
      ASSERT_FALSE(probe.is_null());
      const auto& v = *StreamOfType(probe, "video");
      EXPECT_EQ(v["r_frame_rate"], ntsc ? "30000/1001" : "25/1");
      EXPECT_EQ(JsonNumber(v, "nb_read_frames"), source);
      if (ntsc && kind.kind < 2) {
        EXPECT_EQ(JsonNumber(v, "width"), kind.kind == 0 ? 352 : 480);
        EXPECT_EQ(JsonNumber(v, "height"), kind.kind == 0 ? 240 : 480);
      }
      const DecodedSound sound = DecodeSound(s.outputFile, probe);
      std::printf("[ measured ] title %d %s: %s %s pictures %d (source %d), %.3f s from %.3f s; sound %.3f s from "
                  "%.3f s\n",
                  title + 1, kind.name, v["r_frame_rate"].get<std::string>().c_str(),
                  (std::to_string(static_cast<int>(JsonNumber(v, "width"))) + "x" +
                   std::to_string(static_cast<int>(JsonNumber(v, "height"))))
                      .c_str(),
                  static_cast<int>(JsonNumber(v, "nb_read_frames")), source, JsonNumber(v, "nb_read_frames") / fps,
                  v.contains("start_time") ? JsonNumber(v, "start_time") : 0.0, sound.Seconds(), sound.start);
    }
  }
  EXPECT_TRUE(boxes_.empty());
}

// Title 3's first VOB has 2 s of pictures and 1.5 s of 440 Hz; the second starts its time
// stamps again with 880 Hz from its first picture on, and a demultiplexer meets some of its
// sound before its pictures. On the pictures' clock: the tone, silence, then the second
// tone from 2 s on, with none of it early in the silence.
TEST_F(ConvertTimingTest, TheSecondVobsSoundIsHeardWithItsPicturesInEveryKind) {
  for (const Kind& kind : kKinds) {
    const auto s = Whole(kind, 2);
    SCOPED_TRACE(s.outputFile);
    EXPECT_EQ(Run(s)->Outcome(), TConvertOutcome::Completed);
    if (kind.kind < 2) quill_test::ExpectDiscPlayable(s.outputFile);
    auto probe = Probe(s.outputFile);
    ASSERT_FALSE(probe.is_null());
    const auto& v = *StreamOfType(probe, "video");
    const DecodedSound sound = DecodeSound(s.outputFile, probe);
    ASSERT_GT(sound.rate, 0);
    // Seconds of the pictures' clock to seconds of the decoded sound.
    const double lead = sound.start - (v.contains("start_time") ? JsonNumber(v, "start_time") : 0.0);
    constexpr double kWindow = 0.02;
    double back = 0;  // where the sound comes back after the silence
    for (double t = 0.1; t + kWindow < 3.9; t += kWindow) {
      const double hz = ToneHz(sound, t - lead, kWindow);
      SCOPED_TRACE(std::to_string(t) + " s");
      // The first tone's end rings on in a sound coder for some milliseconds.
      if (t < 1.44) {
        EXPECT_NEAR(hz, 440, 40);
      } else if (t > 1.52 && t + kWindow < 1.94) {
        EXPECT_FALSE(std::abs(hz - 880) < 60) << "the second VOB's tone before its pictures";
        if (t > 1.56) {
          EXPECT_EQ(hz, 0) << "sound in the silence between the VOBs";
        }
      } else if (t > 2.1) {
        EXPECT_NEAR(hz, 880, 40);
      }
      if (t > 1.6 && hz > 0 && back == 0) back = t;
    }
    // Within a picture (and an MP3 coder's start-up delay) of the second VOB's first picture.
    EXPECT_NEAR(back, 2.0, 0.06);
    std::printf("[ measured ] %s: the second tone is back at %.2f s of the pictures' clock\n", kind.name, back);
  }
  EXPECT_TRUE(boxes_.empty());
}

}  // namespace
