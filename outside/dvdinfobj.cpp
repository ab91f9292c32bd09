// IDVDInfObj: lists the titles, program chains, chapters and streams of a VIDEO_TS folder.
#include <com/server.h>
#include <outside/dvd.h>

#include "dvd_com.h"
#include "outside_module.h"

#include <memory>

namespace outside {

namespace {

class DVDInfObj : public qcom::ObjectRoot,
                  public qcom::DispatchImpl<IDVDInfObj, IID_IDVDInfObj, LIBID_QuillOutside>,
                  public qcom::SupportErrorInfoImpl<IID_IDVDInfObj> {
 public:
  static std::span<const qcom::InterfaceEntry> Interfaces() {
    static const qcom::InterfaceEntry map[] = {
        qcom::Entry<DVDInfObj, IDVDInfObj>(IID_IDVDInfObj),
        qcom::Entry<DVDInfObj, IDispatch, IDVDInfObj>(IID_IDispatch),
        qcom::Entry<DVDInfObj, ISupportErrorInfo>(IID_ISupportErrorInfo)};
    return map;
  }

  HRESULT STDMETHODCALLTYPE Unused7() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused13() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused14() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused16() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused24() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused26() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused27() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused30() override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE OpenDvd(BSTR videoFolder) override {
    return Run([&] {
      // A failed open leaves nothing selected, so no later call reads a stale disc.
      disc_.reset();
      title_ = -1;
      pgc_ = -1;
      const std::string path = BstrToUtf8(videoFolder);
      if (path.empty()) throw DvdError("No DVD folder was given.", E_INVALIDARG);
      disc_ = std::make_unique<DvdDisc>(path);
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetTitleCount(INT* count) override {
    return Run([&] {
      RequireOut(count);
      *count = 0;
      *count = Disc().TitleCount();
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetTitleName(INT title, BSTR* name) override {
    return Run([&] {
      RequireOut(name);
      *name = nullptr;
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
      *name = NewBstr(text);
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetProgramChainCount(INT title, INT* count) override {
    return Run([&] {
      RequireOut(count);
      *count = 0;
      *count = static_cast<INT>(Disc().Title(title).programChains.size());
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE QueryTitle(INT title, INT* value) override {
    return Run([&] {
      RequireOut(value);
      *value = 0;
      *value = Disc().Title(title).chapterCount;
      return S_OK;
    });
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
      const DvdTitle& t = Title();
      // -1 is what a caller passes for a title without program chains: nothing selected.
      if (programChain < -1 || programChain >= static_cast<INT>(t.programChains.size()))
        throw DvdError("Program chain " + std::to_string(programChain + 1) + " does not exist; title " +
                           std::to_string(title_ + 1) + " has " +
                           std::to_string(t.programChains.size()) + ".",
                       E_INVALIDARG);
      pgc_ = programChain;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetChapterCount(INT* count) override {
    return Run([&] {
      RequireOut(count);
      *count = 0;
      const DvdProgramChain* p = ProgramChain();
      *count = p ? static_cast<INT>(p->chapters.size()) : 0;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetChapterStart(INT chapter, INT* position) override {
    return Run([&] {
      RequireOut(position);
      *position = 0;
      *position = static_cast<INT>(Chapter(chapter).startSector);
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetChapterEnd(INT chapter, INT* position) override {
    return Run([&] {
      RequireOut(position);
      *position = 0;
      *position = static_cast<INT>(Chapter(chapter).endSector);
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetChapterSeconds(INT chapter, double* seconds) override {
    return Run([&] {
      RequireOut(seconds);
      *seconds = 0;
      *seconds = Chapter(chapter).seconds;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetAudioCount(INT* count) override {
    return Run([&] {
      RequireOut(count);
      *count = 0;
      const DvdProgramChain* p = ProgramChain();
      *count = p ? static_cast<INT>(p->audio.size()) : 0;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetAudioName(INT index, BSTR* name) override {
    return Run([&] {
      RequireOut(name);
      *name = nullptr;
      const DvdProgramChain& p = SelectedProgramChain();
      if (index < 0 || index >= static_cast<INT>(p.audio.size()))
        throw DvdError("Audio stream " + std::to_string(index + 1) + " does not exist; the program chain has " +
                           std::to_string(p.audio.size()) + ".",
                       E_INVALIDARG);
      *name = NewBstr(p.audio[index].name);
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetSubtitleCount(INT* count) override {
    return Run([&] {
      RequireOut(count);
      *count = 0;
      const DvdProgramChain* p = ProgramChain();
      *count = p ? static_cast<INT>(p->subtitles.size()) : 0;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetSubtitleName(INT index, BSTR* name) override {
    return Run([&] {
      RequireOut(name);
      *name = nullptr;
      const DvdProgramChain& p = SelectedProgramChain();
      if (index < 0 || index >= static_cast<INT>(p.subtitles.size()))
        throw DvdError("Subtitle stream " + std::to_string(index + 1) +
                           " does not exist; the program chain has " + std::to_string(p.subtitles.size()) + ".",
                       E_INVALIDARG);
      *name = NewBstr(p.subtitles[index].name);
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetPictureWidth(INT* width) override {
    return Run([&] {
      RequireOut(width);
      *width = 0;
      *width = Title().width;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetPictureHeight(INT* height) override {
    return Run([&] {
      RequireOut(height);
      *height = 0;
      *height = Title().height;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetProgramChainName(INT index, BSTR* name) override {
    return Run([&] {
      RequireOut(name);
      *name = nullptr;
      const DvdTitle& t = Title();
      if (index < 0 || index >= static_cast<INT>(t.programChains.size()))
        throw DvdError("Program chain " + std::to_string(index + 1) + " does not exist; title " +
                           std::to_string(title_ + 1) + " has " + std::to_string(t.programChains.size()) + ".",
                       E_INVALIDARG);
      const DvdProgramChain& p = t.programChains[index];
      *name = NewBstr("Program chain " + std::to_string(index + 1) + " (" + FormatDuration(p.seconds) + ", " +
                      std::to_string(p.chapters.size()) + " chapters)");
      return S_OK;
    });
  }

 private:
  template <class Body>
  HRESULT Run(Body&& body) {
    return Guarded(CLSID_DVDInfObj, IID_IDVDInfObj, std::forward<Body>(body));
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
  const DvdChapter& Chapter(INT chapter) {
    const DvdProgramChain& p = SelectedProgramChain();
    if (chapter < 0 || chapter >= static_cast<INT>(p.chapters.size()))
      throw DvdError("Chapter " + std::to_string(chapter + 1) + " does not exist; the program chain has " +
                         std::to_string(p.chapters.size()) + ".",
                     E_INVALIDARG);
    return p.chapters[chapter];
  }

  std::unique_ptr<DvdDisc> disc_;
  int title_ = -1;
  int pgc_ = -1;
};

}  // namespace

HRESULT CreateDvdInfObj(IUnknown* outer, REFIID iid, void** ppv) {
  return qcom::CreateInstance<DVDInfObj>(outer, iid, ppv);
}

const char kDvdInfObjRegistry[] = R"(
HKCR {
  Quillmere.DVDInfObj.1 = s 'DVD information object' {
    CLSID = s '{96D3BAD5-8675-44B4-B676-ED233F7A2082}'
  }
  Quillmere.DVDInfObj = s 'DVD information object' {
    CLSID = s '{96D3BAD5-8675-44B4-B676-ED233F7A2082}'
    CurVer = s 'Quillmere.DVDInfObj.1'
  }
  NoRemove CLSID {
    ForceRemove {96D3BAD5-8675-44B4-B676-ED233F7A2082} = s 'DVD information object' {
      ProgID = s 'Quillmere.DVDInfObj.1'
      VersionIndependentProgID = s 'Quillmere.DVDInfObj'
      InprocServer32 = s '%MODULE%' {
        val ThreadingModel = s 'Apartment'
      }
    }
  }
}
)";

}  // namespace outside
