// libFuzzer target of the DVD reader's pack path: an input is the start of title 1's
// VOB file on a copy of the sample disc (two reads' worth, zeros after a short input). It is read as the data object reads it, 32
// sectors at a time through libdvdread, split into packets, watched for scrambling and
// decoded (pictures, AC-3 sound, sub-pictures), until the data ends or a DvdError.
#include "dvd_decode.h"
#include "dvd_demux.h"
#include "dvd_disc.h"
#include "fuzz_dvd_support.h"

extern "C" {
#include <libswscale/swscale.h>
}

using namespace fuzzdvd;
using namespace outside;

namespace {
constexpr std::size_t kSectors = 64;  // an input fills two of the reader's reads
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  const std::string dir = CorpusDir(*argc, *argv);
  const fs::path vob = SampleVideoTs() / "VTS_01_1.VOB";
  WriteSeed(dir, "seed-start", ReadFile(vob, kSectors * kSectorSize));
  WriteSeed(dir, "seed-middle", ReadFile(vob, kSectors * kSectorSize, 300 * kSectorSize));
  ScratchDisc();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& disc = ScratchDisc();
  // The file always holds whole reads; the cells are cut to it, so reading ends as a title does.
  Bytes vob(data, data + std::min(size, kSectors * kSectorSize));
  vob.resize(kSectors * kSectorSize, 0);
  WriteFile(disc / "VTS_01_1.VOB", vob.data(), vob.size());
  SwsContext* scaler = nullptr;
  try {
    DvdDisc dvd(disc.string());
    const DvdTitle& title = dvd.Title(0);
    if (title.programChains.empty()) return 0;
    const DvdProgramChain& pgc = title.programChains[0];
    DecoderSettings settings;
    if (!pgc.audio.empty() && pgc.audio[0].substreamId) {
      settings.audioFormat = pgc.audio[0].format;
      settings.audioStreamId = pgc.audio[0].substreamId >= 0xC0 ? pgc.audio[0].substreamId : 0xBD;
      settings.audioSubstreamId = pgc.audio[0].substreamId >= 0xC0 ? -1 : pgc.audio[0].substreamId;
    }
    if (!pgc.subtitles.empty()) settings.subtitleSubstreamId = pgc.subtitles[0].substreamId;
    std::copy(std::begin(pgc.palette), std::end(pgc.palette), settings.palette);

    std::vector<DvdCell> cells;
    for (DvdCell c : CellsForAngle(pgc, 0))
      if (c.firstSector < kSectors) {
        c.lastSector = std::min<std::uint32_t>(c.lastSector, kSectors - 1);
        cells.push_back(c);
      }
    SectorReader reader(dvd, title.titleSet, cells);
    TitleDecoder decoder(settings);
    ScrambleWatch scrambling;
    // Exactly one read's worth, as in the data object: a read past it is caught.
    std::vector<std::uint8_t> buffer(32 * kSectorSize);
    std::vector<std::uint8_t> y(title.width * title.height), u(y.size() / 4), v(y.size() / 4);
    std::vector<std::int16_t> sound;
    auto deliver = [&](std::size_t keep) {
      while (decoder.Pictures().size() > keep) {
        const DecodedPicture& p = decoder.Pictures().front();
        CopyPicture(p.frame, title.width, title.height, y.data(), u.data(), v.data(), &scaler);
        if (const AVSubtitle* sub = decoder.SubtitleAt(p.pts))
          BurnSubtitle(*sub, title.width, title.height, y.data(), u.data(), v.data());
        decoder.TakeSound(1764, &sound);
        decoder.DropFront();
      }
    };
    try {
      for (;;) {
        std::uint32_t first = 0;
        const std::size_t got = reader.Read(buffer.data(), 32, &first);
        if (got == 0) {
          scrambling.Finish();
          decoder.Finish();
          break;
        }
        for (std::size_t i = 0; i < got; ++i) {
          PackCounts counts;
          SplitPack(buffer.data() + i * kSectorSize, first + static_cast<std::uint32_t>(i),
                    [&](const DvdPayload& p) { decoder.Feed(p); }, &counts);
          scrambling.Note(counts);
        }
        deliver(2);
      }
    } catch (const DvdError&) {
    }
    deliver(0);
  } catch (const DvdError&) {
  }
  sws_freeContext(scaler);
  return 0;
}
