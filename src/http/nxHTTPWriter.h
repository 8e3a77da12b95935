// Stores the received blocks of a body on a thread of its own, so that writing
// one block to its file or memory overlaps with receiving the next. Internal to
// the HTTP component; used by the worker of one transfer only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "Streams.h"
#include "SysUtils.h"

class TBlockWriter {
 public:
  TBlockWriter(TStream& out, std::size_t blockSize);
  // Writes what is still queued, then ends the thread.
  ~TBlockWriter();
  TBlockWriter(const TBlockWriter&) = delete;
  TBlockWriter& operator=(const TBlockWriter&) = delete;

  // The block to receive the next bytes into; waits while every block is
  // still queued for writing.
  std::uint8_t* NextBlock();
  // Queues count bytes from offset of the block NextBlock gave last. False
  // once any write came short (a full disk, no memory): stop receiving then.
  bool Queue(std::size_t offset, long count);
  // Waits until the queue is empty; false when any write came short. Nothing
  // else touches the stream until the next Queue.
  bool Drain();

 private:
  static constexpr int kBlocks = 2;
  struct TJob {
    std::size_t offset = 0;
    long count = 0;
  };

  static DWORD WINAPI ThreadProc(void* self);
  void Run();
  bool StartThread();
  // Writes one block; false when it came short.
  bool Store(int block);

  TStream& out_;
  std::vector<std::uint8_t> blocks_[kBlocks];
  TJob jobs_[kBlocks];
  // Guarded by lock_: the next block to fill, the next to write, how many are
  // queued, and the writer's state. An SRW lock and a condition variable, not
  // events or semaphores: handing each block over through kernel objects cost
  // more under Wine than storing it on the spot.
  int fill_ = 0;
  int head_ = 0;
  int queued_ = 0;
  bool failed_ = false;
  bool stop_ = false;
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
  unique_handle thread_;
  bool inline_ = false;  // no thread could be had: blocks are written at once
};
