#include "platform/filters/streambuffer/RecordingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <random>

#include "platform/filters/streambuffer/AsfBytes.h"
#include "platform/filters/streambuffer/AsfGuids.h"
#include "platform/filters/streambuffer/AsfPacketParser.h"

namespace asf {
namespace {

constexpr std::uint64_t kFiletimeUnixEpoch = 116444736000000000ull;  // 1970-01-01 as a FILETIME

std::uint64_t FiletimeNow() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return kFiletimeUnixEpoch + static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) * 10;
}

GUID RandomGuid() {
  std::random_device device;
  std::mt19937_64 random((std::uint64_t{device()} << 32) ^ device() ^ FiletimeNow());
  const std::uint64_t high = random(), low = random();
  GUID guid{};
  guid.Data1 = static_cast<std::uint32_t>(high >> 32);
  guid.Data2 = static_cast<std::uint16_t>(high >> 16);
  guid.Data3 = static_cast<std::uint16_t>((high & 0x0FFF) | 0x4000);  // version 4
  for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<std::uint8_t>(low >> (8 * i));
  guid.Data4[0] = static_cast<std::uint8_t>((guid.Data4[0] & 0x3F) | 0x80);
  return guid;
}

// The latest start time (timing extension) of the objects that begin in some packets.
class LatestStartTime final : public AsfPayloadSink {
 public:
  HRESULT OnPayload(const AsfPayload& payload) override {
    if (payload.offset != 0 || payload.replicatedSize < 16) return S_OK;
    const std::uint64_t start = LoadLe(payload.replicated + 8, 8);
    if (start != kNoTime && start > latest) latest = start;
    return S_OK;
  }
  std::uint64_t latest = 0;
};

HRESULT WriteFully(int fd, const std::uint8_t* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t written = ::pwrite(fd, data, size, offset);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return HresultFromErrno(written < 0 ? errno : ENOSPC);
    data += written;
    size -= static_cast<std::size_t>(written);
    offset += written;
  }
  return S_OK;
}

HRESULT ReadFully(int fd, std::uint8_t* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t got = ::pread(fd, data, size, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got < 0 ? HresultFromErrno(errno) : E_FAIL;
    data += got;
    size -= static_cast<std::size_t>(got);
    offset += got;
  }
  return S_OK;
}

}  // namespace

HRESULT RecordingFile::Create(const std::string& path, std::vector<RecordedStream> streams,
                              std::unique_ptr<RecordingFile>* file) {
  if (!file) return E_POINTER;
  file->reset();
  if (path.empty() || streams.empty() || streams.size() > 127) return E_INVALIDARG;
  std::unique_ptr<RecordingFile> created(new RecordingFile(path, std::move(streams)));
  HRESULT hr = created->Open();
  if (FAILED(hr)) {
    created->m_finished = true;  // nothing of ours to complete; the file was not made
    return hr;
  }
  *file = std::move(created);
  return S_OK;
}

RecordingFile::RecordingFile(std::string path, std::vector<RecordedStream> streams)
    : m_path(std::move(path)),
      m_streams(std::move(streams)),
      m_state(m_streams.size()),
      m_packets(kRecordingPacketSize, kRecordingPrerollMs) {
  for (std::size_t i = 0; i < m_streams.size(); ++i) m_streams[i].number = static_cast<std::uint8_t>(i + 1);
  m_info.fileId = RandomGuid();
  m_info.creationTime = FiletimeNow();
  m_info.prerollMs = kRecordingPrerollMs;
  m_info.packetSize = kRecordingPacketSize;
  m_info.streams = m_streams;
}

RecordingFile::~RecordingFile() { Finish(); }

HRESULT RecordingFile::Open() {
  // The file must be new: made here exclusively, then written through the buffered writer.
  const int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return HresultFromErrno(errno);
  ::close(fd);
  HRESULT hr = m_file.Open(m_path);
  const std::vector<std::uint8_t> header = BuildRecordingHeader(HeaderInfo(true, 0, 0), kRecordingHeaderReserve);
  m_headerSize = header.size();
  std::uint8_t data[kDataObjectHeaderSize];
  BuildDataObjectHeader(data, m_info.fileId, 0, 0);
  if (SUCCEEDED(hr)) hr = m_file.Append(header.data(), header.size());
  if (SUCCEEDED(hr)) hr = m_file.Append(data, sizeof data);
  if (SUCCEEDED(hr)) hr = m_file.Flush();
  if (FAILED(hr)) {
    m_file.Close();
    ::unlink(m_path.c_str());  // ours, made a moment ago and useless
  }
  return hr;
}

