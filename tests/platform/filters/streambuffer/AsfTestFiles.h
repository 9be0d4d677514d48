#pragma once
// Test helpers for the stream-buffer files: the media types the demultiplexer's pins carry, the
// streams a recording of them has, recordings written directly with RecordingFile, and a reader
// that puts every media object of a file back together (checking that fragments join up).
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/dshow/MediaType.h"
#include "platform/filters/streambuffer/PlayableStreams.h"
#include "platform/filters/streambuffer/RecordingFile.h"

namespace dvrtest {

using Bytes = std::vector<std::uint8_t>;

// MPEG-2 video with an MPEG2VIDEOINFO block (720x576, 25 fps, its sequence header), AC3 and MPEG
// audio with WAVEFORMATEX blocks, and a type the sink must refuse (H.264).
CMediaType VideoType();
CMediaType Ac3Type();
CMediaType MpegAudioType();
CMediaType H264Type();

// A byte pattern that differs per seed, starting with `prefix`.
Bytes Pattern(std::size_t size, unsigned seed, const Bytes& prefix = {});
// An MPEG-2 sequence header (720x576, 25 fps) followed by a GOP and an I-picture header.
Bytes SequenceStart();

// Video then AC3, as a sink records them.
std::vector<asf::RecordedStream> VideoAndAudio();

struct ReadObject {
  std::uint16_t stream = 0;
  Bytes data;
  bool keyFrame = false;
  asf::PayloadTimes times;
  std::uint64_t firstPacket = 0;  // the packet holding the object's first bytes
};

struct ReadResult {
  HRESULT status = E_FAIL;   // opening the file
  std::vector<ReadObject> objects;
  std::uint64_t damagedPackets = 0;
  std::uint64_t brokenObjects = 0;  // fragments that did not join their object
};

// Every object of every stream, in file order of their first fragments.
ReadResult ReadObjects(const std::filesystem::path& file);

// Writes above `bytes` fail (EFBIG) while this lives, as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    signal(SIGXFSZ, m_oldHandler);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit m_old{};
  sighandler_t m_oldHandler;
};

// All bytes of a file.
Bytes ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const Bytes& bytes);

}  // namespace dvrtest
