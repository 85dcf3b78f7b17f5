#pragma once
// One job at a time on a thread of its own, beside the caller's own work: the
// Android pack's chunks are checksummed, written and the next one read there
// while the install thread hashes them.
#include <windows.h>

#include "common/win32_handle.h"

namespace tf {

class BackgroundJob {
 public:
  using Work = void (*)(void* context);

  BackgroundJob();
  // Waits for a job in flight and ends the thread.
  ~BackgroundJob();
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;

  // Starts work(context); the caller ends it before it begins another or
  // touches what the job uses. Where no thread could be started, the job
  // runs here and now.
  void Begin(Work work, void* context);
  // Waits for the job begun last (at once when none runs).
  void End();

  // Whether jobs run on a thread of their own.
  bool Threaded() const { return thread_.Valid(); }

 private:
  static DWORD WINAPI ThreadMain(void* self);

  // A lock and a condition variable rather than events: under Wine, waiting
  // on them makes no request to its server, whose round trips, two a chunk,
  // cost the pack a tenth of a second per GiB.
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
  Work work_ = nullptr;
  void* context_ = nullptr;
  bool busy_ = false;
  bool stop_ = false;
  UniqueKernelHandle thread_;
};

}  // namespace tf
