// Byte streams: the base class, a stream over a file handle and a growing
// memory stream. Transfers write into them and their users read from them.
#pragma once

#include <cstdint>
#include <string>

#include "SysUtils.h"

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// A file that could not be created or opened for writing.
class EFCreateError : public Exception {
 public:
  using Exception::Exception;
};

// A memory stream that could not get the memory it needed.
class EOutOfMemory : public Exception {
 public:
  using Exception::Exception;
};

class TStream : public TObject {
 public:
  // Bytes actually read or written; fewer than asked at the end or on failure.
  virtual long Read(void* buffer, long count) = 0;
  virtual long Write(const void* buffer, long count) = 0;
  // The new position from the beginning, -1 when the seek failed.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, soBeginning); }
  virtual std::int64_t Size();
};

// A stream over an open file handle; the handle is not closed by this class.
class THandleStream : public TStream {
 public:
  explicit THandleStream(HANDLE handle) : handle_(handle) {}
  HANDLE Handle() const { return handle_; }
  long Read(void* buffer, long count) override;
  long Write(const void* buffer, long count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

 protected:
  HANDLE handle_;
};

// Bytes in memory. Its size can be set ahead of the writes (the bytes not
// yet written read as zeros) and grows when a write goes past the end.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;

  long Read(void* buffer, long count) override;
  long Write(const void* buffer, long count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return size_; }
  // Raises EOutOfMemory when the memory cannot be had; the stream is unchanged then.
  void SetSize(std::size_t size);
  const std::uint8_t* Memory() const { return data_; }
  std::string ToString() const { return std::string(reinterpret_cast<const char*>(data_), size_); }

 private:
  void Reserve(std::size_t capacity);

  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t position_ = 0;
};
