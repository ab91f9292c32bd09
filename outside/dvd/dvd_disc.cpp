#include "dvd_disc.h"

#include "dvd_ifo_guard.h"

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <set>
#include <string_view>

namespace outside {

namespace {

int Bcd(std::uint8_t v) { return (v >> 4) * 10 + (v & 0x0F); }

double Seconds(const dvd_time_t& t) {
  const double fps = (t.frame_u >> 6) == 1 ? 25.0 : 30000.0 / 1001.0;
  return Bcd(t.hour) * 3600.0 + Bcd(t.minute) * 60.0 + Bcd(t.second) +
         Bcd(t.frame_u & 0x3F) / fps;
}

// IFO handles close on every path out of a scope.
struct IfoCloser {
  void operator()(ifo_handle_t* ifo) const { ifoClose(ifo); }
};
using IfoPtr = std::unique_ptr<ifo_handle_t, IfoCloser>;

const char* FormatName(AudioFormat f) {
  switch (f) {
    case AudioFormat::Ac3: return "AC3";
    case AudioFormat::Mpeg1: return "MPEG";
    case AudioFormat::Mpeg2Ext: return "MPEG2";
    case AudioFormat::Lpcm: return "LPCM";
    case AudioFormat::Dts: return "DTS";
    case AudioFormat::Sdds: return "SDDS";
    case AudioFormat::Unknown: break;
  }
  return "Unknown";
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void ReadProgramChain(const pgc_t* pgc, const vtsi_mat_t* mat, bool wide, DvdProgramChain* out) {
  out->seconds = Seconds(pgc->playback_time);
  for (int i = 0; i < 16; ++i) out->palette[i] = pgc->palette[i];

  if (pgc->nr_of_cells > 0 && !pgc->cell_playback)
    throw DvdError("The program chain's cell table is missing; the IFO file is damaged.");
  for (int c = 0; c < pgc->nr_of_cells; ++c) {
    const cell_playback_t& cp = pgc->cell_playback[c];
    if (cp.first_sector > cp.last_sector)
      throw DvdError("A cell of the program chain ends before it starts; the IFO file is damaged.");
    DvdCell cell;
    cell.firstSector = cp.first_sector;
    cell.lastSector = cp.last_sector;
    cell.seconds = Seconds(cp.playback_time);
    cell.angleBlock = cp.block_type == BLOCK_TYPE_ANGLE_BLOCK;
    cell.blockStart = cell.angleBlock && cp.block_mode == BLOCK_MODE_FIRST_CELL;
    cell.interleaved = cp.interleaved != 0;
    out->cells.push_back(cell);
  }

  const int programs = pgc->nr_of_programs;
  if (programs > 0 && !pgc->program_map)
    throw DvdError("The program chain's program map is missing; the IFO file is damaged.");
  for (int p = 0; p < programs; ++p) {
    const int first = pgc->program_map[p] - 1;
    const int end = p + 1 < programs ? pgc->program_map[p + 1] - 1 : pgc->nr_of_cells;
    if (first < 0 || first >= end || end > pgc->nr_of_cells)
      throw DvdError("The program chain's chapter table is inconsistent; the IFO file is damaged.");
    DvdChapter ch;
    ch.startSector = out->cells[first].firstSector;
    ch.endSector = out->cells[first].lastSector;
    for (int c = first; c < end; ++c) {
      const DvdCell& cell = out->cells[c];
      ch.startSector = std::min(ch.startSector, cell.firstSector);
      ch.endSector = std::max(ch.endSector, cell.lastSector);
      // The cells of an angle block play instead of each other: count one of them.
      if (!cell.angleBlock || cell.blockStart) ch.seconds += cell.seconds;
    }
    out->chapters.push_back(ch);
  }

  const int audioCount = std::min<int>(mat->nr_of_vts_audio_streams, 8);
  for (int i = 0; i < audioCount; ++i) {
    const std::uint16_t control = pgc->audio_control[i];
    if (!(control & 0x8000)) continue;
    const int n = (control >> 8) & 7;
    const audio_attr_t& attr = mat->vts_audio_attr[i];
    DvdAudioStream s;
    switch (attr.audio_format) {
      case 0: s.format = AudioFormat::Ac3; s.substreamId = 0x80 + n; break;
      case 2: s.format = AudioFormat::Mpeg1; s.substreamId = 0xC0 + n; break;
      case 3: s.format = AudioFormat::Mpeg2Ext; s.substreamId = 0xC0 + n; break;
      case 4: s.format = AudioFormat::Lpcm; s.substreamId = 0xA0 + n; break;
      case 5: s.format = AudioFormat::Sdds; s.substreamId = 0; break;
      case 6: s.format = AudioFormat::Dts; s.substreamId = 0x88 + n; break;
      default: s.format = AudioFormat::Unknown; s.substreamId = 0; break;
    }
    s.name = LanguageName(attr.lang_type == 1 ? attr.lang_code : 0) + " " + FormatName(s.format) +
             " " + std::to_string(attr.channels + 1) + "ch";
    out->audio.push_back(std::move(s));
  }

  const int subCount = std::min<int>(mat->nr_of_vts_subp_streams, 32);
  for (int i = 0; i < subCount; ++i) {
    const std::uint32_t control = pgc->subp_control[i];
    if (!(control & 0x80000000u)) continue;
    const int n = wide ? (control >> 16) & 0x1F : (control >> 24) & 0x1F;
    const subp_attr_t& attr = mat->vts_subp_attr[i];
    DvdSubtitleStream s;
    s.substreamId = 0x20 + n;
    s.name = LanguageName(attr.type == 1 ? attr.lang_code : 0) + " Subpicture";
    out->subtitles.push_back(std::move(s));
  }
}

}  // namespace

std::string LanguageName(std::uint16_t code) {
  if (code == 0) return "Unknown";
  const char a = static_cast<char>(code >> 8), b = static_cast<char>(code & 0xFF);
  if (a < 'a' || a > 'z' || b < 'a' || b > 'z') return "Unknown";
  static const struct {
    const char* code;
    const char* name;
  } kNames[] = {
      {"en", "English"}, {"de", "German"},   {"fr", "French"},    {"es", "Spanish"},
      {"it", "Italian"}, {"nl", "Dutch"},    {"pt", "Portuguese"}, {"sv", "Swedish"},
      {"da", "Danish"},  {"no", "Norwegian"}, {"fi", "Finnish"},  {"pl", "Polish"},
      {"cs", "Czech"},   {"hu", "Hungarian"}, {"el", "Greek"},    {"tr", "Turkish"},
      {"ru", "Russian"}, {"ja", "Japanese"}, {"zh", "Chinese"},   {"ko", "Korean"},
      {"ar", "Arabic"},  {"he", "Hebrew"},   {"hi", "Hindi"},     {"th", "Thai"},
      {"is", "Icelandic"}, {"ro", "Romanian"}, {"hr", "Croatian"}, {"sk", "Slovak"},
      {"sl", "Slovenian"}, {"bg", "Bulgarian"}, {"uk", "Ukrainian"}, {"ca", "Catalan"},
  };
  const std::string key{a, b};
  for (const auto& n : kNames)
    if (key == n.code) return n.name;
  return key;
}

std::vector<DvdCell> CellsForAngle(const DvdProgramChain& pgc, int angle) {
  std::vector<DvdCell> out;
  for (std::size_t i = 0; i < pgc.cells.size();) {
    if (!pgc.cells[i].angleBlock) {
      out.push_back(pgc.cells[i++]);
      continue;
    }
    std::size_t end = i + 1;
    while (end < pgc.cells.size() && pgc.cells[end].angleBlock && !pgc.cells[end].blockStart) ++end;
    const std::size_t count = end - i;
    // A block with fewer cells than the chosen angle plays its first one.
    out.push_back(pgc.cells[i + (static_cast<std::size_t>(angle) < count ? angle : 0)]);
    i = end;
  }
  return out;
}

namespace {

// libdvdread would print its complaints on standard error; the servers report failures
// through error information instead, with texts of their own.
void Quiet(void*, dvd_logger_level_t, const char*, va_list) {}
const dvd_logger_cb kQuiet{&Quiet};

// A reader closes on every path out of a scope.
struct ReaderCloser {
  void operator()(dvd_reader_s* r) const { DVDClose(r); }
};
using ReaderPtr = std::unique_ptr<dvd_reader_s, ReaderCloser>;

}  // namespace

// What the worker found when it opened the disc.
struct DvdDisc::Opened {
  std::string root, videoTs;
  ReaderPtr reader;
  std::vector<TitleRef> titles;
};

dvd_reader_s* DvdDisc::OpenReader(const std::string& root) { return DVDOpen2(nullptr, &kQuiet, root.c_str()); }

DvdDisc::DvdDisc(const std::string& videoFolder) : worker_(std::make_unique<DiscWorker>()) {
  std::string path = videoFolder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty()) throw DvdError("No DVD folder was given.");
  Opened opened = worker_->Call([path](Deadline deadline) { return Open(path, deadline); },
                                "The DVD folder \"" + path + "\"");
  root_ = std::move(opened.root);
  videoTs_ = std::move(opened.videoTs);
  reader_ = opened.reader.release();
  titleSets_ = std::move(opened.titles);
  titles_.resize(titleSets_.size());
}

DvdDisc::Opened DvdDisc::Open(const std::string& folder, Deadline deadline) {
  Opened out;
  std::string path = folder;
  if (!IsDirectory(path)) throw DvdError("The DVD folder \"" + path + "\" does not exist.");
  // libdvdread wants the disc's root; accept the VIDEO_TS folder itself as well.
  const std::size_t slash = path.find_last_of('/');
  const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  if (Lower(last) == "video_ts") {
    out.videoTs = path;
    path = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  } else if (IsDirectory(path + "/VIDEO_TS")) {
    out.videoTs = path + "/VIDEO_TS";
  } else if (IsDirectory(path + "/video_ts")) {
    out.videoTs = path + "/video_ts";
  } else {
    throw DvdError("The folder \"" + path + "\" holds no VIDEO_TS folder.");
  }
  out.root = path;

  out.reader.reset(OpenReader(path));
  if (!out.reader) throw DvdError("The DVD in \"" + path + "\" cannot be opened.");
  // libdvdread may crash on a damaged VIDEO_TS.IFO: its first parse runs in a process of
  // its own, and only a file it read there is read here.
  const bool readable = GuardIfoSet(out.videoTs, "VIDEO_TS", "VIDEO_TS.IFO in \"" + path + "\"",
                                    ProbeCommand(path, 0, {}), deadline);
  if (!readable || !ReadTitleList(out.reader.get(), &out.titles))
    throw DvdError("VIDEO_TS.IFO in \"" + path +
                   "\" is missing or damaged; this is not a readable DVD-Video folder.");
  return out;
}

bool DvdDisc::ReadTitleList(dvd_reader_s* reader, std::vector<TitleRef>* titles) {
  IfoPtr vmg(ifoOpen(reader, 0));
  if (!vmg || !vmg->tt_srpt) return false;
  const tt_srpt_t* tt = vmg->tt_srpt;
  titles->clear();
  for (int i = 0; i < tt->nr_of_srpts; ++i) {
    const title_info_t& t = tt->title[i];
    titles->push_back({t.title_set_nr, t.vts_ttn, std::max<int>(1, t.nr_of_angles), t.nr_of_ptts});
  }
  return true;
}

std::vector<std::string> DvdDisc::ProbeCommand(const std::string& root, int set, const std::vector<TitleRef>& refs) {
  std::vector<std::string> command{IfoCheckerPath(), root, std::to_string(set)};
  if (set > 0)
    for (const TitleRef& r : refs)
      if (r.titleSet == set)
        command.push_back(std::to_string(r.titleSet) + "," + std::to_string(r.titleInSet) + "," +
                          std::to_string(r.angles) + "," + std::to_string(r.chapters));
  return command;
}

namespace {

// A whole decimal number of [0, 65535] (the widest of a title's fields), else nothing.
std::optional<int> Number(std::string_view text) {
  int value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 65535) return std::nullopt;
  return value;
}

}  // namespace

