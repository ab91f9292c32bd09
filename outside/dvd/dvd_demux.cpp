#include "dvd_demux.h"

#include "dvd_ifo_guard.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/nav_read.h>
#include <dvdread/nav_types.h>

#include <algorithm>

namespace outside {

namespace {

std::int64_t ReadPts(const std::uint8_t* p) {
  return (static_cast<std::int64_t>((p[0] >> 1) & 7) << 30) | (static_cast<std::int64_t>(p[1]) << 22) |
         (static_cast<std::int64_t>(p[2] >> 1) << 15) | (static_cast<std::int64_t>(p[3]) << 7) | (p[4] >> 1);
}

bool HasStartCode(const std::uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }

bool CarriesMedia(int sid) { return sid == 0xBD || (sid >= 0xC0 && sid <= 0xEF); }

const char kEncrypted[] =
    "This DVD is encrypted (CSS). Encrypted discs cannot be decoded here; copy the disc "
    "with its decryption to a folder first.";

}  // namespace

bool SplitPack(const std::uint8_t* pack, std::uint32_t sector,
               const std::function<void(const DvdPayload&)>& sink, PackCounts* counts) {
  PackCounts ignored;
  if (!counts) counts = &ignored;
  if (!HasStartCode(pack) || pack[3] != 0xBA) return false;
  std::size_t pos;
  if ((pack[4] & 0xC0) == 0x40) pos = 14 + (pack[13] & 7);  // MPEG-2 pack header
  else if ((pack[4] & 0xF0) == 0x20) pos = 12;               // MPEG-1 pack header
  else return false;

  while (pos + 6 <= kSectorSize) {
    const std::uint8_t* p = pack + pos;
    if (!HasStartCode(p) || p[3] == 0xB9) break;
    const int sid = p[3];
    if (sid == 0xBA) break;
    const std::size_t end = pos + 6 + ((static_cast<std::size_t>(p[4]) << 8) | p[5]);
    if (end > kSectorSize) break;  // a packet never crosses its pack: the rest is damaged
    if (CarriesMedia(sid)) {
      ++counts->media;
      DvdPayload out;
      out.streamId = sid;
      out.sector = sector;
      std::size_t h = pos + 6;
      if (h < end && (pack[h] & 0xC0) == 0x80) {  // MPEG-2 PES header
        if (end - h < 3) { pos = end; continue; }
        if (pack[h] & 0x30) {  // scrambled: its payload means nothing without the disc's keys
          ++counts->scrambled;
          pos = end;
          continue;
        }
        const std::uint8_t flags = pack[h + 1];
        const std::size_t headerEnd = h + 3 + pack[h + 2];
        if (headerEnd > end) { pos = end; continue; }
        if ((flags & 0x80) && h + 8 <= headerEnd) out.pts = ReadPts(pack + h + 3);
        h = headerEnd;
      } else {  // MPEG-1 PES header: stuffing, buffer size, time stamps
        while (h < end && pack[h] == 0xFF) ++h;
        if (h + 2 <= end && (pack[h] & 0xC0) == 0x40) h += 2;
        if (h < end && (pack[h] & 0xF0) == 0x20 && h + 5 <= end) {
          out.pts = ReadPts(pack + h);
          h += 5;
        } else if (h < end && (pack[h] & 0xF0) == 0x30 && h + 10 <= end) {
          out.pts = ReadPts(pack + h);
          h += 10;
        } else if (h < end && pack[h] == 0x0F) {
          ++h;
        }
      }
      if (sid == 0xBD) {
        if (h >= end) { pos = end; continue; }
        const int sub = pack[h];
        out.substreamId = sub;
        std::size_t skip;
        if (sub >= 0x20 && sub <= 0x3F) skip = 1;
        else if ((sub >= 0x80 && sub <= 0x8F) || (sub >= 0xA0 && sub <= 0xAF)) skip = 4;
        else { pos = end; continue; }
        if (h + skip > end) { pos = end; continue; }
        h += skip;
      }
      if (h < end) {
        out.data = pack + h;
        out.size = end - h;
        sink(out);
      }
    }
    pos = end;
  }
  return true;
}

void ScrambleWatch::Add(bool scrambled) {
  if (count_ == kStretch) scrambled_ -= recent_[next_];
  else ++count_;
  recent_[next_] = scrambled;
  scrambled_ += scrambled;
  next_ = (next_ + 1) % kStretch;
}

void ScrambleWatch::Note(const PackCounts& counts) {
  for (int i = 0; i < counts.media; ++i) {
    Add(i < counts.scrambled);
    if (count_ == kStretch && scrambled_ * 2 > kStretch) throw DvdError(kEncrypted);
  }
}

void ScrambleWatch::Finish() {
  if (scrambled_ > 0 && scrambled_ * 2 > count_) throw DvdError(kEncrypted);
}

void ScrambleWatch::Reset() { *this = ScrambleWatch(); }

bool IsNavPack(const std::uint8_t* pack) {
  return HasStartCode(pack) && pack[3] == 0xBA && HasStartCode(pack + 0x400) && pack[0x403] == 0xBF &&
         pack[0x406] == 0x01;
}

VobuSpan FollowVobu(std::uint32_t nav, std::uint32_t vobuEnd, std::uint32_t ilvuEnd, std::uint32_t nextIlvuStart,
                    std::uint32_t cellLast) {
  VobuSpan span;
  const std::uint64_t end = std::uint64_t{nav} + vobuEnd;  // never wraps the sector count
  if (end > cellLast) {
    span.last = cellLast;
    span.endKnown = false;
    span.next = std::uint64_t{cellLast} + 1;
    return span;
  }
  span.last = end;
  span.next = end + 1;
  // The last VOBU of an interleaved unit: the same angle goes on in its next unit, past
  // the other angles' units. A unit address that does not lead past this VOBU is damage:
  // reading goes on in sector order.
  if (ilvuEnd != 0 && vobuEnd == ilvuEnd && nextIlvuStart != 0 && nextIlvuStart < 0x7FFFFFFFu)
    span.next = std::max(span.next, std::uint64_t{nav} + nextIlvuStart);
  return span;
}

namespace {

struct FileCloser {
  void operator()(dvd_file_s* f) const { DVDCloseFile(f); }
};
using FilePtr = std::unique_ptr<dvd_file_s, FileCloser>;

// The title set's VOB files, once each is known to be a regular file: libdvdread opens
// them all at once, and opening a named pipe would wait for a writer for good.
FilePtr OpenVobs(dvd_reader_s* reader, const std::string& videoTs, int titleSet) {
  const std::string set = "VTS_" + std::string(titleSet < 10 ? "0" : "") + std::to_string(titleSet) + "_";
  for (int part = 1; part <= 9; ++part) {
    const std::string name = set + std::to_string(part) + ".VOB";
    const std::string path = FindDiscFile(videoTs, name);
    if (const std::string kind = path.empty() ? "" : SpecialFileKind(path); !kind.empty())
      throw DvdError("The video file " + name + " of the title cannot be read: it is " + kind + ", not a file.");
  }
  FilePtr file(DVDOpenFile(reader, titleSet, DVD_READ_TITLE_VOBS));
  if (!file) throw DvdError("The video files (" + set + "1.VOB ...) of the title cannot be opened.");
  return file;
}

// Reads count sectors from `sector`. When that fails, reads them one by one up to the
// first that cannot be read, so that what lies before damage is kept. Returns how many
// were read.
std::size_t ReadBlocks(dvd_file_s* file, std::uint64_t sector, std::size_t count, std::uint8_t* out) {
  // libdvdread counts sectors in an int; no disc reaches that far.
  constexpr std::uint64_t kBeyond = std::uint64_t{1} << 31;
  if (sector >= kBeyond) return 0;
  count = static_cast<std::size_t>(std::min<std::uint64_t>(count, kBeyond - sector));
  const ssize_t got = DVDReadBlocks(file, static_cast<int>(sector), count, out);
  if (got == static_cast<ssize_t>(count)) return count;
  std::size_t good = got > 0 ? std::min(static_cast<std::size_t>(got), count) : 0;
  while (good < count && DVDReadBlocks(file, static_cast<int>(sector + good), 1, out + good * kSectorSize) == 1)
    ++good;
  return good;
}

}  // namespace

SectorReader::SectorReader(DvdDisc& disc, int titleSet, std::vector<DvdCell> cells)
    : worker_(disc.Worker()),
      cells_(std::move(cells)),
      landing_(std::make_shared<std::vector<std::uint8_t>>()) {
  file_ = worker_
              .Call([reader = disc.Reader(), videoTs = disc.VideoTs(), titleSet](
                        Deadline) { return OpenVobs(reader, videoTs, titleSet); },
                    "The title's video files")
              .release();
  Seek(cells_.empty() ? 0 : cells_.front().firstSector);
}

SectorReader::~SectorReader() {
  // Closed on the worker, after a read that may still be under way.
  if (file_) worker_.Post([file = file_] { DVDCloseFile(file); });
}

void SectorReader::Seek(std::uint32_t sector) {
  inVobu_ = false;
  cell_ = cells_.size();
  for (std::size_t i = 0; i < cells_.size(); ++i) {
    if (sector <= cells_[i].lastSector) {
      cell_ = i;
      next_ = std::max(sector, cells_[i].firstSector);
      return;
    }
  }
}

void SectorReader::NextCell() {
  inVobu_ = false;
  if (++cell_ < cells_.size()) next_ = cells_[cell_].firstSector;
}

std::size_t SectorReader::ReadSectors(std::uint64_t sector, std::size_t count, std::uint8_t* buffer) {
  std::size_t got = 0;
  // A sector known to be unreadable is not asked for again: a damaged disc may take long
  // over each try.
  if (!unreadable_ || *unreadable_ != sector) {
    if (unreadable_ && *unreadable_ > sector && *unreadable_ < sector + count)
      count = static_cast<std::size_t>(*unreadable_ - sector);
    // A new buffer rather than a larger one: a read given up on may still write into the old.
    if (landing_->size() < count * kSectorSize)
      landing_ = std::make_shared<std::vector<std::uint8_t>>(count * kSectorSize);
    got = worker_.Call([file = file_, landing = landing_, sector, count](
                           Deadline) { return ReadBlocks(file, sector, count, landing->data()); },
                       "Sector " + std::to_string(sector) + " of the title's video files");
    std::copy_n(landing_->data(), got * kSectorSize, buffer);
    if (got < count) unreadable_ = sector + got;
  }
  if (got == 0)
    throw DvdError("Sector " + std::to_string(sector) + " of the title's video files cannot be read: " +
                   "the VOB files are shorter than the disc's IFO files say, or the disc is damaged.");
  return got;
}

std::size_t SectorReader::Read(std::uint8_t* buffer, std::size_t maxSectors, std::uint32_t* first) {
  // How many sectors from next_ on, up to `last`, one read takes.
  const auto upTo = [&](std::uint64_t last) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(maxSectors, last - next_ + 1));
  };
  // Every step moves next_ forward or ends the VOBU or the cell: addresses from the disc
  // cannot make reading go round in circles.
  while (cell_ < cells_.size() && maxSectors > 0) {
    const DvdCell& cell = cells_[cell_];
    const std::uint64_t cellLast = cell.lastSector;
    if (next_ > cellLast) {
      NextCell();
      continue;
    }
    if (!cell.interleaved) {
      const std::size_t n = ReadSectors(next_, upTo(cellLast), buffer);
      *first = static_cast<std::uint32_t>(next_);
      next_ += n;
      return n;
    }
    if (!inVobu_) {
      ReadSectors(next_, 1, buffer);
      if (!IsNavPack(buffer)) {  // not at a VOBU start: the data may belong to another angle
        ++next_;
        continue;
      }
      dsi_t dsi;
      navRead_DSI(&dsi, buffer + DSI_START_BYTE);
      const auto nav = static_cast<std::uint32_t>(next_);
      vobu_ = FollowVobu(nav, dsi.dsi_gi.vobu_ea, dsi.sml_pbi.ilvu_ea, dsi.sml_pbi.ilvu_sa, cell.lastSector);
      *first = nav;
      inVobu_ = vobu_.last > nav;
      next_ = inVobu_ ? next_ + 1 : vobu_.next;
      return 1;
    }
    std::size_t n = ReadSectors(next_, upTo(vobu_.last), buffer);
    if (!vobu_.endKnown) {
      // Its navigation pack gave no usable end: it ends before the next one.
      std::size_t k = 0;
      while (k < n && !IsNavPack(buffer + k * kSectorSize)) ++k;
      if (k < n) {
        vobu_.last = next_ + k - 1;
        vobu_.next = next_ + k;
        n = k;
      }
    }
    *first = static_cast<std::uint32_t>(next_);
    next_ += n;
    if (next_ > vobu_.last) {
      inVobu_ = false;
      next_ = vobu_.next;
    }
    if (n > 0) return n;
  }
  return 0;
}

}  // namespace outside
