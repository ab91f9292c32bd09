// IDVDDataObj through the COM runtime, driven as the conversion thread drives it: picture
// counts at each frame rate, the sound that comes with each picture, subtitle burn-in,
// Force24, the end of the title, and bad settings and damaged discs.
#include <outside/dvd.h>
#include <support/files.h>

#include "outside_test_util.h"
#include "stuck_reads.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string_view>
#include <thread>
#include <vector>

using namespace outsidetest;

namespace {

struct Settings {
  std::string folder = SampleVideoTs();
  INT title = 0, pgc = 0, audio = 0, subtitle = -1, angle = 0, rate = 44100, force24 = 0;
  double fps = 25.0;
};

struct Picture {
  std::vector<BYTE> y, u, v;
  std::vector<std::int16_t> sound;
  std::uint32_t position = 0;
};

struct Chapter {
  std::uint32_t start, end;
  double seconds;
};

class DvdDataTest : public ComTest {
 protected:
  // The thread's set-up order: path, title, program chain, subtitle, audio, angle, frame
  // rate, sample rate, Force24, Open, Seek.
  ComPtr<IDVDDataObj> Start(const Settings& s, std::uint32_t start, HRESULT* openResult = nullptr) {
    auto data = Create<IDVDDataObj>(CLSID_DVDDataObj, IID_IDVDDataObj);
    if (!data) return data;
    Bstr path(s.folder);
    EXPECT_EQ(data->SetDvdPath(path.get()), S_OK);
    EXPECT_EQ(data->SetTitle(s.title), S_OK);
    EXPECT_EQ(data->SetProgramChain(s.pgc), S_OK);
    EXPECT_EQ(data->SetSubtitle(s.subtitle), S_OK);
    EXPECT_EQ(data->SetAudioStream(s.audio), S_OK);
    EXPECT_EQ(data->SetAngle(s.angle), S_OK);
    EXPECT_EQ(data->SetFrameRate(s.fps), S_OK);
    EXPECT_EQ(data->SetSampleRate(s.rate), S_OK);
    EXPECT_EQ(data->SetForce24(s.force24), S_OK);
    const HRESULT hr = data->Open();
    if (openResult) *openResult = hr;
    data->Seek(static_cast<INT>(start));
    return data;
  }

  // One ReadFrame plus GetPosition, as the thread does per picture.
  HRESULT Read(IDVDDataObj* data, int width, int height, Picture* p) {
    p->y.assign(static_cast<std::size_t>(width) * height, 0);
    p->u.assign(static_cast<std::size_t>(width / 2) * (height / 2), 0);
    p->v.assign(p->u.size(), 0);
    INT_PTR value1 = 0;
    INT value2 = -1;
    const HRESULT hr = data->ReadFrame(p->y.data(), p->u.data(), p->v.data(), &value1, &value2);
    if (hr < 0) return hr;
    EXPECT_GE(value2, 0);
    EXPECT_EQ(value2 % 4, 0) << "whole stereo 16-bit sample frames";
    if (value2 > 0) {
      EXPECT_NE(value1, 0);
      const auto* samples = reinterpret_cast<const std::int16_t*>(value1);
      p->sound.assign(samples, samples + value2 / 2);
    } else {
      p->sound.clear();
    }
    INT position = 0;
    EXPECT_EQ(data->GetPosition(&position), S_OK);
    p->position = static_cast<std::uint32_t>(position);
    return hr;
  }

  // The pictures of a chapter range: read until the position passes the end.
  std::vector<Picture> ReadRange(const Settings& s, std::uint32_t start, std::uint32_t end, int width, int height) {
    auto data = Start(s, start);
    std::vector<Picture> out;
    if (!data) return out;
    for (int guard = 0; guard < 5000; ++guard) {
      Picture p;
      const HRESULT hr = Read(data.get(), width, height, &p);
      EXPECT_GE(hr, 0) << qcom::ErrorDescription(data.get(), IID_IDVDDataObj);
      if (hr < 0 || hr == DVD_S_END_OF_TITLE || p.position > end) break;
      out.push_back(std::move(p));
    }
    EXPECT_EQ(data->Close(), S_OK);
    return out;
  }

  // Settings for a copy of the sample disc in scratch whose first VOB ends 100 sectors
  // into the second chapter, as on a damaged disc.
  Settings CutShortCopy(const ScratchDir& scratch, const Chapter& second) {
    const fs::path disc = scratch.CopySample();
    fs::resize_file(disc / "VTS_01_1.VOB", static_cast<std::uintmax_t>(second.start) * 2048 + 100 * 2048);
    Settings s;
    s.folder = disc.string();
    return s;
  }

  // Every picture of a title from its start, as a hash of its planes, and how reading ended.
  struct TitleRun {
    std::vector<std::size_t> pictures;
    HRESULT end = S_OK;
    std::string text;  // the error information of a failed end
  };
  TitleRun ReadTitle(const fs::path& folder, INT title = 0) {
    Settings s;
    s.folder = folder.string();
    s.title = title;
    auto data = Start(s, 0);
    TitleRun run;
    if (!data) return run;
    for (int guard = 0; guard < 2000 && run.end == S_OK; ++guard) {
      Picture p;
      run.end = Read(data.get(), 720, 576, &p);
      if (run.end != S_OK) break;
      const std::string_view y(reinterpret_cast<const char*>(p.y.data()), p.y.size());
      const std::string_view u(reinterpret_cast<const char*>(p.u.data()), p.u.size());
      run.pictures.push_back(std::hash<std::string_view>{}(y) ^ (std::hash<std::string_view>{}(u) << 1));
    }
    if (run.end < 0) run.text = qcom::ErrorDescription(data.get(), IID_IDVDDataObj);
    EXPECT_EQ(data->Close(), S_OK);
    return run;
  }

  std::vector<Chapter> Chapters(int title) {
    auto info = Create<IDVDInfObj>(CLSID_DVDInfObj, IID_IDVDInfObj);
    std::vector<Chapter> out;
    if (!info) return out;
    Bstr path(SampleVideoTs());
    EXPECT_EQ(info->OpenDvd(path.get()), S_OK);
    EXPECT_EQ(info->SelectTitle(title), S_OK);
    EXPECT_EQ(info->SelectProgramChain(0), S_OK);
    INT count = 0;
    EXPECT_EQ(info->GetChapterCount(&count), S_OK);
    for (INT i = 0; i < count; ++i) {
      INT a = 0, b = 0;
      double sec = 0;
      info->GetChapterStart(i, &a);
      info->GetChapterEnd(i, &b);
      info->GetChapterSeconds(i, &sec);
      out.push_back({static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b), sec});
    }
    return out;
  }
};

