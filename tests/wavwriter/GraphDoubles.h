#pragma once
// Stand-in neighbours for the WAV writer in tests: an audio source whose samples the test pushes
// one by one, and a byte-stream sink that keeps the "file" in memory, places every sample at its
// start offset and offers IStream on its pin (or not, or failing), as a file writer does.
#include <initializer_list>
#include <mutex>
#include <vector>

#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/BaseInputPin.h"
#include "platform/dshow/BaseOutputPin.h"
#include "platform/dshow/FileInterfaces.h"

// Disconnects every pin of the filters (connected pins hold their peers, so a chain of
// connected filters outside a graph would otherwise never be freed).
void DisconnectAll(std::initializer_list<IBaseFilter*> filters);

// An audio source with one output pin "Out" of a fixed type (WAVEFORMATEX format block).
class TestAudioSource final : public CBaseFilter {
 public:
  TestAudioSource(const CMediaType& type, LONG buffers, LONG bufferBytes);
  ~TestAudioSource() override;

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override;
  IPin* OutputPin();

  // Delivers one sample holding bytes, with time stamps when withTimes.
  HRESULT Send(const std::vector<BYTE>& bytes, bool withTimes = true);

 private:
  class OutPin;
  CCritSec m_lock;
  OutPin* m_pin = nullptr;
};

// What the sink's IStream does.
enum class SinkStream { kOffered, kNotOffered, kWriteFails, kShortWrite };

class MemoryByteSink final : public CBaseFilter {
 public:
  explicit MemoryByteSink(SinkStream stream = SinkStream::kOffered);
  ~MemoryByteSink() override;

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override;
  IPin* InputPin();

  // The file as written so far, and the start offsets of the samples received.
  std::vector<BYTE> File();
  std::vector<REFERENCE_TIME> SampleStarts();
  int HeaderWrites();

 private:
  class InPin;
  friend class InPin;
  void WriteAt(std::size_t offset, const BYTE* bytes, std::size_t length);

  CCritSec m_lock;
  InPin* m_pin = nullptr;
  std::mutex m_fileLock;
  std::vector<BYTE> m_file;
  std::vector<REFERENCE_TIME> m_starts;
  int m_streamWrites = 0;
};
