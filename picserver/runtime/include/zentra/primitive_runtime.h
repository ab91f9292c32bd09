// Runtime shared by the library's signal-processing primitives: status codes,
// processor-selected dispatch through DispatchRecords, load-time registration
// and 32-byte-aligned work buffers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zentra {

using PrimitiveStatus = std::int32_t;

inline constexpr PrimitiveStatus StatusOk = 0;
inline constexpr PrimitiveStatus StatusRoiOutside = 1;
inline constexpr PrimitiveStatus StatusSizeError = -6;
inline constexpr PrimitiveStatus StatusNullPointer = -8;
inline constexpr PrimitiveStatus StatusNoMemory = -9;
inline constexpr PrimitiveStatus StatusStepError = -14;
inline constexpr PrimitiveStatus StatusFftOrderError = -15;
inline constexpr PrimitiveStatus StatusFftFlagError = -16;
inline constexpr PrimitiveStatus StatusContextMismatch = -17;
inline constexpr PrimitiveStatus StatusInterpolationError = -22;
inline constexpr PrimitiveStatus StatusResizeFactorError = -23;
inline constexpr PrimitiveStatus StatusNotGenuineCpu = 20;
inline constexpr PrimitiveStatus StatusCpuTypeError = 21;

// ---- Processor-selected dispatch of the named primitives.

// Selects build 1..4 of every named primitive; 1 (any x86 processor) from load on.
extern std::int32_t CpuDispatchIndex;

// The processor levels that select a build of a named primitive; the build
// named _Vk sits in slot k and runs when CpuDispatchIndex is k.
enum PrimitiveBuildSlot : std::int32_t {
  kBuildAnyCpu = 1,  // _V1
  kBuildSse = 2,     // _V2
  kBuildSse2 = 3,    // _V3
  kBuildSse3 = 4,    // _V4
};
inline constexpr std::int32_t kPrimitiveBuildCount = 4;

// Six code slots: null, builds 1 to 4, null. Build k runs when CpuDispatchIndex is k.
template <typename Build>
struct PrimitiveBuildTable {
  Build slot[6];
};

// The one way a build table is laid out: `ZENTRA_PRIMITIVE_BUILDS(ippiFoo)` gives
// null, ippiFoo_V1 .. ippiFoo_V4, null; `ZENTRA_NO_PRIMITIVE_BUILDS` an empty table.
#define ZENTRA_PRIMITIVE_BUILDS(name) \
  {{nullptr, &name##_V1, &name##_V2, &name##_V3, &name##_V4, nullptr}}
#define ZENTRA_NO_PRIMITIVE_BUILDS {{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}}

// A named primitive's dispatch entry: the build that CpuDispatchIndex selects.
// An index outside 1..4 would name an empty slot; build 1 runs on every
// processor, so it is taken instead.
template <typename Build, typename... Args>
inline auto CallSelectedBuild(const PrimitiveBuildTable<Build>& table, Args... args) {
  const std::int32_t index = CpuDispatchIndex;
  return table.slot[index >= kBuildAnyCpu && index <= kPrimitiveBuildCount ? index : kBuildAnyCpu](args...);
}

inline constexpr std::int32_t DispatchRecordKind = 0x73;  // "s"

struct DispatchRecord {
  const std::int32_t* kindWord;  // this record's own kind word
  const char* nameText;          // this record's own name
  const void* buildTable;        // the primitive's PrimitiveBuildTable
  DispatchRecord* next;          // previous list head once registered
  std::int32_t kind;
  char name[32];  // NUL-terminated, zero padded; the longest name is 31 characters
};

// 16 bytes set between the primitives' data items so that they stand out in the
// library image; nothing reads them.
struct DataMarker {
  char text[16];
};
inline constexpr DataMarker kDataMarker = {{'D', 'U', 'D', 'U', 'r', 'a', 'r', 'o', 'z', 'o', 0, 0, 0, 0, 0, 0}};

// Head of the registered records, most recent first; null before the first push.
extern DispatchRecord* DispatchRecordList;

// Makes record the list head and returns the head it replaced; the caller stores
// that in the record's next link. Runs only at library load, so it takes no lock.
DispatchRecord* PushDispatchRecord(DispatchRecord* record);

// ---- Aligned work buffers.

// The returned address is 32-byte aligned; the heap pointer of the block sits in
// the pointer-sized slot just before it. Counts of zero or less give null.
void* AllocAligned(std::int32_t size);
float* AllocAlignedFloats(std::int32_t count);
std::int16_t* AllocAlignedShorts(std::int32_t count);
void FreeAligned(void* pointer);

// Bytes taken from the heap beyond the payload: the alignment slack plus the
// stored heap pointer.
inline constexpr std::size_t kAlignedBlockOverhead = 32 + sizeof(void*);

// The C heap behind the aligned blocks and the library's per-call scratch
// buffers. Tests swap it to count requests and to make allocations fail.
struct CHeap {
  void* (*allocate)(std::size_t bytes);
  void (*release)(void* block);
};
extern CHeap LibraryHeap;

inline void* HeapAllocate(std::size_t bytes) { return LibraryHeap.allocate(bytes); }
inline void HeapRelease(void* block) { LibraryHeap.release(block); }

// ---- Processor detection (nothing in the library calls these at load).

struct CpuFeatures {
  std::int32_t family;
  std::int32_t stepping;
  std::int32_t model;
  std::uint32_t featureEdx;  // leaf 1 EDX
  std::uint32_t leaf2Eax;
  std::uint32_t leaf2Edx;
  std::int32_t hasMmx;
  std::int32_t hasSse;
  std::int32_t hasSse2;
  std::int32_t hasHyperThreading;
  std::int32_t hasSse3;
};

std::int32_t HasCpuid();
std::int32_t IsGenuineIntel();
std::uint32_t GetCpuidMaxLeaf();
std::int32_t HasTsc();
std::int32_t HasMmx();
std::int32_t HasSse();
std::int32_t HasSse2();
std::int32_t HasHyperThreading();
std::int32_t HasSse3();
std::uint64_t ReadTimeStampCounter();
void ReadCpuFeatures(CpuFeatures* record);

// Processor class of a processor described by its features (the rule behind GetCpuType).
std::int32_t CpuTypeOf(bool identifiable, bool genuineIntel, const CpuFeatures& features);
std::int32_t GetCpuType();
// CpuDispatchIndex for a processor class (the rule behind InitCpuDispatch).
std::int32_t CpuDispatchIndexForClass(std::int32_t cpuClass);
PrimitiveStatus InitCpuDispatch();
PrimitiveStatus SetCpuDispatchByType(std::int32_t cpuType);

}  // namespace zentra