std::size_t TotalSoundBytes(const std::vector<Picture>& pictures) {
  std::size_t n = 0;
  for (const Picture& p : pictures) n += p.sound.size() * 2;
  return n;
}

// Frequency of the left channel's tone from its zero crossings.
double ToneHz(const std::vector<Picture>& pictures, std::size_t from, std::size_t count, int rate) {
  std::vector<std::int16_t> left;
  for (std::size_t i = from; i < from + count && i < pictures.size(); ++i)
    for (std::size_t s = 0; s < pictures[i].sound.size(); s += 2) left.push_back(pictures[i].sound[s]);
  int crossings = 0;
  for (std::size_t i = 1; i < left.size(); ++i)
    if ((left[i - 1] < 0) != (left[i] < 0)) ++crossings;
  return left.empty() ? 0.0 : crossings / 2.0 * rate / static_cast<double>(left.size());
}

int RepeatedPictures(const std::vector<Picture>& pictures) {
  int repeats = 0;
  for (std::size_t i = 1; i < pictures.size(); ++i)
    if (pictures[i].y == pictures[i - 1].y) ++repeats;
  return repeats;
}

TEST_F(DvdDataTest, ChapterRangeGivesThePicturesAndSoundOfItsDurationAtEachRate) {
  const auto chapters = Chapters(0);
  ASSERT_EQ(chapters.size(), 3u);
  const Chapter& ch = chapters[1];
  for (double fps : {25.0, 29.97, 23.976}) {
    SCOPED_TRACE(fps);
    Settings s;
    s.fps = fps;
    const auto pictures = ReadRange(s, ch.start, ch.end, 720, 576);
    const double expected = ch.seconds * fps;
    EXPECT_NEAR(static_cast<double>(pictures.size()), expected, 1.0);
    // Sound: exactly the samples of the pictures' total duration, spread picture by picture.
    const std::size_t frames = static_cast<std::size_t>(std::floor(pictures.size() * 44100.0 / fps + 1e-9));
    EXPECT_EQ(TotalSoundBytes(pictures), frames * 4);
    for (const Picture& p : pictures) EXPECT_NEAR(p.sound.size() / 2.0, 44100.0 / fps, 1.0);
    for (const Picture& p : pictures) {
      EXPECT_GE(p.position, ch.start);
      EXPECT_LE(p.position, ch.end);
    }
    // 25 to 25 shows every source picture once; 29.97 repeats about one in six.
    const int repeats = RepeatedPictures(pictures);
    if (fps == 29.97) {
      EXPECT_NEAR(repeats, pictures.size() / 6.0, 2.0);
    } else {
      EXPECT_EQ(repeats, 0);
    }
    // The English AC-3 stream carries a 440 Hz tone.
    EXPECT_NEAR(ToneHz(pictures, 10, 50, 44100), 440.0, 10.0);
  }
}

// Moves the video data of a VOB file between packs, without moving any sector, so that the
// video packet of a pack 31 sectors past a multiple of 32 from the cell's start (the last
// pack of one of the reader's 32-sector reads) ends 24 bytes after a picture start code.
// The room freed at the start of that pack becomes a padding packet; the bytes cut off go
// on through the cell's following video packs until the padding of some of them takes
// them. Returns the chosen sector, or 0 when none fits.
std::uint32_t PutPictureStartAtReadEnd(const fs::path& vob, std::uint32_t cellFirst, std::uint32_t cellLast) {
  std::vector<std::uint8_t> d = quill_test::ReadBytes(vob);
  const std::size_t sectors = std::min<std::size_t>(d.size() / 2048, cellLast + 1);
  struct Video {
    std::size_t start = 0, header = 0, end = 0;  // packet start, payload start, packet end (in the pack)
    bool padded = false;                         // a padding packet fills the pack after it
  };
  auto pack = [&](std::size_t s) { return d.data() + s * 2048; };
  auto video = [&](std::size_t s, Video* v) {
    const std::uint8_t* p = pack(s);
    if (p[0] || p[1] || p[2] != 1 || p[3] != 0xBA) return false;
    std::size_t pos = 14 + (p[13] & 7);
    if (p[pos] || p[pos + 1] || p[pos + 2] != 1 || p[pos + 3] != 0xE0) return false;
    v->start = pos;
    v->header = pos + 9 + p[pos + 8];
    v->end = pos + 6 + ((p[pos + 4] << 8) | p[pos + 5]);
    v->padded = v->end < 2048;
    if (!v->padded) return v->end == 2048;
    const std::uint8_t* q = p + v->end;
    return v->end + 6 <= 2048 && !q[0] && !q[1] && q[2] == 1 && q[3] == 0xBE &&
           v->end + 6 + ((q[4] << 8) | q[5]) == 2048;
  };
  auto packet = [](std::uint8_t* at, int sid, std::size_t length) {
    at[0] = 0, at[1] = 0, at[2] = 1, at[3] = static_cast<std::uint8_t>(sid);
    at[4] = static_cast<std::uint8_t>((length - 6) >> 8);
    at[5] = static_cast<std::uint8_t>(length - 6);
    if (sid == 0xBE) std::fill(at + 6, at + length, 0xFF);
  };

  std::vector<std::uint8_t> original = d;
  for (std::size_t s = cellFirst + 31; s < sectors; s += 32) {
    Video v;
    if (!video(s, &v) || v.padded) continue;
    const std::uint8_t* payload = pack(s) + v.header;
    const std::size_t size = v.end - v.header;
    std::size_t code = size;
    for (std::size_t i = 0; i + 4 <= size; ++i)
      if (!payload[i] && !payload[i + 1] && payload[i + 2] == 1 && payload[i + 3] == 0x00) {
        code = i;
        break;
      }
    if (code + 24 + 6 > size) continue;  // the freed room must hold a padding packet
    const std::size_t keep = code + 24;
    std::vector<std::uint8_t> carry(payload + keep, payload + size);

    // The chosen pack: a padding packet, then the shortened video packet up to the sector's end.
    std::uint8_t* p = pack(s);
    const std::vector<std::uint8_t> head(p + v.start, p + v.header + keep);
    const std::size_t freed = size - keep;
    packet(p + v.start, 0xBE, freed);
    std::copy(head.begin(), head.end(), p + v.start + freed);
    packet(p + v.start + freed, 0xE0, head.size());

    for (std::size_t t = s + 1; t < sectors && !carry.empty(); ++t) {
      Video w;
      if (!video(t, &w)) continue;
      std::uint8_t* q = pack(t);
      std::vector<std::uint8_t> data(carry);
      data.insert(data.end(), q + w.header, q + w.end);
      const std::size_t room = 2048 - w.header;
      std::size_t fit = std::min(room, data.size());
      if (room - fit != 0 && room - fit < 6) fit = room - 6;  // a padding packet needs 6 bytes
      std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(fit), q + w.header);
      packet(q + w.start, 0xE0, w.header + fit - w.start);
      if (w.header + fit < 2048) packet(q + w.header + fit, 0xBE, 2048 - w.header - fit);
      carry.assign(data.begin() + static_cast<std::ptrdiff_t>(fit), data.end());
    }
    if (!carry.empty()) {  // the cell has no room left for them: try the next read
      d = original;
      continue;
    }
    std::ofstream out(vob, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(d.data()), static_cast<std::streamsize>(d.size()));
    return static_cast<std::uint32_t>(s);
  }
  return 0;
}

