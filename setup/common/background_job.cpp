#include "common/background_job.h"

namespace tf {

BackgroundJob::BackgroundJob() { thread_.Reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr)); }

BackgroundJob::~BackgroundJob() {
  if (!thread_) return;
  AcquireSRWLockExclusive(&lock_);
  stop_ = true;
  ReleaseSRWLockExclusive(&lock_);
  WakeAllConditionVariable(&changed_);
  // The thread finishes a job in flight before it sees the stop.
  WaitForSingleObject(thread_.Get(), INFINITE);
}

DWORD WINAPI BackgroundJob::ThreadMain(void* self) {
  auto* job = static_cast<BackgroundJob*>(self);
  AcquireSRWLockExclusive(&job->lock_);
  for (;;) {
    while (!job->busy_ && !job->stop_) SleepConditionVariableSRW(&job->changed_, &job->lock_, INFINITE, 0);
    if (!job->busy_) break;
    const Work work = job->work_;
    void* const context = job->context_;
    ReleaseSRWLockExclusive(&job->lock_);
    work(context);
    AcquireSRWLockExclusive(&job->lock_);
    job->busy_ = false;
    WakeAllConditionVariable(&job->changed_);
  }
  ReleaseSRWLockExclusive(&job->lock_);
  return 0;
}

void BackgroundJob::Begin(Work work, void* context) {
  if (!thread_) {
    work(context);
    return;
  }
  AcquireSRWLockExclusive(&lock_);
  work_ = work;
  context_ = context;
  busy_ = true;
  ReleaseSRWLockExclusive(&lock_);
  WakeAllConditionVariable(&changed_);
}

void BackgroundJob::End() {
  if (!thread_) return;
  AcquireSRWLockExclusive(&lock_);
  while (busy_) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
  ReleaseSRWLockExclusive(&lock_);
}

}  // namespace tf
