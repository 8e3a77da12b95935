#include "nxHTTPWriter.h"

namespace {

// The writer needs little stack: it only calls the stream's Write.
constexpr SIZE_T kWriterStack = 64 * 1024;

class TExclusiveLock {
 public:
  explicit TExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ~TExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
  TExclusiveLock(const TExclusiveLock&) = delete;
  TExclusiveLock& operator=(const TExclusiveLock&) = delete;

 private:
  SRWLOCK& lock_;
};

}  // namespace

TBlockWriter::TBlockWriter(TStream& out, std::size_t blockSize) : out_(out) {
  for (auto& block : blocks_) block.resize(blockSize);
}

TBlockWriter::~TBlockWriter() {
  if (!thread_) return;
  {
    TExclusiveLock guard(lock_);
    stop_ = true;
  }
  WakeAllConditionVariable(&changed_);
  WaitForSingleObject(thread_.get(), INFINITE);
}

std::uint8_t* TBlockWriter::NextBlock() {
  TExclusiveLock guard(lock_);
  while (queued_ == kBlocks) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
  return blocks_[fill_].data();
}

bool TBlockWriter::Queue(std::size_t offset, long count) {
  // The thread is started with the second block only: a body that fits one
  // block (most replies) is written at once.
  if (!thread_ && !inline_ && fill_ == 1 && !StartThread()) inline_ = true;
  if (!thread_) {
    jobs_[fill_] = {offset, count};
    bool ok = Store(fill_);
    fill_ = (fill_ + 1) % kBlocks;
    if (!ok) failed_ = true;
    return !failed_;
  }
  {
    TExclusiveLock guard(lock_);
    if (failed_) return false;
    jobs_[fill_] = {offset, count};
    fill_ = (fill_ + 1) % kBlocks;
    ++queued_;
  }
  WakeAllConditionVariable(&changed_);
  return true;
}

bool TBlockWriter::Drain() {
  TExclusiveLock guard(lock_);
  while (queued_ > 0) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
  return !failed_;
}

bool TBlockWriter::StartThread() {
  head_ = fill_;  // the blocks before were written at once
  thread_.reset(CreateThread(nullptr, kWriterStack, ThreadProc, this,
                             STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  return static_cast<bool>(thread_);
}

DWORD WINAPI TBlockWriter::ThreadProc(void* self) {
  static_cast<TBlockWriter*>(self)->Run();
  return 0;
}

void TBlockWriter::Run() {
  for (;;) {
    int block;
    bool failed;
    {
      TExclusiveLock guard(lock_);
      while (queued_ == 0 && !stop_) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
      if (queued_ == 0) return;
      block = head_;
      failed = failed_;
    }
    // Once a write came short the rest is dropped: the body is incomplete.
    bool ok = !failed && Store(block);
    {
      TExclusiveLock guard(lock_);
      if (!ok) failed_ = true;
      head_ = (head_ + 1) % kBlocks;
      --queued_;
    }
    WakeAllConditionVariable(&changed_);
  }
}

bool TBlockWriter::Store(int block) {
  const TJob& job = jobs_[block];
  // Nothing may unwind through the thread's entry: a stream that cannot take
  // the bytes is a short write.
  try {
    return out_.Write(blocks_[block].data() + job.offset, job.count) == job.count;
  } catch (...) {
    return false;
  }
}