// FFmpeg's video parser copies 64 bytes past a picture's end into its buffer; here that end
// lies 24 bytes before the end of a 32-sector read. Under AddressSanitizer this reads past
// the read buffer unless the parser is given padded data.
TEST_F(DvdDataTest, VideoPacketEndingAReadDecodesLikeTheSampleDisc) {
  const auto chapters = Chapters(0);
  ASSERT_EQ(chapters.size(), 3u);
  ScratchDir scratch;
  const fs::path disc = scratch.CopySample();
  const std::uint32_t sector = PutPictureStartAtReadEnd(disc / "VTS_01_1.VOB", chapters[0].start, chapters[0].end);
  ASSERT_NE(sector, 0u) << "no pack of the sample disc could be laid out on a read boundary";
  EXPECT_EQ((sector - chapters[0].start) % 32, 31u);

  const TitleRun moved = ReadTitle(disc);
  const TitleRun sample = ReadTitle(SampleDisc() / "VIDEO_TS");
  EXPECT_EQ(moved.end, DVD_S_END_OF_TITLE) << moved.text;
  EXPECT_EQ(moved.pictures.size(), 300u) << "12 seconds at 25 pictures a second";
  EXPECT_EQ(moved.pictures, sample.pictures) << "the same pictures, whatever packs carried them";
}

TEST_F(DvdDataTest, AudioStreamChoiceAndSampleRateReachTheSound) {
  const auto chapters = Chapters(0);
  ASSERT_EQ(chapters.size(), 3u);
  Settings s;
  s.audio = 1;  // German MPEG layer II: 660 Hz
  s.rate = 48000;
  const auto pictures = ReadRange(s, chapters[0].start, chapters[0].end, 720, 576);
  ASSERT_GT(pictures.size(), 60u);
  EXPECT_NEAR(pictures[10].sound.size() / 2.0, 48000 / 25.0, 0.5);
  EXPECT_NEAR(ToneHz(pictures, 10, 50, 48000), 660.0, 10.0);

  // No sound stream (-1): pictures come with silence of the right length.
  s.audio = -1;
  const auto silent = ReadRange(s, chapters[0].start, chapters[0].end, 720, 576);
  ASSERT_EQ(silent.size(), pictures.size());
  for (const Picture& p : silent) {
    ASSERT_EQ(p.sound.size(), 2u * 48000 / 25);
    for (std::int16_t v : p.sound) ASSERT_EQ(v, 0);
  }
}

TEST_F(DvdDataTest, NtscTitleWithLpcmReadsToTheEndOfTheTitle) {
  const int fds = OpenDescriptors();
  Settings s;
  s.title = 1;
  s.fps = 29.97;
  auto data = Start(s, 0);
  ASSERT_TRUE(data);
  std::vector<Picture> pictures;
  HRESULT hr = S_OK;
  for (int guard = 0; guard < 1000; ++guard) {
    Picture p;
    hr = Read(data.get(), 720, 480, &p);
    ASSERT_GE(hr, 0) << qcom::ErrorDescription(data.get(), IID_IDVDDataObj);
    if (hr == DVD_S_END_OF_TITLE) {
      EXPECT_EQ(p.position, DVD_POSITION_END) << "past every chapter's end";
      EXPECT_TRUE(p.sound.empty());
      break;
    }
    pictures.push_back(std::move(p));
  }
  ASSERT_EQ(hr, DVD_S_END_OF_TITLE);
  EXPECT_NEAR(static_cast<double>(pictures.size()), 6.0 * 29.97, 2.0);
  EXPECT_EQ(RepeatedPictures(pictures), 0);
  EXPECT_NEAR(ToneHz(pictures, 10, 60, 44100), 550.0, 10.0);
  // The end is reported again, not turned into a failure.
  Picture after;
  EXPECT_EQ(Read(data.get(), 720, 480, &after), DVD_S_END_OF_TITLE);
  // Seek starts over.
  ASSERT_EQ(data->Seek(0), S_OK);
  Picture first;
  ASSERT_EQ(Read(data.get(), 720, 480, &first), S_OK);
  EXPECT_EQ(first.y, pictures[0].y);
  EXPECT_EQ(first.position, pictures[0].position);
  // Releasing the object without Close leaves nothing open.
  data = nullptr;
  EXPECT_EQ(OpenDescriptors(), fds);
}

// Title 3 is two VOBs whose time stamps each start again; the first one's sound stops half
// a second before its pictures. The second VOB's sound must start with its pictures.
TEST_F(DvdDataTest, SoundStaysWithItsPicturesAcrossAJumpInTimeStamps) {
  Settings s;
  s.title = 2;
  const auto pictures = ReadRange(s, 0, 0x7FFFFFFF, 720, 576);
  ASSERT_NEAR(static_cast<double>(pictures.size()), 100.0, 1.0);
  auto silent = [&](std::size_t i) {
    for (std::int16_t v : pictures[i].sound)
      if (v) return false;
    return true;
  };
  EXPECT_NEAR(ToneHz(pictures, 2, 30, 44100), 440.0, 10.0);
  // From the first picture wholly after the first VOB's sound none of the second's comes early;
  // its time stamps put its first samples a few milliseconds before its first picture (50).
  for (std::size_t i = 38; i < 49; ++i) EXPECT_TRUE(silent(i)) << "picture " << i << " lies in the gap";
  EXPECT_NEAR(ToneHz(pictures, 51, 45, 44100), 880.0, 10.0);
  // The sound came back within a picture of the second VOB's first picture.
  std::size_t back = 0;
  for (std::size_t i = 38; i < pictures.size() && !back; ++i)
    if (!silent(i)) back = i;
  EXPECT_NEAR(static_cast<double>(back), 50.0, 1.0);
}

