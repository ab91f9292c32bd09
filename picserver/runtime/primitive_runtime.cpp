#include <zentra/engine_dispatch.h>
#include <zentra/primitive_runtime.h>

#include <cpuid.h>
#include <x86intrin.h>

#include <cstdlib>
#include <cstring>

namespace zentra {

// The markers on both sides of the index keep the library's data layout
// recognisable; nothing reads them.
[[maybe_unused]] DataMarker CpuDispatchIndexMarkerBefore = kDataMarker;
std::int32_t CpuDispatchIndex = 1;
[[maybe_unused]] DataMarker CpuDispatchIndexMarkerAfter = kDataMarker;

DispatchRecord* DispatchRecordList = nullptr;

// The engine's kernel operations run the build in this slot of their tables.
std::int32_t EngineDispatchIndex = 1;

DispatchRecord* PushDispatchRecord(DispatchRecord* record) {
  DispatchRecord* previous = DispatchRecordList;
  DispatchRecordList = record;
  return previous;
}

CHeap LibraryHeap = {&std::malloc, &std::free};

namespace {

// Payload bytes plus overhead, in 64-bit arithmetic so that large counts cannot
// wrap into a small request.
void* AllocAlignedBytes(std::int64_t payload) {
  void* block = HeapAllocate(static_cast<std::size_t>(payload) + kAlignedBlockOverhead);
  if (block == nullptr) return nullptr;
  auto base = reinterpret_cast<std::uintptr_t>(block);
  std::uintptr_t aligned = (base + kAlignedBlockOverhead - 1) & ~std::uintptr_t{31};
  std::memcpy(reinterpret_cast<void*>(aligned - sizeof(void*)), &block, sizeof(void*));
  return reinterpret_cast<void*>(aligned);
}

}  // namespace

void* AllocAligned(std::int32_t size) {
  if (size <= 0) return nullptr;
  return AllocAlignedBytes(size);
}

float* AllocAlignedFloats(std::int32_t count) {
  if (count <= 0) return nullptr;
  return static_cast<float*>(AllocAlignedBytes(std::int64_t{count} * 4));
}

std::int16_t* AllocAlignedShorts(std::int32_t count) {
  if (count <= 0) return nullptr;
  return static_cast<std::int16_t*>(AllocAlignedBytes(std::int64_t{count} * 2));
}

void FreeAligned(void* pointer) {
  if (pointer == nullptr) return;
  void* block;
  std::memcpy(&block, static_cast<char*>(pointer) - sizeof(void*), sizeof(void*));
  HeapRelease(block);
}

// ---- Processor detection.

namespace {

struct CpuidResult {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};

CpuidResult Cpuid(unsigned leaf) {
  CpuidResult r;
  __cpuid(leaf, r.eax, r.ebx, r.ecx, r.edx);
  return r;
}

}  // namespace

// Every x86-64 processor has the identification instruction (the flag test of
// 32-bit processors has nothing to find here).
std::int32_t HasCpuid() { return 1; }

std::int32_t IsGenuineIntel() {
  CpuidResult r = Cpuid(0);
  char vendor[12];
  std::memcpy(vendor, &r.ebx, 4);
  std::memcpy(vendor + 4, &r.edx, 4);
  std::memcpy(vendor + 8, &r.ecx, 4);
  return std::memcmp(vendor, "GenuineIntel", 12) == 0 ? 1 : 0;
}

std::uint32_t GetCpuidMaxLeaf() { return Cpuid(0).eax; }

std::int32_t HasTsc() { return (Cpuid(1).edx >> 4) & 1; }
std::int32_t HasMmx() { return (Cpuid(1).edx >> 23) & 1; }
std::int32_t HasSse() { return (Cpuid(1).edx >> 25) & 1; }
std::int32_t HasSse2() { return (Cpuid(1).edx >> 26) & 1; }
std::int32_t HasSse3() { return Cpuid(1).ecx & 1; }

std::int32_t HasHyperThreading() {
  CpuidResult r = Cpuid(1);
  return ((r.edx >> 28) & 1) != 0 && ((r.ebx >> 16) & 0xFF) > 1 ? 1 : 0;
}

std::uint64_t ReadTimeStampCounter() { return __rdtsc(); }

void ReadCpuFeatures(CpuFeatures* record) {
  CpuidResult leaf1 = Cpuid(1);
  CpuidResult leaf2 = GetCpuidMaxLeaf() >= 2 ? Cpuid(2) : CpuidResult{};
  record->family = static_cast<std::int32_t>((leaf1.eax >> 8) & 0xF);
  record->stepping = static_cast<std::int32_t>(leaf1.eax & 0xF);
  record->model = static_cast<std::int32_t>((leaf1.eax >> 4) & 0xF);
  record->featureEdx = leaf1.edx;
  record->leaf2Eax = leaf2.eax;
  record->leaf2Edx = leaf2.edx;
  record->hasMmx = HasMmx();
  record->hasSse = HasSse();
  record->hasSse2 = HasSse2();
  record->hasHyperThreading = HasHyperThreading();
  record->hasSse3 = HasSse3();
}

std::int32_t CpuTypeOf(bool identifiable, bool genuineIntel, const CpuFeatures& f) {
  if (!identifiable || !genuineIntel) return 0;
  switch (f.family) {
    case 5:
      return f.hasMmx ? 2 : 1;
    case 6:
      if (f.hasSse2) return 9;
      if (f.hasSse) return 5;
      if (f.hasMmx) return 4;
      return 3;
    case 7:
      return 16;
    case 15:
      if (f.hasSse2 && f.hasSse3) return 8;
      if (f.hasSse2 && f.hasHyperThreading) return 7;
      if (f.hasSse2) return 6;
      return 17;
    default:
      return 0;
  }
}

std::int32_t GetCpuType() {
  if (!HasCpuid() || !IsGenuineIntel()) return 0;
  CpuFeatures features;
  ReadCpuFeatures(&features);
  return CpuTypeOf(true, true, features);
}

std::int32_t CpuDispatchIndexForClass(std::int32_t cpuClass) {
  switch (cpuClass) {
    case 1: case 2: case 3: case 4: return 1;
    case 5: return 2;
    case 6: case 7: case 9: return 3;
    case 8: return 4;
    default: return 1;
  }
}

PrimitiveStatus InitCpuDispatch() {
  CpuDispatchIndex = CpuDispatchIndexForClass(GetCpuType());
  if (!HasCpuid() || !IsGenuineIntel()) {
    CpuDispatchIndex = 1;
    return StatusNotGenuineCpu;
  }
  return StatusOk;
}

// Type -1 would select slot 0, which is empty in every build table, so it is
// refused like the types outside the known range.
PrimitiveStatus SetCpuDispatchByType(std::int32_t cpuType) {
  switch (cpuType) {
    case 0: case 1: case 2: case 3: case 4: CpuDispatchIndex = 1; return StatusOk;
    case 5: CpuDispatchIndex = 2; return StatusOk;
    case 6: case 7: case 9: CpuDispatchIndex = 3; return StatusOk;
    case 8: CpuDispatchIndex = 4; return StatusOk;
    default: return StatusCpuTypeError;
  }
}

}  // namespace zentra
