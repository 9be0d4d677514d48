#include "outside/muxer/AudioLanguage.h"

#include <cstring>
#include <vector>

#include "platform/dshow/FormatBlocks.h"

namespace outside {
namespace {

constexpr BYTE kTag[4] = {'l', 'a', 'n', 'g'};

bool IsCode(const char* code) {
  for (int i = 0; i < 3; ++i) {
    if (code[i] < 'a' || code[i] > 'z') return false;
  }
  return true;
}

// Bytes the WAVEFORMATEX record declares, or 0 when the type has no such record.
ULONG DeclaredWaveFormatBytes(const AM_MEDIA_TYPE& type) {
  if (type.formattype != FORMAT_WaveFormatEx || !type.pbFormat || type.cbFormat < sizeof(WAVEFORMATEX)) return 0;
  WAVEFORMATEX wave;
  std::memcpy(&wave, type.pbFormat, sizeof(wave));
  const ULONG declared = sizeof(WAVEFORMATEX) + ULONG{wave.cbSize};
  return declared <= type.cbFormat ? declared : 0;
}

}  // namespace

bool LanguageOfMediaType(const AM_MEDIA_TYPE& type, char language[3]) {
  const ULONG at = DeclaredWaveFormatBytes(type);
  if (at == 0 || type.cbFormat - at < kLanguageTrailerBytes) return false;
  const BYTE* trailer = type.pbFormat + at;
  char code[3];
  std::memcpy(code, trailer + 4, 3);
  if (std::memcmp(trailer, kTag, 4) != 0 || trailer[7] != 0 || !IsCode(code)) return false;
  std::memcpy(language, code, 3);
  return true;
}

HRESULT SetLanguageOfMediaType(CMediaType& type, const char* language) {
  if (!language) return E_POINTER;
  const ULONG at = DeclaredWaveFormatBytes(type);
  if (at == 0 || std::strlen(language) != 3 || !IsCode(language)) return E_INVALIDARG;
  std::vector<BYTE> block(type.pbFormat, type.pbFormat + at);
  block.insert(block.end(), kTag, kTag + 4);
  block.insert(block.end(), language, language + 3);
  block.push_back(0);
  return type.SetFormat(block.data(), static_cast<ULONG>(block.size())) ? S_OK : E_OUTOFMEMORY;
}

}  // namespace outside
