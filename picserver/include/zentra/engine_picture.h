// The video engine's own picture routines: bitmap rows to planar YUV 4:2:0
// pictures, bottom-up 24-bit rows to top-down 32-bit or 24-bit rows, and the
// resize of a whole picture; beside them the two RGB-to-YUV 4:2:0 primitives and
// the 32-bit BGRX converters. The entries of engine_dispatch.h run the _C builds.
#pragma once

#include <zentra/engine_dispatch.h>
#include <zentra/primitive_runtime.h>

#include <cstdint>

namespace zentra {

struct BitmapInfoHeader;

// RGB rows (byte 0 red, 1 green, 2 blue; 3 bytes a pixel) to Y, the
// blue-difference plane dst[1] and the red-difference plane dst[2]. Checks, in
// order: src or dst null -8; width or height not positive -6; a plane null -8;
// srcStep, then each dstStep not positive -14. Chroma planes hold
// (width+1)/2 x (height+1)/2 samples: an odd last column or row has its own.
PrimitiveStatus RgbToYuv420P3(const std::uint8_t* src, std::int32_t srcStep,
                              std::uint8_t* const dst[3], const std::int32_t dstStep[3],
                              std::int32_t width, std::int32_t height);
// The same without checks; srcStep may be negative (rows read upward).
void RgbToYuv420(const std::uint8_t* src, std::uint8_t* y, std::uint8_t* u, std::uint8_t* v,
                 std::int32_t width, std::int32_t height, std::int32_t srcStep, std::int32_t yStep,
                 std::int32_t uStep, std::int32_t vStep);

// Builds of the engine entries. The bitmap wrappers read pixels stored blue
// first and fill the picture's U plane with the blue difference and its V plane
// with the red difference; chroma goes only where the picture's half-size
// planes have room.
PrimitiveStatus Dib24ToYuvPicture_C(const std::uint8_t* pixels, YuvPicture* picture);
void Dib24ToYuvPictureFlipped_C(const std::uint8_t* pixels, YuvPicture* picture);
PrimitiveStatus Dib32ToYuvPicture_C(const std::uint8_t* pixels, YuvPicture* picture);
// 1 when the bitmap was converted; 0 for a bit count or picture format it does
// not convert, a header whose size is not the picture's, or a failed conversion.
std::int32_t DibToYuvPicture_C(const BitmapInfoHeader* header, const std::uint8_t* pixels,
                               YuvPicture* picture);
void Dib24RowsToRgb32_C(std::int32_t width, std::int32_t height, const std::uint8_t* src,
                        std::uint8_t* dst);
void Dib24RowsToRgb24_C(std::int32_t width, std::int32_t height, const std::uint8_t* src,
                        std::uint8_t* dst);
// The first failing plane's status, else the last plane's.
PrimitiveStatus ResizeYuvPicture_C(const YuvPicture* src, YuvPicture* dst);

// ResizePlane for a plane that may be empty: a plane without samples on either
// side has nothing to resize and succeeds.
PrimitiveStatus ResizePlaneUnlessEmpty(const std::uint8_t* src, std::uint8_t* dst,
                                       std::int32_t srcWidth, std::int32_t srcHeight,
                                       std::int32_t dstWidth, std::int32_t dstHeight);

// Bottom-up B, G, R rows (stride (3w+3) & ~3) to planes of row steps w, w/2,
// w/2 through the studio-range chroma tables; 0, or -9 when its row buffers
// cannot be had (then nothing is written).
PrimitiveStatus Bgr24ToYuv420Tables(std::int32_t width, std::int32_t height,
                                    const std::uint8_t* pixels, std::uint8_t* y, std::uint8_t* u,
                                    std::uint8_t* v);

// Top-down B, G, R, X pixels in rows of 4*width bytes.
void Bgrx32ToLuma(std::int32_t width, std::int32_t height, const std::uint8_t* src,
                  std::uint8_t* y);
// U and V planes (row step width/2) from every complete 2x2 block.
void Bgrx32ToYuv420Mmx(std::int32_t width, std::int32_t height, const std::uint8_t* src,
                       std::uint8_t* u, std::uint8_t* v);
// One U and one V sample for the 2x2 block at src, whose second row lies
// rowPixels pixels further.
void Bgrx32BlockChroma(const std::uint8_t* src, std::int32_t rowPixels, std::uint8_t* u,
                       std::uint8_t* v);

}  // namespace zentra