TEST_F(DvdDataTest, Force24TreatsTheNtscSourceAsFilm) {
  Settings s;
  s.title = 1;
  s.fps = 29.97;
  const std::uint32_t end = 0x7FFFFFFF;
  const auto plain = ReadRange(s, 0, end, 720, 480);
  s.force24 = 1;
  const auto film = ReadRange(s, 0, end, 720, 480);
  // Both last as long as the title; as film, every fifth picture repeats its predecessor.
  EXPECT_NEAR(static_cast<double>(film.size()), static_cast<double>(plain.size()), 1.0);
  EXPECT_EQ(RepeatedPictures(plain), 0);
  EXPECT_NEAR(RepeatedPictures(film), film.size() / 5.0, 2.0);
  s.fps = 23.976;
  const auto film24 = ReadRange(s, 0, end, 720, 480);
  EXPECT_NEAR(static_cast<double>(film24.size()), 6.0 * 23.976, 2.0);
  EXPECT_EQ(RepeatedPictures(film24), 0);
}

TEST_F(DvdDataTest, SubtitleIsBurnedInWhereItIsShown) {
  const auto chapters = Chapters(0);
  ASSERT_EQ(chapters.size(), 3u);
  Settings s;
  const auto plain = ReadRange(s, chapters[0].start, chapters[0].end, 720, 576);
  s.subtitle = 0;
  const auto burned = ReadRange(s, chapters[0].start, chapters[0].end, 720, 576);
  ASSERT_EQ(plain.size(), burned.size());
  ASSERT_GT(plain.size(), 90u);

  // Before 1 s the subtitle is not shown: identical pictures.
  EXPECT_EQ(plain[10].y, burned[10].y);
  EXPECT_EQ(plain[10].u, burned[10].u);
  // At 3 s the box (x 160..559, y 440..519) is drawn, nothing else changes.
  const Picture& a = plain[75];
  const Picture& b = burned[75];
  long inside = 0, changedOutside = 0;
  for (int y = 0; y < 576; ++y)
    for (int x = 0; x < 720; ++x) {
      const bool box = x >= 170 && x < 550 && y >= 450 && y < 510;
      const bool nearBox = x >= 150 && x < 570 && y >= 430 && y < 530;
      const int d = std::abs(int(a.y[y * 720 + x]) - int(b.y[y * 720 + x]));
      if (box) inside += b.y[y * 720 + x];
      else if (!nearBox && d) ++changedOutside;
    }
  EXPECT_EQ(changedOutside, 0);
  EXPECT_GT(inside / (380.0 * 60.0), 200.0) << "the box is white";
  EXPECT_NE(a.u, b.u) << "the chroma planes are blended too";
}

TEST_F(DvdDataTest, MethodsSitAtTheirTablePositions) {
  auto data = Create<IDVDDataObj>(CLSID_DVDDataObj, IID_IDVDDataObj);
  ASSERT_TRUE(data);
  void** table = *reinterpret_cast<void***>(data.get());
  using NoArg = HRESULT (*)(void*);
  using IntIn = HRESULT (*)(void*, INT);
  using DoubleIn = HRESULT (*)(void*, double);
  using BstrIn = HRESULT (*)(void*, BSTR);
  using IntOut = HRESULT (*)(void*, INT*);
  using ReadFn = HRESULT (*)(void*, BYTE*, BYTE*, BYTE*, INT_PTR*, INT*);
  for (int gap : {7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 26, 30})
    EXPECT_EQ(reinterpret_cast<NoArg>(table[gap])(data.get()), E_NOTIMPL) << "slot " << gap;

  Bstr path(SampleVideoTs());
  ASSERT_EQ(reinterpret_cast<BstrIn>(table[8])(data.get(), path.get()), S_OK);
  ASSERT_EQ(reinterpret_cast<IntIn>(table[10])(data.get(), 1), S_OK);   // title 2
  ASSERT_EQ(reinterpret_cast<IntIn>(table[12])(data.get(), 0), S_OK);
  ASSERT_EQ(reinterpret_cast<IntIn>(table[14])(data.get(), 0), S_OK);
  ASSERT_EQ(reinterpret_cast<IntIn>(table[16])(data.get(), -1), S_OK);
  ASSERT_EQ(reinterpret_cast<IntIn>(table[18])(data.get(), 0), S_OK);
  ASSERT_EQ(reinterpret_cast<DoubleIn>(table[20])(data.get(), 10.0), S_OK);
  ASSERT_EQ(reinterpret_cast<IntIn>(table[22])(data.get(), 8000), S_OK);
  ASSERT_EQ(reinterpret_cast<IntIn>(table[24])(data.get(), 0), S_OK);
  ASSERT_EQ(reinterpret_cast<NoArg>(table[27])(data.get()), S_OK) << qcom::ErrorDescription(data.get(), IID_IDVDDataObj);
  ASSERT_EQ(reinterpret_cast<IntIn>(table[28])(data.get(), 0), S_OK);
  std::vector<BYTE> y(720 * 480), u(360 * 240), v(360 * 240);
  INT_PTR value1 = 0;
  INT value2 = 0;
  ASSERT_EQ(reinterpret_cast<ReadFn>(table[29])(data.get(), y.data(), u.data(), v.data(), &value1, &value2), S_OK);
  EXPECT_EQ(value2, 800 * 4) << "8000 Hz at 10 pictures a second";
  INT position = -1;
  ASSERT_EQ(reinterpret_cast<IntOut>(table[31])(data.get(), &position), S_OK);
  EXPECT_GE(position, 0);
  EXPECT_EQ(reinterpret_cast<NoArg>(table[32])(data.get()), S_OK);
}

