// The encoder and preview servers of the outside library: IMpegEnc (VCD/SVCD
// MPEG files), IAVIEncode (AVI files with MP3 sound, and the list of video
// encoders) and IPicShowObj (paints pictures into the preview window).
// Methods sit at fixed vtable slots: 0-2 IUnknown, 3-6 IDispatch, own methods
// from 7; the slots the program does not call hold methods answering E_NOTIMPL.
#pragma once

#include <com/com.h>
#include <outside/vtable_slots.h>

// {CB6A8BB1-AAA5-4ACD-81E4-68ED4CA6E100}
inline constexpr CLSID CLSID_MpegEnc = {0xCB6A8BB1, 0xAAA5, 0x4ACD, {0x81, 0xE4, 0x68, 0xED, 0x4C, 0xA6, 0xE1, 0x00}};
// {3DF5D835-C1EB-4994-97A7-67B7ABB31AB0}
inline constexpr IID IID_IMpegEnc = {0x3DF5D835, 0xC1EB, 0x4994, {0x97, 0xA7, 0x67, 0xB7, 0xAB, 0xB3, 0x1A, 0xB0}};
// {316B9560-4B4A-45B0-9B8A-4356C171AE95}
inline constexpr CLSID CLSID_AVIEncode = {0x316B9560, 0x4B4A, 0x45B0, {0x9B, 0x8A, 0x43, 0x56, 0xC1, 0x71, 0xAE, 0x95}};
// {98E87CA4-23DF-437D-98BC-F2D30E99DBE4}
inline constexpr IID IID_IAVIEncode = {0x98E87CA4, 0x23DF, 0x437D, {0x98, 0xBC, 0xF2, 0xD3, 0x0E, 0x99, 0xDB, 0xE4}};
// {E6032E10-A669-4D74-9D80-0F93DF189681}
inline constexpr CLSID CLSID_PicShowObj = {0xE6032E10, 0xA669, 0x4D74, {0x9D, 0x80, 0x0F, 0x93, 0xDF, 0x18, 0x96, 0x81}};
// {3F7F0B5C-7F8C-436E-9853-80B81A91FCB1}
inline constexpr IID IID_IPicShowObj = {0x3F7F0B5C, 0x7F8C, 0x436E, {0x98, 0x53, 0x80, 0xB8, 0x1A, 0x91, 0xFC, 0xB1}};

