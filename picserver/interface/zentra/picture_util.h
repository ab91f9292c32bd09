// PICTUREUTL, the picture server's one class, as its clients see it: the class
// and interface identifiers and IPICTUREUTL in virtual-table order (slots 7-12
// after IUnknown and IDispatch). Clients create it with CoCreateInstance.
#pragma once

#include <com/com.h>

// {A7220B29-6598-499A-948E-70FF65FE662E}
inline constexpr CLSID CLSID_PICTUREUTL = {0xA7220B29, 0x6598, 0x499A, {0x94, 0x8E, 0x70, 0xFF, 0x65, 0xFE, 0x66, 0x2E}};
// {E46A7046-4A47-401D-BDE9-EBEC52272D9E}
inline constexpr IID IID_IPICTUREUTL = {0xE46A7046, 0x4A47, 0x401D, {0xBD, 0xE9, 0xEB, 0xEC, 0x52, 0x27, 0x2D, 0x9E}};
// {07AAB75E-71A3-4EA6-B9D4-EB6D21D78236}
inline constexpr GUID LIBID_ZENTRA = {0x07AAB75E, 0x71A3, 0x4EA6, {0xB9, 0xD4, 0xEB, 0x6D, 0x21, 0xD7, 0x82, 0x36}};

struct IPICTUREUTL : IDispatch {
  // Bottom-up R, G, B rows at the stride (3w+3)&~3 to Y, V (Cr), U (Cb) planes.
  virtual HRESULT STDMETHODCALLTYPE RgbToYuvPlanes(BYTE* pixels, INT width, INT height, BYTE* yOut,
                                                   BYTE* vOut, BYTE* uOut) = 0;
  // Y, U, V planes to a 24-bit bitmap (40-byte header and bottom-up B, G, R rows).
  virtual HRESULT STDMETHODCALLTYPE YuvPlanesToDib(INT width, INT height, BYTE* y, BYTE* u, BYTE* v,
                                                   BYTE* dib) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetYuvPlaneSizes(INT width, INT height, INT* ySize, INT* uSize,
                                                     INT* vSize) = 0;
  // DISP_E_EXCEPTION for any bit count but 24.
  virtual HRESULT STDMETHODCALLTYPE GetDibSize(INT width, INT height, INT bitCount, INT* size) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResizeDib(BYTE* srcDib, INT newWidth, INT newHeight,
                                              BYTE* dstDib) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResizeYuvPlanes(INT srcWidth, INT srcHeight, BYTE* srcY,
                                                    BYTE* srcU, BYTE* srcV, INT dstWidth,
                                                    INT dstHeight, BYTE* dstY, BYTE* dstU,
                                                    BYTE* dstV) = 0;
};
