#pragma once
// Format blocks carried by media types (little-endian records, laid out as stored in files and
// passed between filters).
#include "platform/com/types.h"

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

#pragma pack(push, 1)
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;  // bytes of extra format data after this record
};
static_assert(sizeof(WAVEFORMATEX) == 18);

struct MPEG1WAVEFORMAT {
  WAVEFORMATEX wfx;
  WORD fwHeadLayer;
  DWORD dwHeadBitrate;
  WORD fwHeadMode;
  WORD fwHeadModeExt;
  WORD wHeadEmphasis;
  WORD fwHeadFlags;
  DWORD dwPTSLow;
  DWORD dwPTSHigh;
};
static_assert(sizeof(MPEG1WAVEFORMAT) == 40);
#pragma pack(pop)

inline constexpr WORD WAVE_FORMAT_PCM = 0x0001;
inline constexpr WORD WAVE_FORMAT_MPEG = 0x0050;
inline constexpr WORD WAVE_FORMAT_DOLBY_AC3_SPDIF = 0x0092;

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct VIDEOINFOHEADER {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;
  BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER) == 88);

struct VIDEOINFOHEADER2 {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;
  DWORD dwInterlaceFlags;
  DWORD dwCopyProtectFlags;
  DWORD dwPictAspectRatioX;
  DWORD dwPictAspectRatioY;
  DWORD dwControlFlags;
  DWORD dwReserved2;
  BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER2) == 112);

// Followed in the format block by cbSequenceHeader bytes starting at dwSequenceHeader.
struct MPEG2VIDEOINFO {
  VIDEOINFOHEADER2 hdr;
  DWORD dwStartTimeCode;
  DWORD cbSequenceHeader;
  DWORD dwProfile;
  DWORD dwLevel;
  DWORD dwFlags;
  DWORD dwSequenceHeader[1];
};
static_assert(sizeof(MPEG2VIDEOINFO) == 136);
// Size of a format block holding an MPEG2VIDEOINFO and its sequence header bytes.
inline constexpr ULONG Mpeg2VideoInfoSize(ULONG sequenceHeaderBytes) { return 132 + sequenceHeaderBytes; }
