#pragma once
// One recording being written: the file, its header, the packets and the video index.
//
// Life of the file: Create makes it (it must not exist yet) and writes a header marked broadcast
// with an empty data object, so the file reads as a valid recording from the first moment and,
// cut short by a crash, up to its last whole packet. Write adds one sample (one media object).
// Finish writes the index, rewrites the header in place with the real sizes, durations and the
// seekable flag, and closes the file; after a failed write it still rewrites the header (in
// place, which needs no new disk space) to describe the whole packets that reached the disk.
//
// Times: sample times (100 ns) are rebased so the recording starts near zero. The first time
// stamp written becomes the base; stored times are time - base + preroll, so a stream whose
// first time is up to the preroll earlier than the base still has a positive time, and readers
// that subtract the preroll see the base at zero. Earlier times are clamped to zero.
//
// Not thread-safe: the owner serialises calls. Writing a sample allocates nothing (the index
// grows by one entry per key frame).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/filters/BufferedFileWriter.h"
#include "platform/filters/streambuffer/AsfPacketWriter.h"
#include "platform/filters/streambuffer/RecordingHeader.h"
#include "platform/filters/streambuffer/SimpleIndex.h"

namespace asf {

inline constexpr std::uint32_t kRecordingPacketSize = 8192;
inline constexpr std::uint32_t kRecordingPrerollMs = 1000;
// Room kept in the header for attributes written after the recording.
inline constexpr std::size_t kRecordingHeaderReserve = 16 * 1024;

// One sample as the sink received it. Times are 100 ns; absent ones are left false.
struct RecordedSample {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  bool hasStart = false;
  std::int64_t start = 0;  // presentation time
  bool hasDecode = false;
  std::int64_t decode = 0;  // decode time (the sample's media time)
  bool syncPoint = false;
};

class RecordingFile final : private AsfPacketSink {
 public:
  // Creates the file for these streams (numbered from 1 in this order). Fails with the system's
  // status when the file exists or cannot be made.
  static HRESULT Create(const std::string& path, std::vector<RecordedStream> streams,
                        std::unique_ptr<RecordingFile>* file);
  ~RecordingFile();

  // Writes one sample of stream `index` (0-based, as given to Create). Returns the first write
  // error of the file, again for every later sample.
  HRESULT Write(std::size_t index, const RecordedSample& sample);
  // Forgets everything written: the recording is empty again (kept file, same header).
  HRESULT DiscardAll();
  // Completes and closes the file; later calls return the same status.
  HRESULT Finish();

  HRESULT Status() const { return m_status; }
  bool Finished() const { return m_finished; }
  std::uint64_t PacketCount() const { return m_packets.PacketCount(); }
  const std::string& Path() const { return m_path; }

 private:
  RecordingFile(std::string path, std::vector<RecordedStream> streams);
  HRESULT Open();
  HRESULT WritePacket(const std::uint8_t* packet, std::size_t size) override;
  std::uint64_t Stored(std::int64_t time);
  void ResetStatistics();
  RecordingHeaderInfo HeaderInfo(bool broadcast, std::uint64_t packets, std::uint64_t fileSize) const;
  HRESULT Complete();
  HRESULT Salvage();

  struct StreamState {
    std::uint64_t bytes = 0;
    std::uint64_t lastTime = kNoTimeStored;  // stored presentation time of the latest timed sample
    std::uint64_t lastStep = 0;              // its distance to the one before
    static constexpr std::uint64_t kNoTimeStored = ~std::uint64_t{0};
  };

  std::string m_path;
  std::vector<RecordedStream> m_streams;
  std::vector<StreamState> m_state;
  BufferedFileWriter m_file;
  AsfPacketWriter m_packets;
  SimpleIndexBuilder m_index;
  RecordingHeaderInfo m_info;
  std::size_t m_headerSize = 0;
  bool m_haveBase = false;
  std::int64_t m_base = 0;
  std::uint64_t m_endTime = 0;  // stored, preroll included
  HRESULT m_status = S_OK;
  bool m_finished = false;
};

}  // namespace asf
