// The whole program road of a conversion: the program started on a private X server with
// the SDL2 backend, driven through its windows as a user would (mode button, "Disk", OK),
// timed from the click on OK to the encoder's last write.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

// The longest any step of a run may take: a window showing, the file being finished after
// OK, the program closing, and the benchmark's wait for the run's report. A run takes
// seconds; one that reaches this waits for nothing more.
inline constexpr std::chrono::seconds kProgramRoadLimit{120};

struct RoadRun {
  double seconds = 0;    // OK to the last write
  double cpuSeconds = 0;  // the process's processor time over the same stretch
  long peakKilobytes = 0;  // the process's peak resident memory (ru_maxrss)
  std::string failure;    // empty when the run went through
};

// Runs the road once in a child process: `button` is the main window's mode button (4 DivX,
// 6 VCD, 7 SVCD), `title` the title chosen in the options dialog (from 0), `disc` the
// folder holding VIDEO_TS, `display` the X server's. The child is a copy of this program
// in a folder of its own, beside the skins, so that its settings file and output stay there.
RoadRun RunProgramRoad(int button, int title, const std::filesystem::path& disc, const std::string& display);

// Removes the child's folder, once the runs are over.
void RemoveProgramRoadFolder();

// When this process was started as such a child: runs the program and answers true with
// the exit code in *code.
bool ProgramRoadChild(int argc, char** argv, int* code);