HRESULT RecordingFile::WritePacket(const std::uint8_t* packet, std::size_t size) {
  const HRESULT hr = m_file.Append(packet, size);
  if (FAILED(hr) && SUCCEEDED(m_status)) m_status = hr;
  return hr;
}

std::uint64_t RecordingFile::Stored(std::int64_t time) {
  if (!m_haveBase) {
    m_haveBase = true;
    m_base = time;
  }
  const std::int64_t stored = time - m_base + std::int64_t{kRecordingPrerollMs} * 10000;
  return stored > 0 ? static_cast<std::uint64_t>(stored) : 0;
}

HRESULT RecordingFile::Write(std::size_t index, const RecordedSample& sample) {
  if (m_finished) return E_UNEXPECTED;
  if (FAILED(m_status)) return m_status;
  if (index >= m_streams.size() || (!sample.data && sample.size > 0)) return E_INVALIDARG;
  if (sample.size == 0) return S_OK;
  const RecordedStream& stream = m_streams[index];
  AsfObject object;
  object.stream = stream.number;
  // The decode time comes first in time, so it sets the base when a sample has both.
  if (sample.hasDecode) object.decodeTime = Stored(sample.decode);
  if (sample.hasStart) object.presentationTime = Stored(sample.start);
  const bool video = stream.codec == RecordedCodec::Mpeg2Video;
  object.keyFrame = video ? sample.syncPoint : true;
  std::uint64_t firstPacket = 0;
  HRESULT hr = m_packets.WriteObject(object, sample.data, sample.size, *this, &firstPacket);
  if (FAILED(hr)) {
    if (SUCCEEDED(m_status)) m_status = hr;
    return hr;
  }

  StreamState& state = m_state[index];
  state.bytes += sample.size;
  m_streams[index].largestObject = std::max<std::uint32_t>(m_streams[index].largestObject, static_cast<std::uint32_t>(sample.size));
  if (object.presentationTime != kNoTime) {
    const std::uint64_t time = object.presentationTime;
    if (state.lastTime != StreamState::kNoTimeStored && time > state.lastTime) state.lastStep = time - state.lastTime;
    state.lastTime = time;
    m_endTime = std::max(m_endTime, time + state.lastStep);
    const std::uint64_t preroll = std::uint64_t{kRecordingPrerollMs} * 10000;
    if (video && object.keyFrame) m_index.AddKeyFrame(time > preroll ? time - preroll : 0, firstPacket, m_packets.CurrentPacket());
  }
  return S_OK;
}

void RecordingFile::ResetStatistics() {
  for (StreamState& state : m_state) state = StreamState{};
  for (RecordedStream& stream : m_streams) stream.largestObject = 0;
  m_haveBase = false;
  m_endTime = 0;
}

HRESULT RecordingFile::DiscardAll() {
  if (m_finished) return E_UNEXPECTED;
  if (FAILED(m_status)) return m_status;
  m_packets.Reset();
  m_index.Clear();
  ResetStatistics();
  // New packets overwrite the old ones; whatever is left beyond them is cut off at the end.
  m_file.SetAppendPosition(m_headerSize + kDataObjectHeaderSize);
  return S_OK;
}

RecordingHeaderInfo RecordingFile::HeaderInfo(bool broadcast, std::uint64_t packets, std::uint64_t fileSize) const {
  RecordingHeaderInfo info = m_info;
  info.broadcast = broadcast;
  info.packetCount = packets;
  info.fileSize = fileSize;
  info.playDuration = m_endTime;
  info.sendDuration = std::uint64_t{m_packets.LastSendTime()} * 10000;
  info.streams = m_streams;
  const std::uint64_t preroll = std::uint64_t{kRecordingPrerollMs} * 10000;
  const std::uint64_t duration = m_endTime > preroll ? m_endTime - preroll : 0;
  std::uint64_t totalBits = 0;
  for (std::size_t i = 0; i < m_streams.size(); ++i) {
    const std::uint64_t bits = m_state[i].bytes * 8;
    totalBits += bits;
    info.streams[i].bitrate = duration > 0 ? static_cast<std::uint32_t>(std::min<std::uint64_t>(bits * 10'000'000 / duration, UINT32_MAX)) : 0;
  }
  info.maxBitrate = duration > 0 ? static_cast<std::uint32_t>(std::min<std::uint64_t>(totalBits * 10'000'000 / duration, UINT32_MAX)) : 0;
  return info;
}

