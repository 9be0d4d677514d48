#pragma once
// Parsed program tables as the filter keeps them. Standard field names stay verbatim.
// Every record is a fixed-size value: nothing here allocates.
#include <cstddef>
#include <cstdint>

namespace tsfilter {

inline constexpr std::size_t kMaxPatPairs = 252;      // program pairs kept in a PAT copy
inline constexpr std::size_t kMaxPmtStreams = 202;    // stream records kept in a PMT copy
inline constexpr std::size_t kLanguageSize = 32;      // language text, NUL-terminated
inline constexpr std::size_t kProgramNameSize = 36;   // service name of a program, NUL-terminated
inline constexpr std::size_t kMaxSectionLength = 1021;
inline constexpr std::size_t kPmtParseLimit = 180;    // a PMT is parsed up to this section_length

// The seven header fields every long section carries.
struct SectionHeader {
  std::uint32_t table_id = 0;
  std::uint32_t section_syntax_indicator = 0;
  std::uint32_t section_length = 0;
  std::uint32_t version_number = 0;
  std::uint32_t current_next_indicator = 0;
  std::uint32_t section_number = 0;
  std::uint32_t last_section_number = 0;
};

struct PatPair {
  std::uint32_t program_number = 0;
  std::uint32_t PID = 0;
};

struct PatSection {
  SectionHeader header;
  std::uint32_t transport_stream_id = 0;
  std::uint32_t program_count = 0;  // pairs held below, at most kMaxPatPairs
  PatPair programs[kMaxPatPairs];
};

struct StreamRecord {
  std::uint32_t stream_type = 0;
  std::uint32_t elementary_PID = 0;
  std::uint32_t ES_info_length = 0;
  char language[kLanguageSize] = {};
};

struct PmtSection {
  SectionHeader header;  // section_length capped at kPmtParseLimit
  std::uint32_t program_number = 0;
  std::uint32_t PCR_PID = 0;
  std::uint32_t program_info_length = 0;
  std::uint32_t stream_count = 0;  // records held below, at most kMaxPmtStreams
  StreamRecord streams[kMaxPmtStreams];
};

struct ProgramEntry {
  std::uint32_t program_number = 0;
  std::uint32_t pmt_pid = 0;
  std::uint32_t stream_count = 0;
  char name[kProgramNameSize] = {};
  PatSection pat;  // the PAT section the program was last seen in
  PmtSection pmt;  // the program's PMT
};

enum class AudioKind : std::uint16_t { None = 0, Mpeg = 1, Ac3 = 2, Aac = 3 };

struct AudioTrack {
  std::uint16_t pid = 0;
  AudioKind kind = AudioKind::None;
  std::uint16_t stream_type = 0;  // the PMT's stream_type, or the census content code when guessed
  char language[kLanguageSize] = {};
};

// Copies NUL-terminated text into a fixed field, cut to fit and always terminated.
template <std::size_t N>
void CopyText(char (&field)[N], const char* text) {
  std::size_t i = 0;
  for (; i + 1 < N && text[i] != '\0'; ++i) field[i] = text[i];
  field[i] = '\0';
}

}  // namespace tsfilter
