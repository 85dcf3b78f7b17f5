// Jobs run beside the caller: on another thread, one after the other, while
// the caller goes on, and none is cut short when the runner goes.
#include "common/background_job.h"

#include <gtest/gtest.h>

#include <vector>

namespace tf {
namespace {

struct Log {
  std::vector<int> order;
  std::vector<DWORD> threads;
  HANDLE release = nullptr;  // when set, the job waits for it (at most 10 s)
  bool released = false;     // whether the job went on only after the release
  DWORD sleepMs = 0;         // how long the job takes besides
  int next = 0;
  static void Run(void* self) {
    auto* log = static_cast<Log*>(self);
    log->threads.push_back(GetCurrentThreadId());
    if (log->release != nullptr) log->released = WaitForSingleObject(log->release, 10000) == WAIT_OBJECT_0;
    Sleep(log->sleepMs);
    log->order.push_back(log->next);
  }
};

TEST(BackgroundJob, JobsRunInTurnOnAnotherThread) {
  BackgroundJob job;
  ASSERT_TRUE(job.Threaded());
  job.End();  // none begun: returns at once
  Log log;
  for (int i = 0; i < 50; ++i) {
    log.next = i;
    job.Begin(Log::Run, &log);
    job.End();
    ASSERT_EQ(log.order.size(), static_cast<size_t>(i + 1)) << "End waits for the job";
  }
  for (int i = 0; i < 50; ++i) EXPECT_EQ(log.order[i], i);
  for (DWORD id : log.threads) EXPECT_NE(id, GetCurrentThreadId());
}

// The caller goes on while its job runs: the job waits until the caller has
// passed Begin, which a job run inside Begin never could.
TEST(BackgroundJob, TheCallerRunsWhileItsJobDoes) {
  UniqueKernelHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(release);
  Log log;
  log.release = release.Get();
  BackgroundJob job;
  job.Begin(Log::Run, &log);
  SetEvent(release.Get());
  job.End();
  EXPECT_TRUE(log.released);
}

// A runner that goes with a job in flight lets it finish first.
TEST(BackgroundJob, AJobInFlightFinishesBeforeTheRunnerGoes) {
  Log log;
  log.sleepMs = 200;
  log.next = 7;
  {
    BackgroundJob job;
    job.Begin(Log::Run, &log);
  }
  EXPECT_EQ(log.order, std::vector<int>{7});
}

}  // namespace
}  // namespace tf
