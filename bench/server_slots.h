// The methods of the outside servers and of PICTUREUTL that the benchmarks watch, with
// their slots in the virtual table: one table for every benchmark that wraps the servers.
// Each entry names the interface's own method, so its signature and interface come from
// the declaration and are checked when this compiles; the slot number is checked against
// the declaration when the program starts (SlotMismatches), since C++ offers no constant
// expression for a virtual method's place in its table.
#pragma once

#include <outside/dvd.h>
#include <outside/encoders.h>
#include <zentra/picture_util.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>

namespace slots {

template <class M>
struct MethodOf;
template <class I, class R, class... A>
struct MethodOf<R (I::*)(A...)> {
  using Interface = I;
  using Sig = R(A...);
};

// Method M of an interface at virtual-table slot N.
template <auto M, int N>
struct Slot {
  using Interface = typename MethodOf<decltype(M)>::Interface;
  using Sig = typename MethodOf<decltype(M)>::Sig;
  static constexpr auto method = M;
  static constexpr int index = N;
  static_assert(std::is_base_of_v<IDispatch, Interface>, "a method of one of the servers' dual interfaces");
  static_assert(N >= 7, "slots 0-6 are IUnknown's and IDispatch's");
};

// IDVDDataObj: the DVD data object reads and decodes.
using DataOpen = Slot<&IDVDDataObj::Open, 27>;
using DataSeek = Slot<&IDVDDataObj::Seek, 28>;
using DataReadFrame = Slot<&IDVDDataObj::ReadFrame, 29>;
using DataGetPosition = Slot<&IDVDDataObj::GetPosition, 31>;
using DataClose = Slot<&IDVDDataObj::Close, 32>;
// IMpegEnc: VCD and SVCD files.
using MpegStart = Slot<&IMpegEnc::Start, 49>;
using MpegEncodeFrame = Slot<&IMpegEnc::EncodeFrame, 50>;
using MpegGetFileSize = Slot<&IMpegEnc::GetFileSize, 51>;
using MpegSizeLimitReached = Slot<&IMpegEnc::SizeLimitReached, 52>;
using MpegFinish = Slot<&IMpegEnc::Finish, 53>;
// IAVIEncode: AVI files.
using AviStart = Slot<&IAVIEncode::Start, 37>;
using AviGetFileSize = Slot<&IAVIEncode::GetFileSize, 38>;
using AviWriteFrame = Slot<&IAVIEncode::WriteFrame, 39>;
using AviSizeLimitReached = Slot<&IAVIEncode::SizeLimitReached, 40>;
using AviFinish = Slot<&IAVIEncode::Finish, 41>;
// IPicShowObj: the preview painter.
using PainterOpen = Slot<&IPicShowObj::Open, 7>;
using PainterShowFrame = Slot<&IPicShowObj::ShowFrame, 8>;
// IPICTUREUTL: the picture server.
using PicturesYuvPlanesToDib = Slot<&IPICTUREUTL::YuvPlanesToDib, 8>;
using PicturesResizeYuvPlanes = Slot<&IPICTUREUTL::ResizeYuvPlanes, 12>;

// The length of each table a wrapping factory copies: one past the interface's last method.
inline constexpr int kDataSlots = DataClose::index + 1;
inline constexpr int kMpegSlots = MpegFinish::index + 1;
inline constexpr int kAviSlots = AviFinish::index + 1;
inline constexpr int kPainterSlots = PainterShowFrame::index + 1;
inline constexpr int kPicturesSlots = PicturesResizeYuvPlanes::index + 1;

using All = std::tuple<DataOpen, DataSeek, DataReadFrame, DataGetPosition, DataClose, MpegStart, MpegEncodeFrame,
                       MpegGetFileSize, MpegSizeLimitReached, MpegFinish, AviStart, AviGetFileSize, AviWriteFrame,
                       AviSizeLimitReached, AviFinish, PainterOpen, PainterShowFrame, PicturesYuvPlanesToDib,
                       PicturesResizeYuvPlanes>;

// The slot the compiler gave a virtual method, read from its member pointer as the
// Itanium C++ ABI lays it out (GCC and Clang on Linux): 1 + the byte offset in the table.
// -1 for a member pointer that is not a virtual method of the interface itself.
template <class S>
int DeclaredSlot() {
  struct Representation {
    std::uintptr_t ptr;
    std::ptrdiff_t adjustment;
  } r{};
  const auto m = S::method;
  static_assert(sizeof m == sizeof r);
  std::memcpy(&r, &m, sizeof r);
  if ((r.ptr & 1) == 0 || r.adjustment != 0) return -1;
  return static_cast<int>((r.ptr - 1) / sizeof(void*));
}

// The entries whose slot is not the declaration's, one line each; empty when all agree.
inline std::string SlotMismatches() {
  std::string out;
  std::apply(
      [&](auto... s) {
        ((DeclaredSlot<decltype(s)>() == decltype(s)::index
              ? void()
              : void(out += "slot " + std::to_string(decltype(s)::index) + " is declared at " +
                        std::to_string(DeclaredSlot<decltype(s)>()) + "\n")),
         ...);
      },
      All{});
  return out;
}

}  // namespace slots