// Writes VCD or SVCD MPEG files from YUV 4:2:0 pictures and their sound.
//   SetParameter10: picture coding, 1 MPEG-1 for VCD, 3 MPEG-2 for SVCD.
//   SetParameter12: multiplex, 1 VCD, 3 SVCD.
//   SetParameter22: 1 codes pictures as interlaced fields (MPEG-2 only), 0 as frames.
//   SetParameter26: a VCD's decoder buffer in units of 16 kbit (20 = its 40 KB, the
//                   most it may have); an SVCD's pictures always get its 224 KB.
//   SetParameter32: highest mean video bitrate in kbit/s (SVCD): its pictures are
//                   coded at 2040 kbit/s, or at this when lower (a VCD's are fixed at 1150).
//   SetParameter34: largest video bitrate in kbit/s (a VCD needs 1150; an SVCD
//                   stays within its own limit).
//   SetParameter42: largest multiplex rate in Mbit/s the player must read.
//   SetParameter44: 1 closes every group of pictures (no reference across it).
// The pictures get the display shape (4:3 or 16:9) of the title that a DVD data object
// of this library has open on the thread that calls Start, else 4:3.
// value1 of EncodeFrame points at the picture's sound (16-bit signed interleaved
// stereo at the SetSampleRate rate), value2 is its byte count. GetFileSize
// answers, in megabytes (2^20 bytes), what the current file will hold once
// closed after the next picture, so that a file ended at the limit stays under
// it. SizeLimitReached ends the current file and goes on in the next numbered
// file (name_2.mpg, name_3.mpg, ...); it answers S_FALSE and goes on in the same
// file while that holds less than a second and less than a megabyte.
struct IMpegEnc : IDispatch {
  OUTSIDE_UNUSED_SLOT(7)
  virtual HRESULT STDMETHODCALLTYPE SetOutputFile(BSTR path) = 0;  // 8
  OUTSIDE_UNUSED_SLOT(9)
  virtual HRESULT STDMETHODCALLTYPE SetParameter10(INT value) = 0;  // 10
  OUTSIDE_UNUSED_SLOT(11)
  virtual HRESULT STDMETHODCALLTYPE SetParameter12(INT value) = 0;  // 12
  OUTSIDE_UNUSED_SLOT(13)
  OUTSIDE_UNUSED_SLOT(14)
  OUTSIDE_UNUSED_SLOT(15)
  virtual HRESULT STDMETHODCALLTYPE SetWidth(INT width) = 0;  // 16
  OUTSIDE_UNUSED_SLOT(17)
  virtual HRESULT STDMETHODCALLTYPE SetHeight(INT height) = 0;  // 18
  OUTSIDE_UNUSED_SLOT(19)
  OUTSIDE_UNUSED_SLOT(20)
  OUTSIDE_UNUSED_SLOT(21)
  virtual HRESULT STDMETHODCALLTYPE SetParameter22(INT value) = 0;  // 22
  OUTSIDE_UNUSED_SLOT(23)
  OUTSIDE_UNUSED_SLOT(24)
  OUTSIDE_UNUSED_SLOT(25)
  virtual HRESULT STDMETHODCALLTYPE SetParameter26(INT value) = 0;  // 26
  OUTSIDE_UNUSED_SLOT(27)
  OUTSIDE_UNUSED_SLOT(28)
  OUTSIDE_UNUSED_SLOT(29)
  virtual HRESULT STDMETHODCALLTYPE SetFrameRate(double fps) = 0;  // 30
  OUTSIDE_UNUSED_SLOT(31)
  virtual HRESULT STDMETHODCALLTYPE SetParameter32(INT value) = 0;  // 32
  OUTSIDE_UNUSED_SLOT(33)
  virtual HRESULT STDMETHODCALLTYPE SetParameter34(INT value) = 0;  // 34
  OUTSIDE_UNUSED_SLOT(35)
  OUTSIDE_UNUSED_SLOT(36)
  OUTSIDE_UNUSED_SLOT(37)
  OUTSIDE_UNUSED_SLOT(38)
  OUTSIDE_UNUSED_SLOT(39)
  OUTSIDE_UNUSED_SLOT(40)
  OUTSIDE_UNUSED_SLOT(41)
  virtual HRESULT STDMETHODCALLTYPE SetParameter42(double value) = 0;  // 42
  OUTSIDE_UNUSED_SLOT(43)
  virtual HRESULT STDMETHODCALLTYPE SetParameter44(INT value) = 0;  // 44
  OUTSIDE_UNUSED_SLOT(45)
  OUTSIDE_UNUSED_SLOT(46)
  OUTSIDE_UNUSED_SLOT(47)
  virtual HRESULT STDMETHODCALLTYPE SetSampleRate(INT rate) = 0;  // 48
  virtual HRESULT STDMETHODCALLTYPE Start() = 0;                  // 49
  virtual HRESULT STDMETHODCALLTYPE EncodeFrame(BYTE* y, BYTE* u, BYTE* v, INT width, INT height,
                                                INT_PTR value1, INT value2) = 0;  // 50
  virtual HRESULT STDMETHODCALLTYPE GetFileSize(double* size) = 0;                // 51
  virtual HRESULT STDMETHODCALLTYPE SizeLimitReached() = 0;                       // 52
  virtual HRESULT STDMETHODCALLTYPE Finish() = 0;                                 // 53
};

