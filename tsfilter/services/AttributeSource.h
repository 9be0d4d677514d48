#pragma once
// What the attribute keys read and the two commands change. The filter answers it from its own
// state under its lock; tests answer it from plain values.
#include <cstdint>
#include <string>

namespace tsfilter {

struct AttributeVideoFormat {
  int width = 0;
  int height = 0;
  int aspectX = 0;
  int aspectY = 0;
  double frameRate = 0.0;
};

struct AttributeAudioTrack {
  std::uint16_t pid = 0;
  std::uint8_t streamType = 0;
};

struct AttributePidRow {
  std::uint16_t pid = 0;
  std::uint32_t packets = 0;
  std::uint8_t contentCode = 0;
};

class AttributeSource {
 public:
  virtual ~AttributeSource() = default;

  virtual AttributeVideoFormat VideoFormat() const = 0;
  // The audio track slot at the selected index (zero when no track was found).
  virtual AttributeAudioTrack SelectedAudioTrack() const = 0;

  virtual std::int64_t PidRowCount() const = 0;
  virtual AttributePidRow PidRow(std::int64_t index) const = 0;  // index below the count

  // PMT PID of the selected program; 0 when it is not in the program table.
  virtual std::uint16_t SelectedProgramPmtPid() const = 0;
  // The service name of the first program with that number (empty when unknown or unnamed).
  virtual std::string ServiceName(std::int64_t programNumber) const = 0;
  virtual bool NoPmt() const = 0;

  // Stream state of the output pin; asked only while the pin exists.
  virtual bool HasOutputPin() const = 0;
  virtual std::int64_t LastVideoPts() const = 0;     // 90 kHz
  virtual std::int64_t CurrentPacket() const = 0;    // packet index
  virtual std::int64_t MediaDuration() const = 0;    // 100 ns
  virtual std::int64_t H264RowCount() const = 0;
  virtual std::string H264Row(std::int64_t index) const = 0;  // index below the count

  // File length in bytes (the size limit when one is set).
  virtual std::int64_t FileLength() const = 0;

  // Commands.
  virtual void SetPrefDemux(std::uint32_t value) = 0;
  virtual void SetNotifyWindow(std::intptr_t window) = 0;
};

}  // namespace tsfilter
