#pragma once
// OutputBuffer: gathers what a writer produces and hands it to a ByteSink in large blocks.
// The first failure of the sink is kept and every later call reports it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/com/hresult.h"

namespace outside {

class ByteSink {
 public:
  virtual HRESULT Write(const std::uint8_t* data, std::size_t size) = 0;

 protected:
  ~ByteSink() = default;
};

class OutputBuffer {
 public:
  void Init(ByteSink* sink, std::size_t capacity);
  // Room for size bytes (size <= capacity); nullptr once the sink has failed.
  std::uint8_t* Reserve(std::size_t size);
  void Commit(std::size_t size) { m_used += size; m_total += size; }
  HRESULT Flush();
  HRESULT Status() const { return m_status; }
  std::uint64_t TotalBytes() const { return m_total; }

 private:
  ByteSink* m_sink = nullptr;
  std::vector<std::uint8_t> m_buffer;
  std::size_t m_used = 0;
  std::uint64_t m_total = 0;
  HRESULT m_status = S_OK;
};

}  // namespace outside