bool DvdDisc::Probe(const std::vector<std::string>& args) {
  const std::optional<int> set = args.size() >= 2 ? Number(args[1]) : std::nullopt;
  if (!set || args[0].empty() || (*set == 0 && args.size() != 2))
    throw std::invalid_argument("expected: <disc folder> 0 | <disc folder> <set> <set,title,angles,chapters>...");
  std::vector<TitleRef> refs;
  for (std::size_t i = 2; i < args.size(); ++i) {
    std::vector<std::optional<int>> fields;
    for (std::string_view rest = args[i];;) {
      const std::size_t comma = rest.find(',');
      fields.push_back(Number(rest.substr(0, comma)));
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
    if (fields.size() != 4 || !std::all_of(fields.begin(), fields.end(), [](auto& f) { return f.has_value(); }) ||
        *fields[0] != *set)
      throw std::invalid_argument("a title is not <set,title,angles,chapters> of the set: " + args[i]);
    refs.push_back({*fields[0], *fields[1], *fields[2], *fields[3]});
  }
  const std::string& root = args[0];
  // A failure with a reason is no crash: this process meets the same reason afterwards.
  try {
    if (*set > 0) return ProbeTitleSet(root, *set, refs);
    ReaderPtr reader(OpenReader(root));
    std::vector<TitleRef> titles;
    return !reader || ReadTitleList(reader.get(), &titles);
  } catch (...) {
    return true;
  }
}

bool DvdDisc::ProbeTitleSet(const std::string& root, int set, const std::vector<TitleRef>& refs) {
  ReaderPtr reader(OpenReader(root));
  if (!reader) return true;
  if (!IfoPtr(ifoOpen(reader.get(), set))) return false;
  for (std::size_t i = 0; i < refs.size(); ++i) {
    if (refs[i].titleSet != set) continue;
    try {
      ReadTitle(reader.get(), refs[i], static_cast<int>(i));
    } catch (const DvdError&) {
      // Refused with a reason: no crash.
    }
  }
  return true;
}

DvdDisc::~DvdDisc() {
  // Closed on the worker, after any task that may still use the reader.
  if (reader_) worker_->Post([reader = reader_] { DVDClose(reader); });
}

const DvdTitle& DvdDisc::Title(int index) {
  if (index < 0 || index >= TitleCount())
    throw DvdError("Title " + std::to_string(index + 1) + " does not exist; the disc has " +
                   std::to_string(TitleCount()) + " titles.", kDvdBadIndex);
  if (titles_[index]) return *titles_[index];

  // The first parse of a title set's IFO runs in a process of its own, with every title of
  // the set; a set libdvdread refused there is not given to it here.
  const std::string what = "The title set file " + SetName(titleSets_[index].titleSet) + ".IFO";
  titles_[index] = worker_->Call(
      [reader = reader_, root = root_, videoTs = videoTs_, refs = titleSets_, index, what](Deadline deadline) {
        const int set = refs[index].titleSet;
        const bool readable =
            set > 0 && GuardIfoSet(videoTs, SetName(set), what, ProbeCommand(root, set, refs), deadline);
        return ReadTitle(readable ? reader : nullptr, refs[index], index);
      },
      what);
  return *titles_[index];
}

std::string DvdDisc::SetName(int titleSet) {
  return "VTS_" + std::string(titleSet < 10 ? "0" : "") + std::to_string(titleSet) + "_0";
}

DvdTitle DvdDisc::ReadTitle(dvd_reader_s* reader, const TitleRef& ref, int index) {
  const std::string setName = SetName(ref.titleSet) + ".IFO";
  IfoPtr vts(reader && ref.titleSet > 0 ? ifoOpen(reader, ref.titleSet) : nullptr);
  if (!vts || !vts->vtsi_mat || !vts->vts_ptt_srpt || !vts->vts_pgcit)
    throw DvdError("The title set file " + setName + " of title " + std::to_string(index + 1) +
                   " is missing or damaged.");
  const vts_ptt_srpt_t* ptt = vts->vts_ptt_srpt;
  if (ref.titleInSet < 1 || ref.titleInSet > ptt->nr_of_srpts)
    throw DvdError("Title " + std::to_string(index + 1) + " points to a part of " + setName +
                   " that does not exist; the disc's IFO files are damaged.");

  DvdTitle title;
  title.titleSet = ref.titleSet;
  title.angles = ref.angles;
  title.chapterCount = ref.chapters;
  const video_attr_t& video = vts->vtsi_mat->vts_video_attr;
  title.pal = video.video_format == 1;
  // 16:9 (3); 4:3 is 0, and the two reserved values are taken as 4:3 too.
  title.wide = video.display_aspect_ratio == 3;
  const int fullHeight = title.pal ? 576 : 480;
  switch (video.picture_size) {
    case 0: title.width = 720; title.height = fullHeight; break;
    case 1: title.width = 704; title.height = fullHeight; break;
    case 2: title.width = 352; title.height = fullHeight; break;
    default: title.width = 352; title.height = fullHeight / 2; break;
  }

  const ttu_t& unit = ptt->title[ref.titleInSet - 1];
  const pgcit_t* pgcit = vts->vts_pgcit;
  std::set<int> seen;
  for (int k = 0; k < unit.nr_of_ptts; ++k) {
    const int pgcn = unit.ptt[k].pgcn;
    if (pgcn < 1 || pgcn > pgcit->nr_of_pgci_srp || !pgcit->pgci_srp[pgcn - 1].pgc)
      throw DvdError("A chapter of title " + std::to_string(index + 1) +
                     " points to a program chain that does not exist; " + setName + " is damaged.");
    if (!seen.insert(pgcn).second) continue;
    DvdProgramChain pgc;
    ReadProgramChain(pgcit->pgci_srp[pgcn - 1].pgc, vts->vtsi_mat, title.wide, &pgc);
    title.programChains.push_back(std::move(pgc));
  }
  return title;
}

}  // namespace outside
