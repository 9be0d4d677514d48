#pragma once
// Writes a file through one large buffer (a megabyte or more), so that streams of small samples
// reach the disk in few system calls. Supports appending and positioned writes (byte streams
// whose samples carry their file offset, and headers rewritten in front of data at stop).
// The buffer holds one contiguous region of the file; a write elsewhere flushes it first, and a
// write at least as large as the buffer goes straight to the file.
//
// Errors are sticky: after the first failed system call every later operation returns that same
// status, so a writer never reports success for a file that is missing data. Not thread-safe;
// the owning filter serialises calls.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/com/hresult.h"

class BufferedFileWriter {
 public:
  static constexpr std::size_t kDefaultBufferSize = std::size_t{4} << 20;

  explicit BufferedFileWriter(std::size_t bufferSize = kDefaultBufferSize);
  ~BufferedFileWriter();
  BufferedFileWriter(const BufferedFileWriter&) = delete;
  BufferedFileWriter& operator=(const BufferedFileWriter&) = delete;

  // Creates or truncates the file. The buffer is allocated here, once per file.
  HRESULT Open(const std::string& path);
  bool IsOpen() const { return m_fd >= 0; }

  // Writes after the end of everything appended so far.
  HRESULT Append(const void* data, std::size_t size);
  // Writes at an absolute offset (may be before, inside or after what is written).
  HRESULT WriteAt(std::uint64_t offset, const void* data, std::size_t size);
  // Moves the position that Append continues from.
  void SetAppendPosition(std::uint64_t offset) { m_appendPosition = offset; }
  std::uint64_t AppendPosition() const { return m_appendPosition; }

  HRESULT Flush();
  // Flushes and closes; returns the first error of the file's life. Closing a closed writer is S_OK.
  HRESULT Close();

  HRESULT Status() const { return m_status; }
  // The file's size as it will be once flushed.
  std::uint64_t Size() const;

 private:
  HRESULT WriteThrough(std::uint64_t offset, const std::uint8_t* data, std::size_t size);

  std::size_t m_bufferSize;
  std::unique_ptr<std::uint8_t[]> m_buffer;
  std::uint64_t m_bufferOffset = 0;  // file offset of m_buffer[0]
  std::size_t m_bufferFill = 0;
  std::uint64_t m_appendPosition = 0;
  std::uint64_t m_fileSize = 0;      // bytes the file reaches from writes already flushed
  int m_fd = -1;
  HRESULT m_status = S_OK;
};
