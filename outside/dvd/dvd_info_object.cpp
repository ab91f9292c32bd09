// IDVDInfObj: lists the titles, program chains, chapters and streams of a VIDEO_TS folder.
#include <com/server.h>
#include <outside/dvd.h>

#include "dvd_server_support.h"
#include "server_object.h"

#include <memory>
#include <type_traits>

namespace outside {

namespace {

class DVDInfObj : public ServerObject<DVDInfObj, IDVDInfObj, IID_IDVDInfObj, Binding::TypeLibrary> {
 public:
  HRESULT STDMETHODCALLTYPE OpenDvd(BSTR videoFolder) override {
    return Run([&] {
      // A failed open leaves nothing selected, so no later call reads a stale disc.
      disc_.reset();
      title_ = -1;
      pgc_ = -1;
      const std::string path = BstrToPath(videoFolder);
      if (path.empty()) throw DvdError("No DVD folder was given.", E_INVALIDARG);
      disc_ = std::make_unique<DvdDisc>(path);
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetTitleCount(INT* count) override {
    return Answer(count, [&] { return Disc().TitleCount(); });
  }

  HRESULT STDMETHODCALLTYPE GetTitleName(INT title, BSTR* name) override {
    return Answer(name, [&] {
      DvdDisc& disc = Disc();
      if (title < 0 || title >= disc.TitleCount()) disc.Title(title);  // throws the range error
      std::string text = "Title " + std::to_string(title + 1);
      try {
        const DvdTitle& t = disc.Title(title);
        double seconds = 0;
        for (const DvdProgramChain& p : t.programChains) seconds += p.seconds;
        text += " (" + FormatDuration(seconds) + ")";
      } catch (const DvdError&) {
        // The list still shows the title; selecting it reports what is wrong.
        text += " (unreadable)";
      }
      return text;
    });
  }

  HRESULT STDMETHODCALLTYPE GetProgramChainCount(INT title, INT* count) override {
    return Answer(count, [&] { return Disc().Title(title).programChains.size(); });
  }

  HRESULT STDMETHODCALLTYPE QueryTitle(INT title, INT* value) override {
    return Answer(value, [&] { return Disc().Title(title).chapterCount; });
  }

  HRESULT STDMETHODCALLTYPE SelectTitle(INT title) override {
    return Run([&] {
      title_ = -1;
      pgc_ = -1;
      Disc().Title(title);
      title_ = title;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE SelectProgramChain(INT programChain) override {
    return Run([&] {
      // -1 is what a caller passes for a title without program chains: nothing selected.
      CheckIndex(programChain, Title().programChains.size(), "Program chain", TitleText(), -1);
      pgc_ = programChain;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetChapterCount(INT* count) override {
    return Answer(count, [&] { return ListSize(&DvdProgramChain::chapters); });
  }
  HRESULT STDMETHODCALLTYPE GetChapterStart(INT chapter, INT* position) override {
    return Answer(position, [&] { return Chapter(chapter).startSector; });
  }
  HRESULT STDMETHODCALLTYPE GetChapterEnd(INT chapter, INT* position) override {
    return Answer(position, [&] { return Chapter(chapter).endSector; });
  }
  HRESULT STDMETHODCALLTYPE GetChapterSeconds(INT chapter, double* seconds) override {
    return Answer(seconds, [&] { return Chapter(chapter).seconds; });
  }

  HRESULT STDMETHODCALLTYPE GetAudioCount(INT* count) override {
    return Answer(count, [&] { return ListSize(&DvdProgramChain::audio); });
  }
  HRESULT STDMETHODCALLTYPE GetAudioName(INT index, BSTR* name) override {
    return Answer(name, [&] { return Item(&DvdProgramChain::audio, index, "Audio stream").name; });
  }
  HRESULT STDMETHODCALLTYPE GetSubtitleCount(INT* count) override {
    return Answer(count, [&] { return ListSize(&DvdProgramChain::subtitles); });
  }
  HRESULT STDMETHODCALLTYPE GetSubtitleName(INT index, BSTR* name) override {
    return Answer(name, [&] { return Item(&DvdProgramChain::subtitles, index, "Subtitle stream").name; });
  }

  HRESULT STDMETHODCALLTYPE GetPictureWidth(INT* width) override {
    return Answer(width, [&] { return Title().width; });
  }
  HRESULT STDMETHODCALLTYPE GetPictureHeight(INT* height) override {
    return Answer(height, [&] { return Title().height; });
  }

  HRESULT STDMETHODCALLTYPE GetProgramChainName(INT index, BSTR* name) override {
    return Answer(name, [&] {
      const DvdTitle& t = Title();
      CheckIndex(index, t.programChains.size(), "Program chain", TitleText());
      const DvdProgramChain& p = t.programChains[index];
      // The dialog's label says "Program Chain": the line stays short enough for its box.
      return std::to_string(index + 1) + " (" + FormatDuration(p.seconds) + ", " +
             std::to_string(p.chapters.size()) + " chapters)";
    });
  }

 private:
  template <class Body>
  HRESULT Run(Body&& body) {
    return Guarded(CLSID_DVDInfObj, IID_IDVDInfObj, std::forward<Body>(body));
  }
  // An out parameter filled from get. It holds 0 (null for a string) when get fails:
  // callers read results without testing them.
  template <class T, class Get>
  HRESULT Answer(T* out, Get&& get) {
    return Run([&] {
      RequireOut(out);
      *out = T{};
      if constexpr (std::is_same_v<T, BSTR>)
        *out = NewBstr(get());
      else
        *out = static_cast<T>(get());
      return S_OK;
    });
  }

  DvdDisc& Disc() {
    if (!disc_) throw DvdError("No DVD is open.", E_UNEXPECTED);
    return *disc_;
  }
  const DvdTitle& Title() {
    if (title_ < 0) throw DvdError("No title is selected.", E_UNEXPECTED);
    return Disc().Title(title_);
  }
  // Null when the title has no program chain selected (-1).
  const DvdProgramChain* ProgramChain() {
    const DvdTitle& t = Title();
    return pgc_ < 0 ? nullptr : &t.programChains[pgc_];
  }
  const DvdProgramChain& SelectedProgramChain() {
    const DvdProgramChain* p = ProgramChain();
    if (!p) throw DvdError("No program chain is selected.", E_UNEXPECTED);
    return *p;
  }
  // The length of a list of the selected program chain; 0 when none is selected.
  template <class List>
  std::size_t ListSize(List DvdProgramChain::*list) {
    const DvdProgramChain* p = ProgramChain();
    return p ? (p->*list).size() : 0;
  }
  // Entry `index` of a list of the selected program chain; a range error calls the entries `what`.
  template <class List>
  const typename List::value_type& Item(List DvdProgramChain::*list, INT index, const char* what) {
    const List& items = SelectedProgramChain().*list;
    CheckIndex(index, items.size(), what, "the program chain");
    return items[index];
  }
  const DvdChapter& Chapter(INT chapter) { return Item(&DvdProgramChain::chapters, chapter, "Chapter"); }
  std::string TitleText() const { return "title " + std::to_string(title_ + 1); }

  std::unique_ptr<DvdDisc> disc_;
  int title_ = -1;
  int pgc_ = -1;
};

}  // namespace

HRESULT CreateDvdInfObj(IUnknown* outer, REFIID iid, void** ppv) {
  return qcom::CreateInstance<DVDInfObj>(outer, iid, ppv);
}

}  // namespace outside
