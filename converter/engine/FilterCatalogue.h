#pragma once
// The converter's side of the filter catalogue: which installed filters can serve as the MPEG-2
// multiplexer or the AC3 analyzer, the text form in which a chosen filter is kept (the filter
// spec), the program file a filter class lives in, and the multiplexer the automatic choice takes.
//
// A filter spec is "friendly name,{class id}": the name is everything before the first comma, the
// class identifier everything after it. The empty text and "<Auto>" choose no particular filter.
#include <string>
#include <vector>

#include "platform/com/guid.h"

inline constexpr char kAutoFilterSpec[] = "<Auto>";

// True for a spec that names no filter ("" or "<Auto>").
bool IsAutomaticFilterSpec(const std::string& spec);
// The part before the first comma (the whole text when there is none).
std::string FilterSpecName(const std::string& spec);
// The part after the first comma (empty when there is none).
std::string FilterSpecClass(const std::string& spec);

// Appends to list, in the catalogue's order, the spec of every registered filter that has an input
// pin taking exactly (major, subtype) and at least one output pin, at any merit from "do not use"
// up. With exclusion on, filters whose friendly name contains "uxer", "ultiplexer" or "AC3Filter"
// are left out (the AC3 analyzer list must not offer multiplexers or AC3 decoders). A value the
// entry cannot give reads as empty text. Returns the list's new count; without a catalogue
// nothing is added.
int EnumerateInputFilters(const GUID& major, const GUID& subtype, bool exclusion, std::vector<std::string>& list);

// The multiplexer candidates: the entries of the MPEG-2 video list that occur, as identical text,
// in the MPEG-2 audio list too, in the video list's order. bothListsFound tells whether both
// queries found anything at all (the Multiplexer page offers "<Auto>" only then).
std::vector<std::string> MultiplexerCandidates(bool* bothListsFound = nullptr);
// The AC3 analyzer candidates: the AC3 list with the exclusion on.
std::vector<std::string> Ac3AnalyzerCandidates();

// The automatic choice of a multiplexer: the last candidate, empty when there is none.
std::string AutomaticMultiplexer();
// The multiplexer to use: the stored MuxerFilter setting unchanged when it is not empty (even if
// that filter is gone), otherwise the automatic choice. Empty means no multiplexer is installed.
std::string MultiplexerInUse(const std::string& muxerSetting);

// The program file of a filter class: the default value of
// HKEY_CLASSES_ROOT\CLSID\<class text>\InprocServer32, empty when the key or value is missing.
std::string FindFilterModule(const std::string& classText);
