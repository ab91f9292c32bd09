// The conversion thread's calls, for the harness test and the benchmark: a
// chapter range of a disc through the DVD data object, the preview painter,
// PICTUREUTL (or a resize of our own when the picture server is not built) and
// the MPEG or AVI encoder. The caller holds a COM apartment.
#pragma once

#include <outside/dvd.h>
#include <outside/encoders.h>
#include <zentra/picture_util.h>

#include <algorithm>
#include <string>
#include <vector>

#include <com/comptr.h>
#include <com/errorinfo.h>
#include <com/strings.h>

namespace harness {

enum Kind { kVcd = 0, kSvcd = 1, kAvi = 2 };

struct Job {
  Kind kind = kVcd;
  int title = 0;
  int programChain = 0;
  int audio = 0;
  int subtitle = -1;
  int firstChapter = 0;
  int lastChapter = 0;
  double fps = 25.0;
  int outWidth = 352;
  int outHeight = 288;
  INT codec = -1;
  int lameBitrate = 192;
  int lameQuality = 3;
  double fileSizeLimit = 730;
  int stopAfter = 0;  // pictures before the stop button is pressed, 0 for none
  std::string output;
};

struct Outcome {
  std::string error;  // the failing object's error text, as the program would show it
  int pictures = 0;
  int previews = 0;
  int limitCalls = 0;
  int sourceWidth = 0, sourceHeight = 0;
  double chapterSeconds = 0;
  bool usedPictureServer = false;
};

// Planes resized by linear interpolation, for when PICTUREUTL is not built.
inline void ResizePlane(const BYTE* src, int sw, int sh, BYTE* dst, int dw, int dh) {
  for (int y = 0; y < dh; ++y) {
    const double fy = std::max(0.0, (y + 0.5) * sh / dh - 0.5);
    const int y0 = std::min(static_cast<int>(fy), sh - 1), y1 = std::min(y0 + 1, sh - 1);
    for (int x = 0; x < dw; ++x) {
      const double fx = std::max(0.0, (x + 0.5) * sw / dw - 0.5);
      const int x0 = std::min(static_cast<int>(fx), sw - 1), x1 = std::min(x0 + 1, sw - 1);
      const double ax = fx - x0, ay = fy - y0;
      const double top = src[y0 * sw + x0] * (1 - ax) + src[y0 * sw + x1] * ax;
      const double bottom = src[y1 * sw + x0] * (1 - ax) + src[y1 * sw + x1] * ax;
      dst[y * dw + x] = static_cast<BYTE>(top * (1 - ay) + bottom * ay + 0.5);
    }
  }
}

// BT.601 planes to a bottom-up 24-bit bitmap (40-byte header first).
inline void PlanesToDib(int w, int h, const BYTE* y, const BYTE* u, const BYTE* v, BYTE* dib) {
  const int stride = (3 * w + 3) & ~3;
  BYTE* rows = dib + 40;
  auto clamp = [](double x) { return static_cast<BYTE>(std::clamp(x + 0.5, 0.0, 255.0)); };
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      const double Y = 1.164 * (y[r * w + c] - 16), U = u[(r / 2) * (w / 2) + c / 2] - 128.0,
                   V = v[(r / 2) * (w / 2) + c / 2] - 128.0;
      BYTE* p = rows + static_cast<std::size_t>(h - 1 - r) * stride + 3 * c;
      p[0] = clamp(Y + 2.018 * U);
      p[1] = clamp(Y - 0.391 * U - 0.813 * V);
      p[2] = clamp(Y + 1.596 * V);
    }
}

