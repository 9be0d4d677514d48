#pragma once
// Identifiers of the ASF container as recordings use them: top-level and header objects, the
// objects inside the Header Extension, stream types, and the payload extension systems. In a
// file every GUID is stored as the Windows structure (Data1, Data2, Data3 little-endian, then
// Data4 as it is).
#include "platform/com/guid.h"

namespace asf {

// Top-level objects.
inline constexpr GUID kHeaderObject = MakeGuid("{75B22630-668E-11CF-A6D9-00AA0062CE6C}");
inline constexpr GUID kDataObject = MakeGuid("{75B22636-668E-11CF-A6D9-00AA0062CE6C}");
inline constexpr GUID kSimpleIndexObject = MakeGuid("{33000890-E5B1-11CF-89F4-00A0C90349CB}");
inline constexpr GUID kIndexObject = MakeGuid("{D6E229D3-35DA-11D1-9034-00A0C90349BE}");

// Children of the Header Object.
inline constexpr GUID kFileProperties = MakeGuid("{8CABDCA1-A947-11CF-8EE4-00C00C205365}");
inline constexpr GUID kStreamProperties = MakeGuid("{B7DC0791-A9B7-11CF-8EE6-00C00C205365}");
inline constexpr GUID kHeaderExtension = MakeGuid("{5FBF03B5-A92E-11CF-8EE3-00C00C205365}");
inline constexpr GUID kCodecList = MakeGuid("{86D15240-311D-11D0-A3A4-00A0C90348F6}");
inline constexpr GUID kContentDescription = MakeGuid("{75B22633-668E-11CF-A6D9-00AA0062CE6C}");
inline constexpr GUID kExtendedContentDescription = MakeGuid("{D2D0A440-E307-11D2-97F0-00A0C95EA850}");
inline constexpr GUID kStreamBitrateProperties = MakeGuid("{7BF875CE-468D-11D1-8D82-006097C9A2B2}");
inline constexpr GUID kPadding = MakeGuid("{1806D474-CADF-4509-A4BA-9AABCB96AAE8}");
inline constexpr GUID kContentEncryption = MakeGuid("{2211B3FB-BD23-11D2-B4B7-00A0C955FC6E}");
inline constexpr GUID kExtendedContentEncryption = MakeGuid("{298AE614-2622-4C17-B935-DAE07EE9289C}");

// Inside the Header Extension.
inline constexpr GUID kExtendedStreamProperties = MakeGuid("{14E6A5CB-C672-4332-8399-A96952065B5A}");
inline constexpr GUID kMetadata = MakeGuid("{C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA}");
inline constexpr GUID kMetadataLibrary = MakeGuid("{44231C94-9498-49D1-A141-1D134E457054}");

// Stream types and error correction.
inline constexpr GUID kAudioMedia = MakeGuid("{F8699E40-5B4D-11CF-A8FD-00805F5C442B}");
inline constexpr GUID kVideoMedia = MakeGuid("{BC19EFC0-5B4D-11CF-A8FD-00805F5C442B}");
inline constexpr GUID kBinaryMedia = MakeGuid("{3AFB65E2-47EF-40F2-AC2C-70A90D71D343}");
inline constexpr GUID kNoErrorCorrection = MakeGuid("{20FB5700-5B55-11CF-A8FD-00805F5C442B}");
inline constexpr GUID kReserved1 = MakeGuid("{ABD3D211-A9BA-11CF-8EE6-00C00C205365}");

// The major type a recording's audio stream carries in its binary-media type record (the audio
// itself is described by the WAVEFORMATEX at the start of the format block).
inline constexpr GUID kRecordingAudioMajorType = MakeGuid("{31178C9D-03E1-4528-B582-3DF9DB22F503}");

// Payload extension systems. The timing extension holds a sample's start time in 100-ns units
// (preroll included) at bytes 8..15 and a second time at 16..23; all ones means "no time".
inline constexpr GUID kTimingExtension = MakeGuid("{FD3CC02A-06DB-4CFA-801C-7212D38745E4}");
inline constexpr std::uint16_t kTimingExtensionSize = 24;
// This system's own extension: the sample's decode time (100 ns, preroll included, all ones when
// the sample has none), so that a multiplexer fed from the recording writes the same DTS.
inline constexpr GUID kDecodeTimeExtension = MakeGuid("{5B3D7C0A-91E4-4F62-A8C7-3E0D6B1F9A24}");
inline constexpr std::uint16_t kDecodeTimeExtensionSize = 8;
// A payload extension whose data size varies: each payload carries a WORD length before its data.
inline constexpr std::uint16_t kVariableExtensionSize = 0xFFFF;

inline constexpr std::uint64_t kNoTime = ~std::uint64_t{0};

}  // namespace asf
