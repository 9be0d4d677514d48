#pragma once
// One unit of elementary-stream payload cut out of PES packets, and the sink that receives it.
// A unit is a whole PES payload, or one chunk of a long unbounded one (video in a transport
// stream); only the first unit of a PES packet carries its time stamps.
#include <cstddef>
#include <cstdint>

#include "platform/com/hresult.h"

struct PesUnit {
  const std::uint8_t* data = nullptr;  // valid only during the sink call
  std::size_t size = 0;
  bool isPesStart = false;     // first unit of its PES packet
  bool discontinuity = false;  // bytes before this unit were lost, dropped or flushed
  bool hasPts = false;
  bool hasDts = false;         // the header carried a DTS of its own
  std::int64_t pts = 0;        // 90 kHz, unwrapped (keeps increasing across the 33-bit wrap)
  std::int64_t dts = 0;        // 90 kHz, unwrapped; equals pts when the header had no DTS
};

class IPesUnitSink {
 public:
  // Receives a unit for the output stream it was mapped to. A failure status stops the input
  // (it is returned from the push call that produced the unit).
  virtual HRESULT DeliverPesUnit(std::size_t stream, const PesUnit& unit) = 0;

 protected:
  ~IPesUnitSink() = default;
};
