#include "Streams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

std::int64_t TStream::Size() {
  std::int64_t position = Seek(0, soCurrent);
  std::int64_t size = Seek(0, soEnd);
  Seek(position, soBeginning);
  return size;
}

long THandleStream::Read(void* buffer, long count) {
  DWORD done = 0;
  if (count <= 0 || !ReadFile(handle_, buffer, static_cast<DWORD>(count), &done, nullptr)) return 0;
  return static_cast<long>(done);
}

long THandleStream::Write(const void* buffer, long count) {
  DWORD done = 0;
  if (count <= 0 || !WriteFile(handle_, buffer, static_cast<DWORD>(count), &done, nullptr))
    return 0;
  return static_cast<long>(done);
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  static constexpr DWORD kMethods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  LARGE_INTEGER distance, result;
  distance.QuadPart = offset;
  if (!SetFilePointerEx(handle_, distance, &result, kMethods[origin])) return -1;
  return result.QuadPart;
}

TMemoryStream::~TMemoryStream() {
  std::free(data_);
}

void TMemoryStream::Reserve(std::size_t capacity) {
  if (capacity <= capacity_) return;
  // A first block comes zeroed from the heap: large ones as fresh pages that
  // are only touched when the bytes arrive.
  void* grown = data_ ? std::realloc(data_, capacity) : std::calloc(capacity, 1);
  if (!grown)
    throw EOutOfMemory("Out of memory: a memory stream of " + IntToStr(capacity) +
                       " bytes cannot be allocated");
  data_ = static_cast<std::uint8_t*>(grown);
  capacity_ = capacity;
}

void TMemoryStream::SetSize(std::size_t size) {
  const bool zeroed = !data_;
  Reserve(size);
  if (size > size_ && !zeroed) std::memset(data_ + size_, 0, size - size_);
  size_ = size;
  position_ = std::min(position_, size_);
}

long TMemoryStream::Read(void* buffer, long count) {
  if (count <= 0 || position_ >= size_) return 0;
  std::size_t n = std::min(static_cast<std::size_t>(count), size_ - position_);
  std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return static_cast<long>(n);
}

long TMemoryStream::Write(const void* buffer, long count) {
  if (count <= 0) return 0;
  std::size_t end = position_ + static_cast<std::size_t>(count);
  if (end < position_) return 0;
  if (end > capacity_) {
    // Grow by half again, so that a stream filled block by block is copied
    // only a logarithmic number of times.
    std::size_t wanted = std::max(end, capacity_ + capacity_ / 2);
    try {
      Reserve(wanted);
    } catch (const EOutOfMemory&) {
      Reserve(end);
    }
  }
  if (end > size_) {
    if (position_ > size_) std::memset(data_ + size_, 0, position_ - size_);
    size_ = end;
  }
  std::memcpy(data_ + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == soBeginning ? 0
                      : origin == soCurrent ? static_cast<std::int64_t>(position_)
                                            : static_cast<std::int64_t>(size_);
  std::int64_t target = base + offset;
  if (target < 0) return -1;
  position_ = static_cast<std::size_t>(target);
  return target;
}
