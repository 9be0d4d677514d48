#pragma once
// The language of an audio input travels in its media type, so that it passes unchanged through
// demultiplexers and pass-through filters that copy types: a WAVEFORMATEX format block
// (FORMAT_WaveFormatEx) followed, right after the 18 + cbSize bytes the record declares, by the
// eight bytes 'l' 'a' 'n' 'g', the ISO 639-2 code in three lower-case letters, and 0. Readers
// that go by cbSize never see them. In transport-stream output the multiplexer writes the code
// into the stream's language descriptor; program streams have no place for it.
#include "platform/dshow/MediaType.h"

namespace outside {

inline constexpr ULONG kLanguageTrailerBytes = 8;

// The code carried by the type; false (language untouched) when it carries none or a malformed one.
bool LanguageOfMediaType(const AM_MEDIA_TYPE& type, char language[3]);

// Puts the code (three lower-case letters) after the type's WAVEFORMATEX record, replacing
// whatever followed it. E_INVALIDARG for a type without such a record or a malformed code.
HRESULT SetLanguageOfMediaType(CMediaType& type, const char* language);

}  // namespace outside
