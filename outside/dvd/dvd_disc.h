// What a VIDEO_TS folder holds, read from its IFO files with libdvdread: titles, their
// program chains, cells, chapters, sound and subtitle streams. Shared by both DVD servers
// so that their indexes and positions agree.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct dvd_reader_s;

namespace outside {

using Deadline = std::chrono::steady_clock::time_point;

// A failure whose text the user sees; thrown inside the servers, turned into an HRESULT
// with error information at the COM boundary.
class DvdError : public std::runtime_error {
 public:
  explicit DvdError(const std::string& text, std::int32_t hr = static_cast<std::int32_t>(0x80004005u))
      : std::runtime_error(text), hr_(hr) {}
  std::int32_t Result() const { return hr_; }  // the HRESULT the caller gets

 private:
  std::int32_t hr_;
};
// The HRESULT of a request for something that does not exist (E_INVALIDARG).
inline constexpr std::int32_t kDvdBadIndex = static_cast<std::int32_t>(0x80070057u);

struct DvdCell {
  std::uint32_t firstSector = 0;
  std::uint32_t lastSector = 0;
  double seconds = 0;
  bool angleBlock = false;   // one of the alternative cells of an angle block
  bool blockStart = false;   // first cell of its angle block
  bool interleaved = false;  // its sectors are interleaved with other angles' units
};

struct DvdChapter {
  std::uint32_t startSector = 0;
  std::uint32_t endSector = 0;
  double seconds = 0;
};

enum class AudioFormat { Ac3, Mpeg1, Mpeg2Ext, Lpcm, Dts, Sdds, Unknown };

struct DvdAudioStream {
  int substreamId = 0;    // 0x80+n AC-3, 0x88+n DTS, 0xA0+n LPCM, 0xC0+n MPEG (stream id)
  AudioFormat format = AudioFormat::Unknown;
  std::string name;       // e.g. "English AC3 2ch"
};

struct DvdSubtitleStream {
  int substreamId = 0;    // 0x20+n
  std::string name;
};

struct DvdProgramChain {
  std::vector<DvdCell> cells;
  std::vector<DvdChapter> chapters;
  std::vector<DvdAudioStream> audio;
  std::vector<DvdSubtitleStream> subtitles;
  std::uint32_t palette[16] = {};  // 0x00YYCrCb, for the sub-pictures
  double seconds = 0;
};

struct DvdTitle {
  int titleSet = 0;   // VTS number (from 1)
  int angles = 1;
  int chapterCount = 0;
  int width = 0;
  int height = 0;
  bool pal = true;
  bool wide = false;  // shown at 16:9, else at 4:3
  std::vector<DvdProgramChain> programChains;
};

// Cells to read for one angle, in playback order: in an angle block only that angle's cell.
std::vector<DvdCell> CellsForAngle(const DvdProgramChain& pgc, int angle);

// Language name of an ISO 639-1 code ("en" -> "English"); the code itself when unknown,
// "Unknown" for none.
std::string LanguageName(std::uint16_t code);

class DiscWorker;

// An open disc. The IFO of a title set is read when a title of it is first asked for.
// Every access to the disc runs on the disc's worker thread, each within a time limit.
class DvdDisc {
 public:
  // videoFolder: the VIDEO_TS folder or the folder that holds it.
  explicit DvdDisc(const std::string& videoFolder);
  ~DvdDisc();
  DvdDisc(const DvdDisc&) = delete;
  DvdDisc& operator=(const DvdDisc&) = delete;

  int TitleCount() const { return static_cast<int>(titleSets_.size()); }
  // Throws DvdError when the index is out of range or the title set cannot be read.
  const DvdTitle& Title(int index);
  // The thread that does the disc's input and output, and libdvdread's reader, which only
  // tasks of that thread may use.
  DiscWorker& Worker() { return *worker_; }
  dvd_reader_s* Reader() const { return reader_; }
  const std::string& VideoTs() const { return videoTs_; }

  // A title as VIDEO_TS.IFO lists it.
  struct TitleRef {
    int titleSet;
    int titleInSet;
    int angles;
    int chapters;
  };
  // The command (for RunIsolated) that runs the first parse of one IFO set of the disc at
  // `root` in the IFO checking program: set 0 is VIDEO_TS.IFO's title list, any other the
  // title set with every title of it among `refs`.
  static std::vector<std::string> ProbeCommand(const std::string& root, int set, const std::vector<TitleRef>& refs);
  // What the IFO checking program runs for the arguments of such a command (without the
  // program's path): true when the parse passed or failed with a reason, false when
  // libdvdread refused the set. Throws std::invalid_argument for arguments that no
  // command gives; a crash in libdvdread takes the process with it.
  static bool Probe(const std::vector<std::string>& args);

 private:
  struct Opened;
  // The worker's tasks: they own what they use, since a stuck one outlives its caller.
  static Opened Open(const std::string& path, Deadline deadline);
  static dvd_reader_s* OpenReader(const std::string& root);
  // Reads the list of titles from VIDEO_TS.IFO; false when libdvdread cannot read it.
  static bool ReadTitleList(dvd_reader_s* reader, std::vector<TitleRef>* titles);
  // The parse of a title set in the probe: every title of the set. False when libdvdread
  // refuses the set.
  static bool ProbeTitleSet(const std::string& root, int set, const std::vector<TitleRef>& refs);
  // Reads a title from its title set's IFO; a null reader reports the set as unreadable.
  static DvdTitle ReadTitle(dvd_reader_s* reader, const TitleRef& ref, int index);
  static std::string SetName(int titleSet);  // "VTS_01_0"

  std::unique_ptr<DiscWorker> worker_;
  std::string root_;     // the folder that holds VIDEO_TS
  std::string videoTs_;  // the VIDEO_TS folder itself
  dvd_reader_s* reader_ = nullptr;
  std::vector<TitleRef> titleSets_;
  std::vector<std::optional<DvdTitle>> titles_;
};

}  // namespace outside
