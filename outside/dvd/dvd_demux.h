// Reading a program chain's sectors in playback order and splitting the 2048-byte packs
// of the MPEG program stream into the payloads of its elementary streams.
#pragma once

#include "dvd_disc.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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

// Where an interleaved cell's reading goes around one VOBU, from the addresses its
// navigation pack gives (relative to the pack, as its DSI has them). Whatever they say,
// reading moves forward and stays inside the cell.
struct VobuSpan {
  std::uint64_t last = 0;  // the VOBU's last sector
  // False when the pack's end address lies outside the cell: the VOBU then ends before the
  // next navigation pack, found by sector order (`last` is the cell's last sector).
  bool endKnown = true;
  // The sector after it: this angle's next interleaved unit when the VOBU ends its unit,
  // else the next VOBU in sector order. Past cellLast: the cell ends here.
  std::uint64_t next = 0;
};
VobuSpan FollowVobu(std::uint32_t nav, std::uint32_t vobuEnd, std::uint32_t ilvuEnd, std::uint32_t nextIlvuStart,
                    std::uint32_t cellLast);

// Reads the sectors of a list of cells in order through libdvdread, on the disc's worker
// thread (each read within its time limit).
class SectorReader {
 public:
  // The disc must outlive the reader. Throws DvdError when the title's VOB files cannot be
  // opened or one of them is not a regular file.
  SectorReader(DvdDisc& disc, int titleSet, std::vector<DvdCell> cells);
  ~SectorReader();
  SectorReader(const SectorReader&) = delete;
  SectorReader& operator=(const SectorReader&) = delete;

  // The next read starts at `sector`, or at the first cell after it when it lies between
  // cells; past the last cell the reader is at its end.
  void Seek(std::uint32_t sector);
  // Reads up to maxSectors consecutive sectors into buffer; *first receives the number of
  // the first one. Returns 0 at the end of the cells. A read that fails part-way gives the
  // sectors before the first unreadable one; the next call throws DvdError naming it.
  std::size_t Read(std::uint8_t* buffer, std::size_t maxSectors, std::uint32_t* first);

 private:
  // Reads up to count sectors from `sector`; returns how many of them, from the first on,
  // could be read. Throws DvdError when not even the first can be.
  std::size_t ReadSectors(std::uint64_t sector, std::size_t count, std::uint8_t* buffer);
  void NextCell();

  DiscWorker& worker_;
  std::vector<DvdCell> cells_;
  dvd_file_s* file_ = nullptr;  // used by the worker's tasks only
  // The worker reads into this and the caller copies out, so that a read given up on
  // never writes into the caller's buffer.
  std::shared_ptr<std::vector<std::uint8_t>> landing_;
  std::optional<std::uint64_t> unreadable_;  // the first sector a read could not get
  std::size_t cell_ = 0;
  std::uint64_t next_ = 0;
  // Interleaved cells are read one VOBU at a time: the current VOBU, if any.
  bool inVobu_ = false;
  VobuSpan vobu_;
};

}  // namespace outside
