// The DVD reading servers: IDVDInfObj lists what a VIDEO_TS folder holds, IDVDDataObj
// reads and decodes one title picture by picture. Both are in-process COM classes of
// the QuillOutside library; callers reach them only through CoCreateInstance.
// Methods sit at fixed vtable slots (0-2 IUnknown, 3-6 IDispatch, own methods from 7);
// the UnusedN slots keep the positions and answer E_NOTIMPL.
#pragma once

#include <com/com.h>
#include <outside/vtable_slots.h>

// {96D3BAD5-8675-44B4-B676-ED233F7A2082}
inline constexpr CLSID CLSID_DVDInfObj = {
    0x96D3BAD5, 0x8675, 0x44B4, {0xB6, 0x76, 0xED, 0x23, 0x3F, 0x7A, 0x20, 0x82}};
// {D386F2E2-6722-4594-A062-4460F65F12BA}
inline constexpr IID IID_IDVDInfObj = {
    0xD386F2E2, 0x6722, 0x4594, {0xA0, 0x62, 0x44, 0x60, 0xF6, 0x5F, 0x12, 0xBA}};
// {B143322C-DC22-4B6F-9494-B95DB486F3E8}
inline constexpr CLSID CLSID_DVDDataObj = {
    0xB143322C, 0xDC22, 0x4B6F, {0x94, 0x94, 0xB9, 0x5D, 0xB4, 0x86, 0xF3, 0xE8}};
// {543AB13A-025A-40F4-90F4-B02975B116A5}
inline constexpr IID IID_IDVDDataObj = {
    0x543AB13A, 0x025A, 0x40F4, {0x90, 0xF4, 0xB0, 0x29, 0x75, 0xB1, 0x16, 0xA5}};

// ReadFrame's success code once the title has no further picture: the planes keep the
// last picture, no sound comes with it, and GetPosition answers DVD_POSITION_END.
inline constexpr HRESULT DVD_S_END_OF_TITLE = 0x00040201;
// GetPosition after the end of the title: greater than every sector of the title.
inline constexpr DWORD DVD_POSITION_END = 0xFFFFFFFFu;

// Titles, program chains and chapters are counted from 0. Positions are sector numbers
// (2048 bytes) within the title set's VOB files, as unsigned 32-bit values passed in int32.
struct IDVDInfObj : IDispatch {
  OUTSIDE_UNUSED_SLOT(7)
  virtual HRESULT STDMETHODCALLTYPE OpenDvd(BSTR videoFolder) = 0;                   // 8
  virtual HRESULT STDMETHODCALLTYPE GetTitleCount(INT* count) = 0;                   // 9
  virtual HRESULT STDMETHODCALLTYPE GetTitleName(INT title, BSTR* name) = 0;         // 10
  virtual HRESULT STDMETHODCALLTYPE GetProgramChainCount(INT title, INT* count) = 0; // 11
  // The number of chapters of the title.
  virtual HRESULT STDMETHODCALLTYPE QueryTitle(INT title, INT* value) = 0;           // 12
  OUTSIDE_UNUSED_SLOT(13)
  OUTSIDE_UNUSED_SLOT(14)
  virtual HRESULT STDMETHODCALLTYPE SelectTitle(INT title) = 0;                      // 15
  OUTSIDE_UNUSED_SLOT(16)
  virtual HRESULT STDMETHODCALLTYPE SelectProgramChain(INT programChain) = 0;        // 17
  virtual HRESULT STDMETHODCALLTYPE GetChapterCount(INT* count) = 0;                 // 18
  virtual HRESULT STDMETHODCALLTYPE GetChapterStart(INT chapter, INT* position) = 0; // 19
  virtual HRESULT STDMETHODCALLTYPE GetChapterEnd(INT chapter, INT* position) = 0;   // 20
  virtual HRESULT STDMETHODCALLTYPE GetAudioCount(INT* count) = 0;                   // 21
  virtual HRESULT STDMETHODCALLTYPE GetSubtitleCount(INT* count) = 0;                // 22
  virtual HRESULT STDMETHODCALLTYPE GetSubtitleName(INT index, BSTR* name) = 0;      // 23
  OUTSIDE_UNUSED_SLOT(24)
  virtual HRESULT STDMETHODCALLTYPE GetAudioName(INT index, BSTR* name) = 0;         // 25
  OUTSIDE_UNUSED_SLOT(26)
  OUTSIDE_UNUSED_SLOT(27)
  virtual HRESULT STDMETHODCALLTYPE GetPictureWidth(INT* width) = 0;                 // 28
  virtual HRESULT STDMETHODCALLTYPE GetPictureHeight(INT* height) = 0;               // 29
  OUTSIDE_UNUSED_SLOT(30)
  virtual HRESULT STDMETHODCALLTYPE GetChapterSeconds(INT chapter, double* seconds) = 0;  // 31
  virtual HRESULT STDMETHODCALLTYPE GetProgramChainName(INT index, BSTR* name) = 0;  // 32
};

// Set-up calls come first (they only store their value), Open applies them, Seek picks
// the first sector, then ReadFrame delivers one picture per call at the set frame rate.
// ReadFrame's value1 points to the picture's sound (16-bit signed stereo, interleaved, at
// the set sample rate; valid until the next ReadFrame or Close) and value2 is its byte
// count: the samples that belong to that picture's duration, so an encoder can interleave.
struct IDVDDataObj : IDispatch {
  OUTSIDE_UNUSED_SLOT(7)
  virtual HRESULT STDMETHODCALLTYPE SetDvdPath(BSTR videoFolder) = 0;                // 8
  OUTSIDE_UNUSED_SLOT(9)
  virtual HRESULT STDMETHODCALLTYPE SetTitle(INT title) = 0;                         // 10
  OUTSIDE_UNUSED_SLOT(11)
  virtual HRESULT STDMETHODCALLTYPE SetProgramChain(INT programChain) = 0;           // 12
  OUTSIDE_UNUSED_SLOT(13)
  virtual HRESULT STDMETHODCALLTYPE SetAudioStream(INT stream) = 0;                  // 14
  OUTSIDE_UNUSED_SLOT(15)
  virtual HRESULT STDMETHODCALLTYPE SetSubtitle(INT stream) = 0;  // -1: none         // 16
  OUTSIDE_UNUSED_SLOT(17)
  virtual HRESULT STDMETHODCALLTYPE SetAngle(INT angle) = 0;      // 0: angle 1       // 18
  OUTSIDE_UNUSED_SLOT(19)
  virtual HRESULT STDMETHODCALLTYPE SetFrameRate(double framesPerSecond) = 0;        // 20
  OUTSIDE_UNUSED_SLOT(21)
  virtual HRESULT STDMETHODCALLTYPE SetSampleRate(INT samplesPerSecond) = 0;         // 22
  OUTSIDE_UNUSED_SLOT(23)
  virtual HRESULT STDMETHODCALLTYPE SetForce24(INT force) = 0;                       // 24
  OUTSIDE_UNUSED_SLOT(25)
  OUTSIDE_UNUSED_SLOT(26)
  virtual HRESULT STDMETHODCALLTYPE Open() = 0;                                      // 27
  virtual HRESULT STDMETHODCALLTYPE Seek(INT position) = 0;                          // 28
  virtual HRESULT STDMETHODCALLTYPE ReadFrame(BYTE* y, BYTE* u, BYTE* v, INT_PTR* value1,
                                              INT* value2) = 0;                      // 29
  OUTSIDE_UNUSED_SLOT(30)
  virtual HRESULT STDMETHODCALLTYPE GetPosition(INT* position) = 0;                  // 31
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;                                     // 32
};
