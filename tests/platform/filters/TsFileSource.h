#pragma once
// A test source that pushes a transport-stream file, one 188-byte packet per sample, as the
// system's own TS source does (pin "TS Out", MEDIATYPE_Stream / MEDIASUBTYPE_MPEG2_TRANSPORT).
// It can hold back delivery before a given packet (a gate), and seek to a packet while
// running: flush downstream, restart the streaming thread at that packet.
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dshow/SourceStream.h"

class TsFileSource;

class TsFileSourcePin : public CSourceStream {
 public:
  TsFileSourcePin(HRESULT* result, TsFileSource* filter);

  HRESULT GetMediaType(CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  void SetData(std::vector<unsigned char> data) { m_data = std::move(data); }
  std::size_t PacketCount() const { return m_data.size() / 188; }
  // Delivery waits before packet `packet` until ReleaseGate or a seek; WaitAtGate waits for that.
  void SetGate(std::size_t packet);
  bool WaitAtGate();
  void ReleaseGate();
  // Restarts delivery at `packet`: downstream is flushed first, as a seek does.
  HRESULT SeekToPacket(std::size_t packet);

 protected:
  HRESULT FillBuffer(IMediaSample* sample) override;
  HRESULT OnThreadStartPlay() override;
  // The next run starts at the first packet again.
  HRESULT OnThreadDestroy() override;

 private:
  std::vector<unsigned char> m_data;
  std::size_t m_next = 0;  // next packet to deliver (streaming thread, or under the seek)
  std::mutex m_gateLock;
  std::condition_variable m_gateChanged;
  std::size_t m_gate = SIZE_MAX;
  bool m_atGate = false;
};

class TsFileSource : public CSource {
 public:
  // A new source holding one reference.
  static TsFileSource* Create(std::vector<unsigned char> data);
  TsFileSourcePin* Pin() { return m_pin; }

 private:
  TsFileSource();
  TsFileSourcePin* m_pin = nullptr;  // owned by CSource
};