// Lists the video encoders and writes AVI files with MP3 sound from bottom-up
// 24-bit rows (B, G, R; rows padded to 4 bytes).
//   SetParameter21: seconds between key pictures (at least 1 picture).
//   SetParameter23: sound is interleaved with the pictures every n pictures.
// SetLameBitrate takes 80..320 kbit/s, SetLameQuality 1 (best) .. 8 (fastest).
// Each codec has its own picture rate: 1.5 Mbit/s for the MPEG-4 kind, 1 Mbit/s for
// H.264 (both at 720x576, scaled with the picture area), lossless for FFV1 and Huffyuv.
// The pictures keep the levels of the 24-bit rows (black at 16, white at 235) and get
// the display shape of the title a DVD data object has open on the thread that calls
// Start (else square pixels). A run that ends without a picture fails and leaves no file.
// Codec ids stay the same across versions; sound, sizes and the size limit work
// as for IMpegEnc.
struct IAVIEncode : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE GetCodecCount(INT* count) = 0;           // 7
  virtual HRESULT STDMETHODCALLTYPE GetCodecName(INT index, BSTR* name) = 0;  // 8
  virtual HRESULT STDMETHODCALLTYPE GetCodecId(INT index, INT* id) = 0;       // 9
  OUTSIDE_UNUSED_SLOT(10)
  virtual HRESULT STDMETHODCALLTYPE SetCodec(INT id) = 0;  // 11
  OUTSIDE_UNUSED_SLOT(12)
  virtual HRESULT STDMETHODCALLTYPE SetOutputFile(BSTR path) = 0;  // 13
  OUTSIDE_UNUSED_SLOT(14)
  virtual HRESULT STDMETHODCALLTYPE SetWidth(INT width) = 0;  // 15
  OUTSIDE_UNUSED_SLOT(16)
  virtual HRESULT STDMETHODCALLTYPE SetHeight(INT height) = 0;  // 17
  OUTSIDE_UNUSED_SLOT(18)
  virtual HRESULT STDMETHODCALLTYPE SetFrameRate(double fps) = 0;  // 19
  OUTSIDE_UNUSED_SLOT(20)
  virtual HRESULT STDMETHODCALLTYPE SetParameter21(INT value) = 0;  // 21
  OUTSIDE_UNUSED_SLOT(22)
  virtual HRESULT STDMETHODCALLTYPE SetParameter23(INT value) = 0;  // 23
  OUTSIDE_UNUSED_SLOT(24)
  virtual HRESULT STDMETHODCALLTYPE SetSampleRate(INT rate) = 0;  // 25
  OUTSIDE_UNUSED_SLOT(26)
  virtual HRESULT STDMETHODCALLTYPE SetLameBitrate(INT kbps) = 0;  // 27
  OUTSIDE_UNUSED_SLOT(28)
  OUTSIDE_UNUSED_SLOT(29)
  OUTSIDE_UNUSED_SLOT(30)
  virtual HRESULT STDMETHODCALLTYPE SetLameQuality(BYTE quality) = 0;  // 31
  OUTSIDE_UNUSED_SLOT(32)
  OUTSIDE_UNUSED_SLOT(33)
  OUTSIDE_UNUSED_SLOT(34)
  OUTSIDE_UNUSED_SLOT(35)
  OUTSIDE_UNUSED_SLOT(36)
  virtual HRESULT STDMETHODCALLTYPE Start() = 0;                                              // 37
  virtual HRESULT STDMETHODCALLTYPE GetFileSize(double* size) = 0;                            // 38
  virtual HRESULT STDMETHODCALLTYPE WriteFrame(BYTE* rows, INT_PTR value1, INT value2) = 0;  // 39
  virtual HRESULT STDMETHODCALLTYPE SizeLimitReached() = 0;                                   // 40
  virtual HRESULT STDMETHODCALLTYPE Finish() = 0;                                             // 41
};

// Paints YUV 4:2:0 pictures, converted to RGB and scaled to the window, into
// a window's surface; may be called from any thread.
struct IPicShowObj : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Open(HWND window, INT width, INT height) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE ShowFrame(INT width, INT height, BYTE* y, BYTE* u, BYTE* v,
                                              HWND window) = 0;  // 8
};
