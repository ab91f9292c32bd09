// The library's load-time initialisation, in one place and one order: C++ does
// not order static initialisers across files, so nothing else runs at load.
#include "picture_server.h"

#include <zentra/fft_primitives.h>
#include <zentra/timing_report.h>
#include <zentra/video_primitives.h>

#include <com/server.h>

#include <cstdlib>

namespace zentra {

void RunLibraryLoad() {
  qcom::Module();  // the framework's module state
  InstallTimingReportExitHook();
  Register_ippsFFTInv_CToC_64f();
  Register_ippsFFTInitAlloc_C_64f();
  Register_ippsFFTFree_C_64f();
  Register_ippiSAD16x16_8u32s();
  Register_ippiGetDiff8x8_8u16s_C1();
  Register_ippiSqrDiff16x16B_8u32s();
  Register_ippiQuantInv_MPEG2_16s_C1I();
  Register_ippiQuantInvIntra_MPEG2_16s_C1I();
  Register_ippiMC16x16B_8u_C1();
  Register_ippiMC8x8B_8u_C1();
  Register_ippiFFTInv_CToC_32fc_C1R();
  Register_ippiFFTInitAlloc_C_32fc();
  Register_ippiFFTFree_C_32fc();
  // The library's entry: the module gets its object map, and gives it up again
  // through the exit list, which runs at unload before the module state is gone.
  InitPictureServerModule();
  std::atexit(&TermPictureServerModule);
}

namespace {

__attribute__((constructor)) void LibraryLoad() { RunLibraryLoad(); }

}  // namespace

}  // namespace zentra