// The conversion as the program's conversion thread runs it: disc folder, the
// job, and the preview window (painted when a window-surface provider knows it).
inline Outcome Convert(const std::string& disc, const Job& job, HWND preview) {
  Outcome out;
  // What the options dialog and the conversion window take from the DVD information object.
  ComPtr<IDVDInfObj> info;
  CoCreateInstance(CLSID_DVDInfObj, nullptr, CLSCTX_ALL, IID_IDVDInfObj, info.put_void());
  if (!info) return {"no DVD information object"};
  Bstr folder = Bstr::FromPath(disc);
  if (info->OpenDvd(folder.get()) < 0) return {"OpenDvd: " + qcom::ErrorDescription(info.get(), IID_IDVDInfObj)};
  INT value = 0, start = 0, end = 0;
  info->SelectTitle(job.title);
  info->QueryTitle(job.title, &value);
  info->SelectProgramChain(job.programChain);
  info->GetPictureWidth(&out.sourceWidth);
  info->GetPictureHeight(&out.sourceHeight);
  info->GetChapterStart(job.firstChapter, &start);
  info->GetChapterEnd(job.lastChapter, &end);
  for (int c = job.firstChapter; c <= job.lastChapter; ++c) {
    double s = 0;
    info->GetChapterSeconds(c, &s);
    out.chapterSeconds += s;
  }
  const int sampleRate = job.kind == kSvcd ? 48000 : 44100;
  const int sw = out.sourceWidth, sh = out.sourceHeight, ow = job.outWidth, oh = job.outHeight;

  ComPtr<IDVDDataObj> data;
  ComPtr<IPicShowObj> painter;
  CoCreateInstance(CLSID_DVDDataObj, nullptr, CLSCTX_ALL, IID_IDVDDataObj, data.put_void());
  CoCreateInstance(CLSID_PicShowObj, nullptr, CLSCTX_ALL, IID_IPicShowObj, painter.put_void());
  if (!data) return {"no DVD data object"};
  if (painter && painter->Open(preview, sw, sh) < 0) painter.Reset();
  data->SetDvdPath(folder.get());
  data->SetTitle(job.title);
  data->SetProgramChain(job.programChain);
  data->SetSubtitle(job.subtitle);
  data->SetAudioStream(job.audio);
  data->SetAngle(0);
  data->SetFrameRate(job.fps);
  data->SetSampleRate(sampleRate);
  data->SetForce24(0);
  data->Open();
  data->Seek(start);

  ComPtr<IMpegEnc> mpeg;
  ComPtr<IAVIEncode> avi;
  ComPtr<IPICTUREUTL> pictures;
  if (job.kind == kAvi)
    CoCreateInstance(CLSID_AVIEncode, nullptr, CLSCTX_ALL, IID_IAVIEncode, avi.put_void());
  else
    CoCreateInstance(CLSID_MpegEnc, nullptr, CLSCTX_ALL, IID_IMpegEnc, mpeg.put_void());
  if (!mpeg && !avi) return {"no encoder"};
  // PICTUREUTL when the picture server is registered in this build, else our own resize.
  CoCreateInstance(CLSID_PICTUREUTL, nullptr, CLSCTX_ALL, IID_IPICTUREUTL, pictures.put_void());
  out.usedPictureServer = static_cast<bool>(pictures);
  INT sy = sw * sh, su = sy / 4, sv = sy / 4, oy = ow * oh, ou = oy / 4, ov = oy / 4;
  INT dibSize = ((3 * ow + 3) & ~3) * oh + 40;
  if (pictures) {
    pictures->GetYuvPlaneSizes(sw, sh, &sy, &su, &sv);
    pictures->GetYuvPlaneSizes(ow, oh, &oy, &ou, &ov);
    if (job.kind == kAvi) pictures->GetDibSize(ow, oh, 24, &dibSize);
  }

  Bstr output = Bstr::FromPath(job.output);
  if (job.kind == kVcd || job.kind == kSvcd) {
    const bool vcd = job.kind == kVcd;
    mpeg->SetOutputFile(output.get());
    mpeg->SetParameter10(vcd ? 1 : 3);
    mpeg->SetParameter12(vcd ? 1 : 3);
    mpeg->SetHeight(oh);
    mpeg->SetWidth(ow);
    mpeg->SetFrameRate(job.fps);
    mpeg->SetSampleRate(sampleRate);
    mpeg->SetParameter26(20);
    mpeg->SetParameter22(0);
    mpeg->SetParameter44(1);
    if (!vcd) mpeg->SetParameter32(2376);
    mpeg->SetParameter34(2600);
    mpeg->SetParameter42(vcd ? 1.4 : 5.6);
    mpeg->Start();
  } else {
    avi->SetOutputFile(output.get());
    avi->SetHeight(oh);
    avi->SetWidth(ow);
    avi->SetFrameRate(job.fps);
    avi->SetSampleRate(sampleRate);
    avi->SetParameter23(1);
    avi->SetParameter21(1);
    avi->SetCodec(job.codec);
    avi->SetLameBitrate(job.lameBitrate);
    avi->SetLameQuality(static_cast<BYTE>(job.lameQuality));
    avi->Start();
  }

  const bool resize = job.kind != kAvi || ow != sw || oh != sh;
  std::vector<BYTE> srcY(sy), srcU(su), srcV(sv), outY, outU, outV, dib;
  if (resize) outY.resize(oy), outU.resize(ou), outV.resize(ov);
  if (job.kind == kAvi) dib.resize(dibSize);
  BYTE* py = resize ? outY.data() : srcY.data();
  BYTE* pu = resize ? outU.data() : srcU.data();
  BYTE* pv = resize ? outV.data() : srcV.data();

  auto fail = [&](IUnknown* object, REFIID iid) {
    out.error = qcom::ErrorDescription(object, iid);
    if (out.error.empty()) out.error = "Program Exception ,have to stop!";
  };
  for (;;) {
    if (job.stopAfter > 0 && out.pictures == job.stopAfter) break;
    INT_PTR value1 = 0;
    INT value2 = 0;
    if (data->ReadFrame(srcY.data(), srcU.data(), srcV.data(), &value1, &value2) < 0) {
      fail(data.get(), IID_IDVDDataObj);
      break;
    }
    INT position = 0;
    data->GetPosition(&position);
    if (static_cast<DWORD>(position) > static_cast<DWORD>(end)) break;
    ++out.pictures;
    if (out.pictures % 25 == 0 && painter) {
      if (painter->ShowFrame(sw, sh, srcY.data(), srcU.data(), srcV.data(), preview) < 0) {
        fail(painter.get(), IID_IPicShowObj);
        break;
      }
      ++out.previews;
    }
    if (resize) {
      if (pictures) {
        if (pictures->ResizeYuvPlanes(sw, sh, srcY.data(), srcU.data(), srcV.data(), ow, oh, py, pu, pv) < 0) {
          fail(pictures.get(), IID_IPICTUREUTL);
          break;
        }
      } else {
        ResizePlane(srcY.data(), sw, sh, py, ow, oh);
        ResizePlane(srcU.data(), sw / 2, sh / 2, pu, ow / 2, oh / 2);
        ResizePlane(srcV.data(), sw / 2, sh / 2, pv, ow / 2, oh / 2);
      }
    }
    double size = 0;
    if (job.kind == kAvi) {
      if (pictures) {
        if (pictures->YuvPlanesToDib(ow, oh, py, pu, pv, dib.data()) < 0) {
          fail(pictures.get(), IID_IPICTUREUTL);
          break;
        }
      } else {
        PlanesToDib(ow, oh, py, pu, pv, dib.data());
      }
      if (avi->WriteFrame(dib.data() + 40, value1, value2) < 0) {
        fail(avi.get(), IID_IAVIEncode);
        break;
      }
      avi->GetFileSize(&size);
    } else {
      if (mpeg->EncodeFrame(py, pu, pv, ow, oh, value1, value2) < 0) {
        fail(mpeg.get(), IID_IMpegEnc);
        break;
      }
      mpeg->GetFileSize(&size);
    }
    if (size >= job.fileSizeLimit) {
      ++out.limitCalls;
      const HRESULT hr = avi ? avi->SizeLimitReached() : mpeg->SizeLimitReached();
      if (hr < 0) {
        avi ? fail(avi.get(), IID_IAVIEncode) : fail(mpeg.get(), IID_IMpegEnc);
        break;
      }
    }
  }
  data->Close();
  if (avi) avi->Finish();
  if (mpeg) mpeg->Finish();
  return out;
}

}  // namespace harness
