#include "install_steps.h"

#include <cstdio>

namespace tf::bench {

size_t StepOfPercent(int percent) {
  if (percent <= 0) return 0;
  if (percent == 1) return 1;
  if (percent == 2) return 2;
  if (percent <= 85) return 3;
  if (percent == 86) return 4;
  if (percent <= 96) return 5;
  if (percent <= 98) return 6;
  if (percent == 99) return 7;
  return 8;
}

void InstallStepClock::Read(std::string_view bytes, double at) {
  pending_.append(bytes);
  for (size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1)) {
    int percent = -1;
    const size_t open = pending_.find('[');
    if (open < end) std::sscanf(pending_.c_str() + open, "[%d%%]", &percent);
    lines_.push_back({at, percent});
  }
}

std::vector<double> InstallStepClock::Seconds(double start, double end) const {
  std::vector<double> seconds(kInstallSteps.size(), 0.0);
  double from = start;
  size_t step = 0;
  for (const Line& line : lines_) {
    seconds[step] += line.at - from;
    from = line.at;
    step = StepOfPercent(line.percent);
  }
  seconds[step] += end - from;
  return seconds;
}

}  // namespace tf::bench
