#pragma once
// Class identifiers of the system's own components, as hosts create them and as the registry
// records them.
#include "platform/com/guid.h"

// Flumetta, the transport-stream source filter.
inline constexpr CLSID CLSID_Flumetta = MakeGuid("{8F923A8B-F96C-420C-8458-0D6406E82E4C}");
inline constexpr const char* kFlumettaClsidText = "{8F923A8B-F96C-420C-8458-0D6406E82E4C}";

// Flumetta's five property pages, each its own class.
inline constexpr CLSID CLSID_ProgramInfoPage = MakeGuid("{C4A9A5B7-3610-4A93-A640-DCE87E33D688}");
inline constexpr CLSID CLSID_H264AnalyzerPage = MakeGuid("{CCDB8F77-F4DD-4E6F-BCD6-520F7F168A0D}");
inline constexpr CLSID CLSID_PidInfoPage = MakeGuid("{E9248C21-E3C6-4950-BD2F-31B46918AE1F}");
inline constexpr CLSID CLSID_ProgramsPage = MakeGuid("{37437C1A-E2B0-49F9-A0EA-F5098DF552CF}");
inline constexpr CLSID CLSID_AboutPage = MakeGuid("{936985AF-E8A7-4A57-91A7-EC76C88FDA84}");

// Ambrel, the AC3 WAV writer.
inline constexpr CLSID CLSID_Ambrel = MakeGuid("{0D4F7699-AF8F-45DB-8667-BFF3C1F39C82}");

// A demultiplexer of another vendor that Flumetta adds to its graph when asked to; it is not
// available on this platform, so creating it fails (and the failure is ignored).
inline constexpr CLSID CLSID_NvidiaHdtvDemux = MakeGuid("{735823C1-ACC4-11D3-85AC-006008376FB8}");
