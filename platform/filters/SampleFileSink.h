#pragma once
// The file side of a writing filter (the File Writer and the dump filter): the file name, the
// file's life across runs, sample writes (appended in arrival order, or placed at a byte offset
// for byte streams) and the byte-stream view (IStream's Seek and Write) that a filter upstream
// uses to rewrite a header.
//
// Life of the file: Start (stopped -> paused) creates or truncates it; samples go through a
// large buffer; Stop flushes it but keeps the file open, because an upstream filter may write
// its header through the stream view when it stops, which happens after the writer stopped (the
// graph stops downstream filters first). Such late writes go straight to the disk. The file is
// closed when the name changes, when the next run starts it again, or when the sink is destroyed.
//
// Thread safety: one lock guards everything; samples arrive on the streaming thread, the stream
// view and the state changes come from application threads. It is taken once per sample (once
// per packet when a transport stream is copied), so it is a spin lock: a waiter behind a write
// that waits for the disk naps instead of spinning.
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/dshow/SpinLock.h"
#include "platform/filters/BufferedFileWriter.h"

class SampleFileSink {
 public:
  SampleFileSink() = default;

  // Sets the file written by the next run; "" means none (samples are then discarded).
  void SetFileName(const std::string& path);
  std::string FileName() const;

  // Opens (creates or truncates) the file for a run. S_OK without a name.
  HRESULT Start();
  // Writes a sample: at `offset` when positioned, else after the previous appended sample.
  // Discarded (S_OK) without a file; returns the write error otherwise (sticky).
  HRESULT Write(const std::uint8_t* data, std::size_t size, bool positioned, std::uint64_t offset);
  // Makes the written data complete on disk; the file stays open for late header writes.
  HRESULT Stop();
  HRESULT Close();

  // Byte-stream view. Seek origins are STREAM_SEEK_SET/CUR/END (0, 1, 2).
  HRESULT StreamSeek(std::int64_t move, std::uint32_t origin, std::uint64_t* newPosition);
  HRESULT StreamWrite(const void* data, std::uint32_t size, std::uint32_t* written);

  bool IsOpen() const;

 private:
  mutable SpinLock m_lock;
  std::string m_path;
  BufferedFileWriter m_writer;
  std::uint64_t m_streamPosition = 0;
  bool m_running = false;
};
