#pragma once
// A push source for the benchmark that reads a transport-stream file in blocks of 10000
// packets (one read per block, into a buffer allocated once) and delivers one 188-byte packet
// per sample, as the system's TS source does.
#include <memory>
#include <string>

#include "platform/dshow/SourceStream.h"

class BlockTsSource;

class BlockTsSourcePin : public CSourceStream {
 public:
  BlockTsSourcePin(HRESULT* result, BlockTsSource* filter);
  ~BlockTsSourcePin() override;
  HRESULT GetMediaType(CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT Open(const std::string& path);

 protected:
  HRESULT FillBuffer(IMediaSample* sample) override;
  HRESULT OnThreadDestroy() override;

 private:
  static constexpr std::size_t kBlockPackets = 10000;
  int m_fd = -1;
  std::unique_ptr<unsigned char[]> m_block;
  std::size_t m_blockPackets = 0;  // packets in the block
  std::size_t m_blockNext = 0;     // next packet in the block
  long long m_fileOffset = 0;      // of the next block
};

class BlockTsSource : public CSource {
 public:
  static BlockTsSource* Create();
  BlockTsSourcePin* Pin() { return m_pin; }
  ~BlockTsSource() override;

 private:
  BlockTsSource();
  BlockTsSourcePin* m_pin = nullptr;
};
