#pragma once
// Identifiers of the media framework: major types, subtypes, format types, time formats and the
// class identifiers of the graph pieces and platform filters.
#include "platform/com/guid.h"

// Major types.
inline constexpr GUID MEDIATYPE_NULL = GUID_NULL;
inline constexpr GUID MEDIATYPE_Video = MakeGuid("{73646976-0000-0010-8000-00AA00389B71}");
inline constexpr GUID MEDIATYPE_Audio = MakeGuid("{73647561-0000-0010-8000-00AA00389B71}");
inline constexpr GUID MEDIATYPE_Stream = MakeGuid("{E436EB83-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIATYPE_MPEG2_PES = MakeGuid("{E06D8020-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIATYPE_Text = MakeGuid("{73747874-0000-0010-8000-00AA00389B71}");

// Subtypes.
inline constexpr GUID MEDIASUBTYPE_NULL = GUID_NULL;
inline constexpr GUID MEDIASUBTYPE_MPEG2_PROGRAM = MakeGuid("{E06D8022-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIASUBTYPE_MPEG2_TRANSPORT = MakeGuid("{E06D8023-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIASUBTYPE_MPEG2_VIDEO = MakeGuid("{E06D8026-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIASUBTYPE_MPEG2_AUDIO = MakeGuid("{E06D802B-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIASUBTYPE_DOLBY_AC3 = MakeGuid("{E06D802C-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr GUID MEDIASUBTYPE_MPEG1System = MakeGuid("{E436EB84-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_MPEG1Video = MakeGuid("{E436EB86-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_MPEG1Audio = MakeGuid("{E436EB87-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_MPEG1Payload = MakeGuid("{E436EB81-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_MPEG1AudioPayload = MakeGuid("{00000050-0000-0010-8000-00AA00389B71}");
inline constexpr GUID MEDIASUBTYPE_WAVE = MakeGuid("{E436EB8B-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_AVC1 = MakeGuid("{31435641-0000-0010-8000-00AA00389B71}");
inline constexpr GUID MEDIASUBTYPE_H264 = MakeGuid("{34363248-0000-0010-8000-00AA00389B71}");
// AAC in ADTS framing, as the transport stream carries it.
inline constexpr GUID MEDIASUBTYPE_AAC_ADTS = MakeGuid("{AACE71A1-8259-4250-8583-49613AF31C93}");
inline constexpr GUID MEDIASUBTYPE_PCM = MakeGuid("{00000001-0000-0010-8000-00AA00389B71}");

// Format types.
inline constexpr GUID FORMAT_None = MakeGuid("{0F6417D6-C318-11D0-A43F-00A0C9223196}");
inline constexpr GUID FORMAT_VideoInfo = MakeGuid("{05589F80-C356-11CE-BF01-00AA0055595A}");
inline constexpr GUID FORMAT_VideoInfo2 = MakeGuid("{F72A76A0-EB0A-11D0-ACE4-0000C0CC16BA}");
inline constexpr GUID FORMAT_WaveFormatEx = MakeGuid("{05589F81-C356-11CE-BF01-00AA0055595A}");
inline constexpr GUID FORMAT_MPEGVideo = MakeGuid("{05589F82-C356-11CE-BF01-00AA0055595A}");
inline constexpr GUID FORMAT_MPEGStreams = MakeGuid("{05589F83-C356-11CE-BF01-00AA0055595A}");
inline constexpr GUID FORMAT_MPEG2Video = MakeGuid("{E06D80E3-DB46-11CF-B4D1-00805F6CBBEA}");

// Time formats of IMediaSeeking.
inline constexpr GUID TIME_FORMAT_NONE = GUID_NULL;
inline constexpr GUID TIME_FORMAT_FRAME = MakeGuid("{7B785570-8C82-11CF-BC0C-00AA00AC74F6}");
inline constexpr GUID TIME_FORMAT_SAMPLE = MakeGuid("{7B785571-8C82-11CF-BC0C-00AA00AC74F6}");
inline constexpr GUID TIME_FORMAT_BYTE = MakeGuid("{7B785572-8C82-11CF-BC0C-00AA00AC74F6}");
inline constexpr GUID TIME_FORMAT_FIELD = MakeGuid("{7B785573-8C82-11CF-BC0C-00AA00AC74F6}");
inline constexpr GUID TIME_FORMAT_MEDIA_TIME = MakeGuid("{7B785574-8C82-11CF-BC0C-00AA00AC74F6}");

// Graph pieces.
inline constexpr CLSID CLSID_FilterGraph = MakeGuid("{E436EBB3-524F-11CE-9F53-0020AF0BA770}");
inline constexpr CLSID CLSID_FilterMapper2 = MakeGuid("{CDA42200-BD88-11D0-BD4E-00A0C911CE86}");
inline constexpr CLSID CLSID_SystemClock = MakeGuid("{E436EBB1-524F-11CE-9F53-0020AF0BA770}");
inline constexpr CLSID CLSID_MemoryAllocator = MakeGuid("{1E651CC0-B199-11D0-8212-00C04FC32C45}");

// Platform filters.
inline constexpr CLSID CLSID_MPEG2Demultiplexer = MakeGuid("{AFB6C280-2C41-11D3-8A60-0000F81E0E4A}");
inline constexpr CLSID CLSID_MPEG2VideoAnalyzer = MakeGuid("{6CFAD761-735D-4AA5-8AFC-AF91A7D61EBA}");
inline constexpr CLSID CLSID_InfTee = MakeGuid("{F8388A40-D5BB-11D0-BE5A-0080C706568E}");
inline constexpr CLSID CLSID_FileWriter = MakeGuid("{8596E5F0-0DA5-11D0-BD21-00A0C911CE86}");
inline constexpr CLSID CLSID_AsyncReader = MakeGuid("{E436EBB5-524F-11CE-9F53-0020AF0BA770}");
inline constexpr CLSID CLSID_StreamBufferSink = MakeGuid("{2DB47AE5-CF39-43C2-B4D6-0CD8D90946F4}");
inline constexpr CLSID CLSID_StreamBufferSource = MakeGuid("{C9F5FE02-F851-4EB5-99EE-AD602AF1E619}");
inline constexpr CLSID CLSID_DVDNavigator = MakeGuid("{773EAEDE-D5EE-4FCE-9C8F-C4F53D0A2F73}");

// Merits of registered filters.
inline constexpr DWORD MERIT_PREFERRED = 0x800000;
inline constexpr DWORD MERIT_NORMAL = 0x600000;
inline constexpr DWORD MERIT_UNLIKELY = 0x400000;
inline constexpr DWORD MERIT_DO_NOT_USE = 0x200000;
inline constexpr DWORD MERIT_SW_COMPRESSOR = 0x100000;
inline constexpr DWORD MERIT_HW_COMPRESSOR = 0x100050;
