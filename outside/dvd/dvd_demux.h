// Reading a program chain's sectors in playback order and splitting the 2048-byte packs
// of the MPEG program stream into the payloads of its elementary streams.
#pragma once

#include "dvd_disc.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct dvd_file_s;

namespace outside {

inline constexpr std::size_t kSectorSize = 2048;
inline constexpr std::int64_t kNoPts = INT64_MIN;

// One elementary-stream payload found in a pack.
struct DvdPayload {
  int streamId = 0;      // 0xE0.. video, 0xC0.. MPEG audio, 0xBD private stream 1
  int substreamId = -1;  // for private stream 1: 0x20.. sub-picture, 0x80.. AC-3, 0x88.. DTS, 0xA0.. LPCM
  std::int64_t pts = kNoPts;  // 90 kHz
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::uint32_t sector = 0;
};

// What one pack held: its media packets (sound, pictures, sub-pictures) and how many of
// them were scrambled.
struct PackCounts {
  int media = 0;
  int scrambled = 0;
};

// Splits one pack. AC-3/DTS/LPCM payloads start after their frame count and first-access
// pointer (LPCM keeps its 3-byte header for the decoder); sub-picture payloads after the
// substream byte. Returns false for a sector that is not a program-stream pack (skipped).
// A scrambled packet is not handed on; counts (when given) says how many there were.
bool SplitPack(const std::uint8_t* pack, std::uint32_t sector,
               const std::function<void(const DvdPayload&)>& sink, PackCounts* counts = nullptr);

// Tells an encrypted title from damage. A packet with its scrambling bits set is damage
// (one flipped bit does it) and is skipped; when most media packets of a stretch are
// scrambled, the disc is encrypted and reading cannot go on.
class ScrambleWatch {
 public:
  static constexpr int kStretch = 64;  // media packets

  // Throws DvdError (the disc is encrypted) once most of the last kStretch media packets
  // were scrambled.
  void Note(const PackCounts& counts);
  // At the end of the data: the same test over a title shorter than a stretch.
  void Finish();
  void Reset();

 private:
  void Add(bool scrambled);
  bool recent_[kStretch] = {};
  int count_ = 0;       // media packets seen, up to kStretch
  int next_ = 0;        // where the next one goes in recent_
  int scrambled_ = 0;   // scrambled among the last count_
};

// True when the sector is a navigation pack (its DSI packet tells where the VOBU ends).
bool IsNavPack(const std::uint8_t* pack);

// The sector after a VOBU of an interleaved cell: the next unit of the same angle when
// this VOBU ends its interleaved unit, else the next VOBU. Addresses are relative to the
// navigation pack at `nav`, as its DSI gives them.
std::uint32_t NextVobuSector(std::uint32_t nav, std::uint32_t vobuEnd, std::uint32_t ilvuEnd,
                             std::uint32_t nextIlvuStart);

// Reads the sectors of a list of cells in order through libdvdread.
class SectorReader {
 public:
  // The disc must outlive the reader.
  SectorReader(DvdDisc& disc, int titleSet, std::vector<DvdCell> cells);
  ~SectorReader();
  SectorReader(const SectorReader&) = delete;
  SectorReader& operator=(const SectorReader&) = delete;

  // The next read starts at `sector`, or at the first cell after it when it lies between
  // cells; past the last cell the reader is at its end.
  void Seek(std::uint32_t sector);
  // Reads up to maxSectors consecutive sectors into buffer; *first receives the number of
  // the first one. Returns 0 at the end of the cells. Throws DvdError on a read failure.
  std::size_t Read(std::uint8_t* buffer, std::size_t maxSectors, std::uint32_t* first);

 private:
  void ReadSectors(std::uint32_t sector, std::size_t count, std::uint8_t* buffer);

  std::vector<DvdCell> cells_;
  dvd_file_s* file_ = nullptr;
  std::size_t cell_ = 0;
  std::uint32_t next_ = 0;
  // Interleaved cells are read one VOBU at a time: the last sector of the current VOBU,
  // or none while the next navigation pack is still to be found.
  bool inVobu_ = false;
  std::uint32_t vobuLast_ = 0;
  std::uint32_t vobuNext_ = 0;
};

}  // namespace outside
