#include "dvd_demux.h"

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

std::uint32_t NextVobuSector(std::uint32_t nav, std::uint32_t vobuEnd, std::uint32_t ilvuEnd,
                             std::uint32_t nextIlvuStart) {
  const std::uint32_t following = nav + vobuEnd + 1;
  // The last VOBU of an interleaved unit: the same angle goes on in its next unit.
  if (ilvuEnd != 0 && vobuEnd == ilvuEnd && nextIlvuStart != 0 && nextIlvuStart < 0x7FFFFFFFu &&
      nav + nextIlvuStart > nav)
    return nav + nextIlvuStart;
  return following;
}

SectorReader::SectorReader(DvdDisc& disc, int titleSet, std::vector<DvdCell> cells)
    : cells_(std::move(cells)) {
  file_ = DVDOpenFile(disc.Reader(), titleSet, DVD_READ_TITLE_VOBS);
  if (!file_)
    throw DvdError("The video files (VTS_" + std::string(titleSet < 10 ? "0" : "") + std::to_string(titleSet) +
                   "_1.VOB ...) of the title cannot be opened.");
  Seek(cells_.empty() ? 0 : cells_.front().firstSector);
}

SectorReader::~SectorReader() {
  if (file_) DVDCloseFile(file_);
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

void SectorReader::ReadSectors(std::uint32_t sector, std::size_t count, std::uint8_t* buffer) {
  const ssize_t got = DVDReadBlocks(file_, static_cast<int>(sector), count, buffer);
  if (got != static_cast<ssize_t>(count))
    throw DvdError("Sector " + std::to_string(sector) + " of the title's video files cannot be read: " +
                   "the VOB files are shorter than the disc's IFO files say, or the disc is damaged.");
}

std::size_t SectorReader::Read(std::uint8_t* buffer, std::size_t maxSectors, std::uint32_t* first) {
  while (cell_ < cells_.size() && maxSectors > 0) {
    const DvdCell& cell = cells_[cell_];
    if (next_ > cell.lastSector) {
      inVobu_ = false;
      if (++cell_ < cells_.size()) next_ = cells_[cell_].firstSector;
      continue;
    }
    if (!cell.interleaved) {
      const std::size_t n = std::min<std::size_t>(maxSectors, cell.lastSector - next_ + 1);
      ReadSectors(next_, n, buffer);
      *first = next_;
      next_ += static_cast<std::uint32_t>(n);
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
      *first = next_;
      vobuLast_ = next_ + dsi.dsi_gi.vobu_ea;
      vobuNext_ = NextVobuSector(next_, dsi.dsi_gi.vobu_ea, dsi.sml_pbi.ilvu_ea, dsi.sml_pbi.ilvu_sa);
      inVobu_ = vobuLast_ > next_;
      next_ = inVobu_ ? next_ + 1 : vobuNext_;
      return 1;
    }
    const std::size_t n = std::min<std::size_t>(
        {maxSectors, static_cast<std::size_t>(vobuLast_ - next_ + 1), static_cast<std::size_t>(cell.lastSector - next_ + 1)});
    ReadSectors(next_, n, buffer);
    *first = next_;
    next_ += static_cast<std::uint32_t>(n);
    if (next_ > vobuLast_) {
      inVobu_ = false;
      next_ = vobuNext_;
    }
    return n;
  }
  return 0;
}

}  // namespace outside
