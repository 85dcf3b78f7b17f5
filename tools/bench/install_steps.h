#pragma once
// The steps of a silent install, timed from the lines of its log as they
// arrive: a line's step lasts until the next line arrives (the last one's until
// the program has ended); the time before the first line is the start-up.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tf::bench {

inline constexpr std::array<const char*, 9> kInstallSteps = {
    "start",      // Wine's start-up, then the program's own up to its first line
    "open",       // open the image, its identity, the selection (free space too when no note follows)
    "note",       // the retail note's pause, the free-space check
    "extract",    // the folder chain, then the extraction
    "payload",    // runtime payload and tarnfell.ini, leftovers
    "arenas",     // RAVU RIZO arenas (and the Android build with /android)
    "shortcuts",  // uninstaller copy and shortcuts
    "register",   // uninstall entry with its folder size walk
    "exit",       // after "Done.": the program's and Wine's shutdown
};

// The index in kInstallSteps of the step that a line of this percentage begins.
size_t StepOfPercent(int percent);

class InstallStepClock {
 public:
  // Bytes appended to the log, read at time `at`: each line they complete is
  // stamped with it (a line's first "[nnn%]" gives its percentage).
  void Read(std::string_view bytes, double at);
  // Seconds per step of kInstallSteps, from `start` to `end`.
  std::vector<double> Seconds(double start, double end) const;

 private:
  struct Line {
    double at;
    int percent;
  };
  std::string pending_;
  std::vector<Line> lines_;
};

}  // namespace tf::bench
