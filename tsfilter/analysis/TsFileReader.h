#pragma once
// Reads one transport stream file in blocks of whole 188-byte packets.
//
// Locking: every public operation takes the filter lock (a re-entrant lock owned by the filter and
// handed in at construction) for its whole run. The output pin calls in while it holds its own pin
// lock, so on the delivery thread the order is pin lock, then filter lock.
//
// Packet positions are index * 188 + sync offset. The sync offset found with the first block is
// kept for all later reads of 10000 or 30000 packets; a 20000-packet read (the end-of-file scan)
// searches on its own from offset 0 and leaves the offset at 0 afterwards. A sync offset is taken
// only where 0x47 also stands at the next packet positions the block holds, so a stray 0x47 ahead
// of the first packet does not shift every packet of the file.
//
// The reader tells callers how many whole packets a read really delivered: bytes beyond them are
// never to be examined. The size is asked of the system again after every block read, so a file
// that is still being written is followed as it grows.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/com/hresult.h"
#include "platform/dshow/CritSec.h"

namespace tsfilter {

inline constexpr std::uint32_t kScanBlockPackets = 30000;
inline constexpr std::uint32_t kEndScanBlockPackets = 20000;
inline constexpr std::uint32_t kStreamBlockPackets = 10000;

inline constexpr char kNotTransportStreamText[] = "Input stream does not appear to be a transport stream";
inline constexpr char kNotTransportStreamCaption[] = "Flumetta";

class TsFileReader {
 public:
  // Told (once per opened file) when no packet sync could be found; the filter shows its message box.
  using NotTransportStreamHandler = void (*)(void* context);

  explicit TsFileReader(CSpinCritSec& filterLock);
  ~TsFileReader();
  TsFileReader(const TsFileReader&) = delete;
  TsFileReader& operator=(const TsFileReader&) = delete;

  void SetNotTransportStreamHandler(NotTransportStreamHandler handler, void* context);

  // Opens an existing file for reading (others may go on writing it). The ANSI copy of the name is
  // kept in its 260-character field (cut to fit); the file is opened by the full name. E_FAIL when
  // it cannot be opened; a file opened before is closed first.
  HRESULT Open(const char* path);
  void Close();
  bool IsOpen() const;
  // Allocates the scan buffer (30000 packets) and the stream buffer (10000 packets) once per file.
  HRESULT AllocateBuffers();

  // Bytes of the file, or the size limit when one is set. Asks the system at most once per block read.
  std::uint64_t FileSize();
  // The same for a caller that holds the filter lock already (the examiner, once per packet).
  std::uint64_t FileSizeWhileLocked();
  // A non-zero limit makes FileSize report it (the stop position); 0 removes it.
  void SetSizeLimit(std::uint64_t bytes);
  // The size as last read from the system, without asking again and without the limit.
  std::uint64_t CachedSize();

  // Reads the block of `count` packets holding packet `index` into `buffer` (count * 188 bytes).
  // On success `*blockStart` (if given) is the index of the block's first packet and
  // `*packetsRead` (if given) the number of whole packets really read (fewer at the end of the
  // file). A failed read returns 0x8007xxxx from the system error; the buffer is then undefined
  // and `*packetsRead` is 0.
  HRESULT ReadBlock(std::uint8_t* buffer, std::uint32_t index, std::uint32_t count, std::uint32_t* blockStart = nullptr,
                    std::uint32_t* packetsRead = nullptr);

  std::uint8_t* ScanBuffer() { return m_scanBuffer.get(); }
  std::uint8_t* StreamBuffer() { return m_streamBuffer.get(); }
  std::uint32_t SyncOffset();
  std::uint32_t BlockStart();
  const char* AnsiName() const { return m_ansiName.data(); }

 private:
  std::uint64_t SystemSizeWhileLocked();
  bool HasSyncAt(const std::uint8_t* buffer, std::size_t bytes, std::size_t offset) const;
  HRESULT ReadAt(std::uint8_t* buffer, std::size_t length, std::uint64_t offset, std::size_t& bytesRead);
  void ReportNotTransportStream();

  CSpinCritSec& m_filterLock;
  int m_fd = -1;
  std::array<char, 260> m_ansiName{};
  std::uint64_t m_cachedSize = 0;
  bool m_sizeValid = false;
  std::uint64_t m_sizeLimit = 0;
  std::uint32_t m_blockStart = 0;
  std::uint32_t m_syncOffset = 0;
  bool m_reportedNotTs = false;
  std::unique_ptr<std::uint8_t[]> m_scanBuffer;
  std::unique_ptr<std::uint8_t[]> m_streamBuffer;
  NotTransportStreamHandler m_notTsHandler = nullptr;
  void* m_notTsContext = nullptr;
};

}  // namespace tsfilter
