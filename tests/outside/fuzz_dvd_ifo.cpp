// libFuzzer target of the DVD reader's IFO path: an input is a disc's VIDEO_TS.IFO (its
// first 8192 bytes) and VTS_01_0.IFO (the rest), each written with an identical backup.
// The disc is opened and every title read, as the options dialog does; libdvdread's parse
// runs isolated, so any input either lists or is refused with a DvdError.
#include "dvd_disc.h"
#include "fuzz_dvd_support.h"

using namespace fuzzdvd;

namespace {
constexpr std::size_t kVmgBytes = 8192;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  Bytes seed = ReadFile(SampleVideoTs() / "VIDEO_TS.IFO", kVmgBytes);
  seed.resize(kVmgBytes, 0);
  const Bytes vts = ReadFile(SampleVideoTs() / "VTS_01_0.IFO");
  seed.insert(seed.end(), vts.begin(), vts.end());
  WriteSeed(CorpusDir(*argc, *argv), "seed-sample", seed);
  ScratchDisc();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& disc = ScratchDisc();
  const std::size_t vmg = std::min(size, kVmgBytes);
  for (const char* name : {"VIDEO_TS.IFO", "VIDEO_TS.BUP"}) WriteFile(disc / name, data, vmg);
  for (const char* name : {"VTS_01_0.IFO", "VTS_01_0.BUP"}) WriteFile(disc / name, data + vmg, size - vmg);
  try {
    outside::DvdDisc dvd(disc.string());
    for (int t = 0; t < dvd.TitleCount() && t < 16; ++t) {
      try {
        const outside::DvdTitle& title = dvd.Title(t);
        for (const outside::DvdProgramChain& pgc : title.programChains)
          for (int angle = 0; angle < title.angles && angle < 9; ++angle) outside::CellsForAngle(pgc, angle);
      } catch (const outside::DvdError&) {
      }
    }
  } catch (const outside::DvdError&) {
  }
  return 0;
}