HRESULT RecordingFile::Complete() {
  HRESULT hr = m_packets.Flush(*this);
  if (FAILED(hr)) return hr;
  const std::uint64_t packets = m_packets.PacketCount();
  const std::uint64_t dataSize = kDataObjectHeaderSize + packets * kRecordingPacketSize;
  const std::uint64_t preroll = std::uint64_t{kRecordingPrerollMs} * 10000;
  const std::vector<std::uint8_t> index = m_index.Build(m_info.fileId, m_endTime > preroll ? m_endTime - preroll : 0);
  hr = m_file.Append(index.data(), index.size());
  if (FAILED(hr)) return hr;
  const std::uint64_t fileSize = m_headerSize + dataSize + index.size();
  const std::vector<std::uint8_t> header = BuildRecordingHeader(HeaderInfo(false, packets, fileSize), 0, m_headerSize);
  if (header.size() != m_headerSize) return E_UNEXPECTED;
  std::uint8_t data[kDataObjectHeaderSize];
  BuildDataObjectHeader(data, m_info.fileId, dataSize, packets);
  hr = m_file.WriteAt(0, header.data(), header.size());
  if (SUCCEEDED(hr)) hr = m_file.WriteAt(m_headerSize, data, sizeof data);
  const HRESULT closed = m_file.Close();
  if (FAILED(hr)) return hr;
  if (FAILED(closed)) return closed;
  // Packets discarded before the recording started may have left bytes beyond the end (cutting
  // a file of the right size is not free: the page cache is searched for pages past the end).
  struct stat written {};
  if (::stat(m_path.c_str(), &written) != 0) return HresultFromErrno(errno);
  if (static_cast<std::uint64_t>(written.st_size) != fileSize && ::truncate(m_path.c_str(), static_cast<off_t>(fileSize)) != 0)
    return HresultFromErrno(errno);
  return S_OK;
}

HRESULT RecordingFile::Salvage() {
  m_file.Close();
  const int fd = ::open(m_path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return HresultFromErrno(errno);
  struct stat info {};
  HRESULT hr = ::fstat(fd, &info) == 0 ? S_OK : HresultFromErrno(errno);
  const std::uint64_t dataStart = m_headerSize + kDataObjectHeaderSize;
  if (SUCCEEDED(hr) && static_cast<std::uint64_t>(info.st_size) >= dataStart) {
    // Only whole packets count; a packet cut by the failed write is dropped.
    const std::uint64_t packets = (static_cast<std::uint64_t>(info.st_size) - dataStart) / kRecordingPacketSize;
    const std::uint64_t dataSize = kDataObjectHeaderSize + packets * kRecordingPacketSize;
    const std::uint64_t fileSize = m_headerSize + dataSize;
    // The durations describe what is on the disk: up to the latest object in its last packets.
    LatestStartTime latest;
    std::vector<std::uint8_t> packet(kRecordingPacketSize);
    for (std::uint64_t p = packets > 16 ? packets - 16 : 0; p < packets; ++p) {
      if (SUCCEEDED(ReadFully(fd, packet.data(), packet.size(), static_cast<off_t>(dataStart + p * kRecordingPacketSize))))
        ParseAsfPacket(packet.data(), packet.size(), latest);
    }
    std::uint64_t step = 0;
    for (const StreamState& state : m_state) step = std::max(step, state.lastStep);
    m_endTime = latest.latest > 0 ? latest.latest + step : 0;
    RecordingHeaderInfo info = HeaderInfo(false, packets, fileSize);
    info.sendDuration = std::min(info.sendDuration, m_endTime);
    const std::vector<std::uint8_t> header = BuildRecordingHeader(info, 0, m_headerSize);
    std::uint8_t data[kDataObjectHeaderSize];
    BuildDataObjectHeader(data, m_info.fileId, dataSize, packets);
    if (::ftruncate(fd, static_cast<off_t>(fileSize)) != 0) hr = HresultFromErrno(errno);
    if (SUCCEEDED(hr) && header.size() == m_headerSize) hr = WriteFully(fd, header.data(), header.size(), 0);
    if (SUCCEEDED(hr)) hr = WriteFully(fd, data, sizeof data, static_cast<off_t>(m_headerSize));
  }
  ::close(fd);
  return hr;
}

HRESULT RecordingFile::Finish() {
  if (m_finished) return m_status;
  m_finished = true;
  if (SUCCEEDED(m_status)) {
    const HRESULT hr = Complete();
    if (FAILED(hr)) m_status = hr;
  }
  if (FAILED(m_status)) Salvage();
  return m_status;
}

}  // namespace asf
