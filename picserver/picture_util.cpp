// The PICTUREUTL class: no data of its own; every method runs a conversion and
// turns its failure into error information for the caller.
#include "picture_server.h"

#include <zentra/conversions.h>
#include <zentra/picture_util.h>

#include <com/errorinfo.h>
#include <com/server.h>

#include <span>

namespace zentra {

namespace {

class PictureUtl : public qcom::ObjectRoot,
                   public qcom::DispatchImpl<IPICTUREUTL, IID_IPICTUREUTL, LIBID_ZENTRA>,
                   public qcom::SupportErrorInfoImpl<IID_IPICTUREUTL> {
 public:
  static std::span<const qcom::InterfaceEntry> Interfaces() {
    static const qcom::InterfaceEntry map[] = {
        qcom::Entry<PictureUtl, IPICTUREUTL>(IID_IPICTUREUTL),
        qcom::Entry<PictureUtl, IDispatch, IPICTUREUTL>(IID_IDispatch),
        qcom::Entry<PictureUtl, ISupportErrorInfo>(IID_ISupportErrorInfo)};
    return map;
  }

  HRESULT FinalConstruct() {
    BuildConversionTables();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE RgbToYuvPlanes(BYTE* pixels, INT width, INT height, BYTE* yOut,
                                           BYTE* vOut, BYTE* uOut) override {
    return Report(zentra::RgbToYuvPlanes(pixels, width, height, yOut, vOut, uOut));
  }
  HRESULT STDMETHODCALLTYPE YuvPlanesToDib(INT width, INT height, BYTE* y, BYTE* u, BYTE* v,
                                           BYTE* dib) override {
    return Report(zentra::YuvPlanesToDib(width, height, y, u, v, dib));
  }
  HRESULT STDMETHODCALLTYPE GetYuvPlaneSizes(INT width, INT height, INT* ySize, INT* uSize,
                                             INT* vSize) override {
    return Report(zentra::GetYuvPlaneSizes(width, height, ySize, uSize, vSize));
  }
  HRESULT STDMETHODCALLTYPE GetDibSize(INT width, INT height, INT bitCount, INT* size) override {
    return Report(zentra::GetDibSize(width, height, bitCount, size));
  }
  HRESULT STDMETHODCALLTYPE ResizeDib(BYTE* srcDib, INT newWidth, INT newHeight,
                                      BYTE* dstDib) override {
    return Report(zentra::ResizeDib(srcDib, newWidth, newHeight, dstDib));
  }
  HRESULT STDMETHODCALLTYPE ResizeYuvPlanes(INT srcWidth, INT srcHeight, BYTE* srcY, BYTE* srcU,
                                            BYTE* srcV, INT dstWidth, INT dstHeight, BYTE* dstY,
                                            BYTE* dstU, BYTE* dstV) override {
    return Report(zentra::ResizeYuvPlanes(srcWidth, srcHeight, srcY, srcU, srcV, dstWidth,
                                          dstHeight, dstY, dstU, dstV));
  }

 private:
  static HRESULT Report(const ConversionResult& r) {
    if (!r.Failed()) return r.hr;
    return qcom::ReportError(r.hr, CLSID_PICTUREUTL, r.description);
  }
};

// Under HKEY_CLASSES_ROOT: both ProgIDs and the class key; CLSID itself stays.
constexpr char kRegistrationScript[] = R"(HKCR
{
  ZENTRA.PICTUREUTL.1 = s 'PICTUREUTL Class'
  {
    CLSID = s '{A7220B29-6598-499A-948E-70FF65FE662E}'
  }
  ZENTRA.PICTUREUTL = s 'PICTUREUTL Class'
  {
    CLSID = s '{A7220B29-6598-499A-948E-70FF65FE662E}'
    CurVer = s 'ZENTRA.PICTUREUTL.1'
  }
  NoRemove CLSID
  {
    ForceRemove {A7220B29-6598-499A-948E-70FF65FE662E} = s 'PICTUREUTL Class'
    {
      ProgID = s 'ZENTRA.PICTUREUTL.1'
      VersionIndependentProgID = s 'ZENTRA.PICTUREUTL'
      ForceRemove 'Programmable'
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Apartment'
      }
      'TypeLib' = s '{07AAB75E-71A3-4EA6-B9D4-EB6D21D78236}'
    }
  }
})";

const qcom::ObjectMapEntry kObjectMap[] = {
    {&CLSID_PICTUREUTL, &qcom::CreateInstance<PictureUtl>, kRegistrationScript}};

}  // namespace

void InitPictureServerModule() { qcom::Module().Init(kObjectMap, 1, &LIBID_ZENTRA); }

void TermPictureServerModule() { qcom::Module().Term(); }

}  // namespace zentra