TEST_F(DvdDataTest, BadSettingsFailAtOpenAndAgainAtEachRead) {
  const int fds = OpenDescriptors();
  struct Case {
    const char* what;
    Settings s;
    const char* text;
  };
  ScratchDir empty;
  fs::create_directories(empty.path() / "VIDEO_TS");
  ScratchDir damaged;
  const fs::path damagedDisc = damaged.CopySample();
  TruncateIfo(damagedDisc, "VTS_01_0", 300);
  const std::vector<Case> cases = {
      {"missing folder", {.folder = "/nonexistent/quill/VIDEO_TS"}, "does not exist"},
      {"empty folder", {.folder = (empty.path() / "VIDEO_TS").string()}, "VIDEO_TS.IFO"},
      {"truncated IFO", {.folder = damagedDisc.string()}, "VTS_01_0.IFO"},
      {"audio", {.audio = 2}, "Audio stream 3 does not exist; the program chain has 2."},
      {"subtitle", {.subtitle = 1}, "Subtitle stream 2 does not exist; the program chain has 1."},
      {"angle", {.angle = 1}, "Angle 2 does not exist; the title has 1."},
      {"title", {.title = 3}, "Title 4 does not exist; the disc has 3 titles."},
      {"program chain", {.pgc = 1}, "Program chain 2 does not exist; the title has 1."},
      {"frame rate", {.fps = 0}, "frame rate"},
      {"huge frame rate", {.fps = 1e308}, "The frame rate 1e+308 cannot be delivered."},
      {"sample rate", {.rate = 0}, "sample rate"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HRESULT open = S_OK;
    auto data = Start(c.s, 0, &open);
    ASSERT_TRUE(data);
    EXPECT_LT(open, 0);
    EXPECT_NE(qcom::ErrorDescription(data.get(), IID_IDVDDataObj).find(c.text), std::string::npos);
    Picture p;
    EXPECT_LT(Read(data.get(), 720, 576, &p), 0) << "the thread only tests ReadFrame";
    EXPECT_NE(qcom::ErrorDescription(data.get(), IID_IDVDDataObj).find(c.text), std::string::npos);
    EXPECT_EQ(data->Close(), S_OK);
  }

  auto data = Create<IDVDDataObj>(CLSID_DVDDataObj, IID_IDVDDataObj);
  INT_PTR value1 = 0;
  INT value2 = 0;
  BYTE plane[16];
  EXPECT_EQ(data->ReadFrame(plane, plane, plane, &value1, &value2), E_UNEXPECTED) << "not open";
  EXPECT_FALSE(qcom::ErrorDescription(data.get(), IID_IDVDDataObj).empty());
  EXPECT_EQ(data->ReadFrame(nullptr, plane, plane, &value1, &value2), E_POINTER);
  EXPECT_EQ(data->GetPosition(nullptr), E_POINTER);
  data = nullptr;
  EXPECT_EQ(OpenDescriptors(), fds);
}

TEST_F(DvdDataTest, TruncatedVobFailsWithAReasonAndClosesEverything) {
  const int fds = OpenDescriptors();
  const auto chapters = Chapters(0);
  ASSERT_EQ(chapters.size(), 3u);
  {
    ScratchDir scratch;
    const Settings s = CutShortCopy(scratch, chapters[1]);
    auto data = Start(s, chapters[1].start);
    ASSERT_TRUE(data);
    HRESULT hr = S_OK;
    int pictures = 0;
    for (; pictures < 500; ++pictures) {
      Picture p;
      hr = Read(data.get(), 720, 576, &p);
      if (hr != S_OK) break;
    }
    EXPECT_LT(hr, 0);
    EXPECT_NE(qcom::ErrorDescription(data.get(), IID_IDVDDataObj).find("cannot be read"), std::string::npos);
    // Reading does not resume past the damage.
    Picture p;
    EXPECT_LT(Read(data.get(), 720, 576, &p), 0);
    EXPECT_EQ(data->Close(), S_OK);
  }
  EXPECT_EQ(OpenDescriptors(), fds);
}

std::uint32_t Get32(const std::uint8_t* at) {
  return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) | at[3];
}
void Put32(std::uint8_t* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
void WriteBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  quill_test::WriteFile(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Edits the cell table of title 1's program chain in VTS_01_0.IFO and its backup:
// edit(the 24-byte entry, its index).
void EditTitleCells(const fs::path& disc, const std::function<void(std::uint8_t*, int)>& edit) {
  for (const char* name : {"VTS_01_0.IFO", "VTS_01_0.BUP"}) {
    std::vector<std::uint8_t> b = quill_test::ReadBytes(disc / name);
    ASSERT_GE(b.size(), 3 * 2048u);
    const std::size_t chains = std::size_t{Get32(b.data() + 0xCC)} * 2048;
    const std::size_t chain = chains + Get32(b.data() + chains + 12);
    const std::size_t table = chain + ((b[chain + 0xE8] << 8) | b[chain + 0xE9]);
    ASSERT_LE(table + 24 * b[chain + 3], b.size());
    for (int i = 0; i < b[chain + 3]; ++i) edit(b.data() + table + 24 * i, i);
    WriteBytes(disc / name, b);
  }
}

constexpr std::uint8_t kInterleaved = 0x04;  // in the first byte of a cell's entry

// Sets the end address (relative to the pack) of the VOBU whose navigation pack is at
// `sector`, in the pack's DSI packet.
void SetVobuEnd(const fs::path& vob, std::uint32_t sector, std::uint32_t end) {
  std::vector<std::uint8_t> b = quill_test::ReadBytes(vob);
  std::uint8_t* pack = b.data() + std::size_t{sector} * 2048;
  ASSERT_LE((sector + 1) * 2048u, b.size());
  ASSERT_TRUE(pack[0x400] == 0 && pack[0x401] == 0 && pack[0x402] == 1 && pack[0x403] == 0xBF && pack[0x406] == 1)
      << "no navigation pack at sector " << sector;
  ASSERT_EQ(Get32(pack + 0x407 + 4), sector) << "the pack names itself";
  Put32(pack + 0x407 + 8, end);
  WriteBytes(vob, b);
}

// With every cell read VOBU by VOBU through its navigation packs, a pack whose end address
// wraps the 32-bit sector count (the next VOBU at nav + end + 1 is the pack itself, or lies
// before it) made reading go round forever. Such a VOBU ends before the next navigation
// pack: the title reads as the sample disc does.
TEST_F(DvdDataTest, NavigationPacksWhoseEndWrapsTheSectorCountReadOnToTheNextUnit) {
  ScratchDir scratch;
  const fs::path disc = scratch.CopySample();
  EditTitleCells(disc, [](std::uint8_t* cell, int) { cell[0] |= kInterleaved; });
  SetVobuEnd(disc / "VTS_01_1.VOB", 143, 0xFFFFFFFFu);  // back onto itself
  SetVobuEnd(disc / "VTS_01_1.VOB", 541, 0xFFFFFF00u);  // back 256 sectors
  EndsWithin(std::chrono::seconds(120), [&] {
    const TitleRun run = ReadTitle(disc);
    const TitleRun sample = ReadTitle(SampleVideoTs());
    EXPECT_EQ(run.end, DVD_S_END_OF_TITLE) << run.text;
    EXPECT_EQ(run.pictures.size(), 300u);
    EXPECT_EQ(run.pictures, sample.pictures);
  });
}

// A first cell whose last sector is 0xFFFFFFFF held no sector at all for a count made in
// 32 bits. It is read to where the VOB files end, and that sector is named.
TEST_F(DvdDataTest, ACellEndingOnTheLastSectorNumberIsReadToTheEndOfTheFiles) {
  const auto sectors = static_cast<std::uint32_t>(fs::file_size(SampleDisc() / "VIDEO_TS" / "VTS_01_1.VOB") / 2048);
  const TitleRun sample = ReadTitle(SampleVideoTs());
  for (bool interleaved : {false, true}) {
    SCOPED_TRACE(interleaved ? "interleaved" : "contiguous");
    ScratchDir scratch;
    const fs::path disc = scratch.CopySample();
    EditTitleCells(disc, [&](std::uint8_t* cell, int index) {
      if (index == 0) Put32(cell + 20, 0xFFFFFFFFu);
      if (interleaved) cell[0] |= kInterleaved;
    });
    EndsWithin(std::chrono::seconds(120), [&] {
      const TitleRun run = ReadTitle(disc);
      EXPECT_EQ(run.pictures, sample.pictures) << "every picture the files hold";
      EXPECT_LT(run.end, 0);
      EXPECT_EQ(run.text, "Sector " + std::to_string(sectors) +
                              " of the title's video files cannot be read: the VOB files are shorter than the "
                              "disc's IFO files say, or the disc is damaged.");
    });
  }
}

// A VOB cut 8 sectors into one of the reader's 32-sector reads: the error names the first
// missing sector, and the title gives every picture the sectors before it hold, as a disc
// whose sectors from there on are blank does.
TEST_F(DvdDataTest, ADiscCutInsideAReadNamesTheCutAndKeepsThePicturesBeforeIt) {
  const auto chapters = Chapters(0);
  ASSERT_EQ(chapters.size(), 3u);
  const std::uint32_t cut = chapters[0].start + 15 * 32 + 8;
  ASSERT_LT(cut, chapters[0].end);
  ScratchDir cutScratch, blankScratch;
  const fs::path cutDisc = cutScratch.CopySample(), blankDisc = blankScratch.CopySample();
  fs::resize_file(cutDisc / "VTS_01_1.VOB", std::uintmax_t{cut} * 2048);
  std::vector<std::uint8_t> vob = quill_test::ReadBytes(blankDisc / "VTS_01_1.VOB");
  std::fill(vob.begin() + std::ptrdiff_t{cut} * 2048, vob.end(), 0);
  WriteBytes(blankDisc / "VTS_01_1.VOB", vob);

  const TitleRun cutRun = ReadTitle(cutDisc);
  const TitleRun blankRun = ReadTitle(blankDisc);
  EXPECT_EQ(cutRun.text, "Sector " + std::to_string(cut) +
                             " of the title's video files cannot be read: the VOB files are shorter than the "
                             "disc's IFO files say, or the disc is damaged.");
  EXPECT_EQ(blankRun.end, DVD_S_END_OF_TITLE) << blankRun.text;
  EXPECT_GT(blankRun.pictures.size(), 30u);
  EXPECT_EQ(cutRun.pictures, blankRun.pictures);
}

// Named pipes among the VOB files: libdvdread opens every part of a title set at once, and
// opening a pipe for reading waits for a writer for good (so did the conversion thread,
// and the stop button after it). They are refused at once, by name.
TEST_F(DvdDataTest, VideoFilesThatAreNamedPipesAreRefusedAtOnce) {
  ScratchDir scratch;
  const fs::path disc = scratch.CopySample();
  fs::remove(disc / "VTS_01_1.VOB");
  ASSERT_EQ(::mkfifo((disc / "VTS_01_1.VOB").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((disc / "VTS_02_2.VOB").c_str(), 0600), 0);  // as a second part of title 2
  EndsWithin(std::chrono::seconds(120), [&] {
    for (const auto& [title, name] : {std::pair{0, "VTS_01_1.VOB"}, std::pair{1, "VTS_02_2.VOB"}}) {
      SCOPED_TRACE(name);
      Settings s;
      s.folder = disc.string();
      s.title = title;
      HRESULT open = S_OK;
      auto data = Start(s, 0, &open);
      ASSERT_TRUE(data);
      EXPECT_LT(open, 0);
      const std::string text =
          std::string("The video file ") + name + " of the title cannot be read: it is a named pipe, not a file.";
      EXPECT_EQ(qcom::ErrorDescription(data.get(), IID_IDVDDataObj), text);
      Picture p;
      EXPECT_LT(Read(data.get(), 720, 480, &p), 0) << "the thread's first picture ends the run";
      EXPECT_EQ(qcom::ErrorDescription(data.get(), IID_IDVDDataObj), text);
      EXPECT_EQ(data->Close(), S_OK);
    }
    EXPECT_EQ(ReadTitle(disc, 2).end, DVD_S_END_OF_TITLE) << "the other title sets read as ever";
  });
}

// A read of the disc that never returns (a dead drive, a hung network mount): the picture
// that waits for it fails after the time limit with the sector's number, and closing the
// reader does not wait for the read either; the stuck read is left to end by itself.
TEST_F(DvdDataTest, AReadThatNeverReturnsFailsAfterTheTimeLimitAndCloseDoesNotWait) {
  ScratchDir scratch;
  const fs::path disc = scratch.CopySample();
  EndsWithin(std::chrono::seconds(240), [&] {
    Settings s;
    s.folder = disc.string();
    auto data = Start(s, 0);
    ASSERT_TRUE(data);
    Picture p;
    for (int i = 0; i < 20; ++i) ASSERT_EQ(Read(data.get(), 720, 576, &p), S_OK);
    ASSERT_TRUE(HoldReads((disc / "VTS_01_1.VOB").string()));
    HRESULT hr = S_OK;
    for (int i = 0; i < 500 && hr == S_OK; ++i) hr = Read(data.get(), 720, 576, &p);
    EXPECT_LT(hr, 0);
    const std::string text = qcom::ErrorDescription(data.get(), IID_IDVDDataObj);
    EXPECT_TRUE(text.starts_with("Sector ")) << text;
    EXPECT_NE(text.find(" of the title's video files could not be read within 15 seconds: the disc is damaged or "
                        "the drive does not answer."),
              std::string::npos)
        << text;
    EXPECT_EQ(HeldReads(), 1) << "the read is still under way";
    EXPECT_EQ(data->Close(), S_OK);
    data = nullptr;
    ReleaseReads();
  });
}

// Marks every video packet of a VOB file as scrambled, as on a CSS-encrypted disc read
// without its keys.
void ScrambleVideo(const fs::path& vob) {
  std::fstream f(vob, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<unsigned char> s(2048);
  for (std::streamoff at = 0; f.read(reinterpret_cast<char*>(s.data()), 2048); at += 2048) {
    if (s[0] != 0 || s[1] != 0 || s[2] != 1 || s[3] != 0xBA) continue;
    std::size_t pos = 14 + (s[13] & 7);
    while (pos + 9 <= 2048 && s[pos] == 0 && s[pos + 1] == 0 && s[pos + 2] == 1) {
      if (s[pos + 3] == 0xE0) s[pos + 6] |= 0x10;
      pos += 6 + ((s[pos + 4] << 8) | s[pos + 5]);
    }
    f.seekp(at);
    f.write(reinterpret_cast<const char*>(s.data()), 2048);
    f.seekg(at + 2048);
  }
}

// Sets the scrambling bits of the video packet of the n-th video pack of a VOB file, as
// one flipped bit would; returns that pack's sector.
std::uint32_t ScrambleOneVideoPacket(const fs::path& vob, int n) {
  std::fstream f(vob, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<unsigned char> s(2048);
  for (std::uint32_t sector = 0; f.read(reinterpret_cast<char*>(s.data()), 2048); ++sector) {
    const std::size_t pos = 14 + (s[13] & 7);
    if (s[3] != 0xBA || s[pos] != 0 || s[pos + 1] != 0 || s[pos + 2] != 1 || s[pos + 3] != 0xE0 || n-- > 0)
      continue;
    s[pos + 6] |= 0x10;
    f.seekp(static_cast<std::streamoff>(sector) * 2048);
    f.write(reinterpret_cast<const char*>(s.data()), 2048);
    return sector;
  }
  return 0;
}

TEST_F(DvdDataTest, AScrambledPacketIsDamageAndTheTitleReadsToItsEnd) {
  const int fds = OpenDescriptors();
  {
    ScratchDir scratch;
    const fs::path disc = scratch.CopySample();
    ASSERT_GT(ScrambleOneVideoPacket(disc / "VTS_01_1.VOB", 400), 0u);
    Settings s;
    s.folder = disc.string();
    auto data = Start(s, 0);
    ASSERT_TRUE(data);
    int pictures = 0;
    HRESULT hr = S_OK;
    for (; pictures < 1000; ++pictures) {
      Picture p;
      hr = Read(data.get(), 720, 576, &p);
      if (hr != S_OK) break;
    }
    EXPECT_EQ(hr, DVD_S_END_OF_TITLE) << qcom::ErrorDescription(data.get(), IID_IDVDDataObj);
    EXPECT_EQ(pictures, 300) << "the whole 12 seconds";
  }
  EXPECT_EQ(OpenDescriptors(), fds);
}

TEST_F(DvdDataTest, EncryptedDiscIsReportedAsSuch) {
  const int fds = OpenDescriptors();
  {
    ScratchDir scratch;
    const fs::path disc = scratch.CopySample();
    ScrambleVideo(disc / "VTS_01_1.VOB");
    Settings s;
    s.folder = disc.string();
    auto data = Start(s, 0);
    ASSERT_TRUE(data);
    Picture p;
    EXPECT_LT(Read(data.get(), 720, 576, &p), 0);
    EXPECT_NE(qcom::ErrorDescription(data.get(), IID_IDVDDataObj).find("encrypted"), std::string::npos);
  }
  EXPECT_EQ(OpenDescriptors(), fds);
}

// --- Reading ahead ---------------------------------------------------------------------

// What ReadFrame and GetPosition handed out for one picture, as digests.
struct Delivered {
  HRESULT hr = S_OK;
  std::uint32_t position = 0;
  std::uint64_t planes = 0, sound = 0;
  std::size_t soundBytes = 0;
  bool operator==(const Delivered&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Delivered& d) {
  return os << "hr " << std::hex << d.hr << std::dec << " at " << d.position << " sound " << d.soundBytes;
}

// `count` reads (or up to two past the end of the title), one picture after another.
std::vector<Delivered> Deliveries(IDVDDataObj* data, int width, int height, int count) {
  std::vector<Delivered> out;
  std::vector<BYTE> y(static_cast<std::size_t>(width) * height), u(y.size() / 4), v(y.size() / 4);
  int pastEnd = 0;
  for (int i = 0; i < count && pastEnd < 2; ++i) {
    INT_PTR value1 = 0;
    INT value2 = 0;
    Delivered d;
    d.hr = data->ReadFrame(y.data(), u.data(), v.data(), &value1, &value2);
    if (d.hr < 0) {
      out.push_back(d);
      break;
    }
    INT position = 0;
    data->GetPosition(&position);
    d.position = static_cast<std::uint32_t>(position);
    d.planes = Digest(v.data(), v.size(), Digest(u.data(), u.size(), Digest(y.data(), y.size())));
    d.soundBytes = static_cast<std::size_t>(value2);
    if (value2 > 0) d.sound = Digest(reinterpret_cast<const void*>(value1), d.soundBytes);
    pastEnd += d.hr == DVD_S_END_OF_TITLE;
    out.push_back(d);
  }
  return out;
}

TEST_F(DvdDataTest, ReadingAheadDeliversWhatReadingInTheCallersThreadDelivers) {
  struct Case {
    INT title;
    int width, height;
    double fps;
  };
  // PAL with AC-3, NTSC with LPCM at another rate, two VOBs whose time stamps start again.
  for (const Case c : {Case{0, 720, 576, 25.0}, Case{1, 720, 480, 23.976}, Case{2, 720, 576, 29.97}}) {
    SCOPED_TRACE(c.title);
    const auto chapters = Chapters(c.title);
    ASSERT_FALSE(chapters.empty());
    Settings s;
    s.title = c.title;
    s.fps = c.fps;
    auto run = [&](bool serial) {
      SerialServers mode(serial);
      auto data = Start(s, chapters.front().start);
      // The whole title, then a seek back into it while the worker is reading.
      std::vector<Delivered> all = Deliveries(data.get(), c.width, c.height, 5000);
      data->Seek(static_cast<INT>(chapters.back().start));
      const auto few = Deliveries(data.get(), c.width, c.height, 20);
      data->Seek(static_cast<INT>(chapters.front().start));
      const auto again = Deliveries(data.get(), c.width, c.height, 30);
      // A seek back gives what the first reading gave, sound included: nothing of the
      // decoders' last state is carried over.
      EXPECT_TRUE(std::equal(again.begin(), again.end(), all.begin())) << (serial ? "serial" : "ahead");
      all.insert(all.end(), few.begin(), few.end());
      all.insert(all.end(), again.begin(), again.end());
      EXPECT_EQ(data->Close(), S_OK);
      return all;
    };
    const auto serial = run(true);
    const auto ahead = run(false);
    ASSERT_GT(serial.size(), 100u);
    EXPECT_EQ(std::count_if(serial.begin(), serial.end(), [](const Delivered& d) { return d.hr == DVD_S_END_OF_TITLE; }),
              2);
    ASSERT_EQ(ahead.size(), serial.size());
    for (std::size_t i = 0; i < serial.size(); ++i) ASSERT_EQ(ahead[i], serial[i]) << "read " << i;
  }
}

TEST_F(DvdDataTest, AFailureReadAheadComesAtTheReadOfItsPictureAndNotBefore) {
  const auto chapters = Chapters(0);
  ASSERT_EQ(chapters.size(), 3u);
  ScratchDir scratch;
  const Settings s = CutShortCopy(scratch, chapters[1]);
  auto run = [&](bool serial, int reads, std::string* error) {
    SerialServers mode(serial);
    auto data = Start(s, chapters[0].start);
    const auto out = Deliveries(data.get(), 720, 576, reads);
    *error = out.back().hr < 0 ? qcom::ErrorDescription(data.get(), IID_IDVDDataObj) : "";
    EXPECT_EQ(data->Close(), S_OK);
    return out;
  };
  std::string serialError, aheadError;
  const auto serial = run(true, 5000, &serialError);
  const auto ahead = run(false, 5000, &aheadError);
  ASSERT_GT(serial.size(), 20u);
  ASSERT_LT(serial.back().hr, 0);
  EXPECT_FALSE(serialError.empty());
  EXPECT_EQ(ahead, serial);
  EXPECT_EQ(aheadError, serialError);

  // A run that stops a few pictures before the damage hears nothing of it, though the
  // worker has read that far.
  std::string error = "none";
  const auto stopped = run(false, static_cast<int>(serial.size()) - 3, &error);
  EXPECT_EQ(error, "");
  for (const Delivered& d : stopped) EXPECT_EQ(d.hr, S_OK);
}

TEST_F(DvdDataTest, ThePicturesSoundStaysUntilTheNextReadWhileTheWorkerReadsOn) {
  const auto chapters = Chapters(0);
  ASSERT_EQ(chapters.size(), 3u);
  Settings s;
  auto data = Start(s, chapters[0].start);
  std::vector<BYTE> y(720 * 576), u(y.size() / 4), v(y.size() / 4);
  for (int n = 0; n < 10; ++n) {
    INT_PTR value1 = 0;
    INT value2 = 0;
    ASSERT_EQ(data->ReadFrame(y.data(), u.data(), v.data(), &value1, &value2), S_OK);
    ASSERT_GT(value2, 0);
    const auto* sound = reinterpret_cast<const std::int16_t*>(value1);
    const std::vector<std::int16_t> copy(sound, sound + value2 / 2);
    // Meanwhile the worker fills its slots with the next pictures and their sound.
    std::this_thread::sleep_for(std::chrono::milliseconds(n == 0 ? 300 : 20));
    ASSERT_TRUE(std::equal(copy.begin(), copy.end(), sound)) << "picture " << n;
  }
  EXPECT_EQ(data->Close(), S_OK);
}

TEST_F(DvdDataTest, ReadingAheadHoldsOnlyAFewPicturesWhileNoneIsTaken) {
  const auto chapters = Chapters(0);
  ASSERT_EQ(chapters.size(), 3u);
  Settings s;
  {
    // The libraries and their first allocations are in place before measuring.
    auto warm = Start(s, chapters[0].start);
    Deliveries(warm.get(), 720, 576, 10);
  }
  const std::size_t before = ResidentBytes();
  auto data = Start(s, chapters[0].start);
  // Until the reader rests: resident memory within a megabyte over half a second (the
  // title's 300 pictures would need 180 MB).
  auto apart = [](std::size_t a, std::size_t b) { return a > b ? a - b : b - a; };
  std::size_t last = 0, now = ResidentBytes();
  for (int i = 0; i < 100 && apart(now, last) >= (1u << 20); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    last = now;
    now = ResidentBytes();
  }
  EXPECT_LT(apart(now, last), 1u << 20) << "the reader kept reading";
  EXPECT_LT(now - std::min(now, before), 40u << 20) << "from " << before << " to " << now;
  // It goes on where it stopped.
  const auto first = Deliveries(data.get(), 720, 576, 1);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].hr, S_OK);
  EXPECT_LE(first[0].position, chapters[0].end);
}

TEST_F(DvdDataTest, ClosingOrReleasingWhileTheWorkerReadsEndsIt) {
  const int fds = OpenDescriptors();
  const auto chapters = Chapters(0);
  ASSERT_EQ(chapters.size(), 3u);
  Settings s;
  for (int round = 0; round < 5; ++round) {
    auto data = Start(s, chapters[0].start);
    if (round % 2) {
      Deliveries(data.get(), 720, 576, round);
    }
    for (int seek = 0; seek < round; ++seek) data->Seek(static_cast<INT>(chapters[seek % 3].start));
    if (round % 3 == 0) {
      EXPECT_EQ(data->Close(), S_OK);
    }
    data = nullptr;
  }
  EXPECT_EQ(OpenDescriptors(), fds);
}

}  // namespace
