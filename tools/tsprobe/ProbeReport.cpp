#include "tools/tsprobe/ProbeReport.h"

#include <cstdio>
#include <cstdlib>

#include "platform/com/comptr.h"
#include "platform/com/taskmem.h"
#include "platform/dshow/Interfaces.h"
#include "platform/com/wstring.h"
#include "tsfilter/analysis/PidTable.h"
#include "tsfilter/services/H264ParameterList.h"

std::string Attribute(ITsSourceInfo* info, const std::string& key) {
  LPWSTR answer = nullptr;
  const std::u16string wideKey = Utf8ToUtf16(key);
  if (FAILED(info->GetAttribute(wideKey.c_str(), &answer)) || !answer) return {};
  std::string text = Utf16ToUtf8(answer);
  CoTaskMemFree(answer);
  return text;
}

namespace {

std::uint64_t Number(const std::string& text) { return std::strtoull(text.c_str(), nullptr, 10); }

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The rows with their remarks; a row may rewrite the remark of the row above it (the height of a
// progressive picture is counted in macroblocks, not in map units).
std::vector<ProbeParameter> H264Parameters(ITsSourceInfo* info) {
  std::vector<ProbeParameter> parameters;
  const std::uint64_t rows = Number(Attribute(info, "H264.NUMPARAMS"));
  tsfilter::H264RemarkState state;
  for (std::uint64_t row = 0; row < rows; ++row) {
    ProbeParameter parameter{Attribute(info, "H264.GETPARAM(" + std::to_string(row) + ")"), {}};
    char remark[64] = {};
    char previous[64] = {};
    if (!parameters.empty()) std::snprintf(previous, sizeof previous, "%s", parameters.back().remark.c_str());
    tsfilter::RowRemark(parameter.row.c_str(), state, remark, sizeof remark, previous, sizeof previous);
    if (!parameters.empty()) parameters.back().remark = previous;
    parameter.remark = remark;
    parameters.push_back(std::move(parameter));
  }
  return parameters;
}

}  // namespace

ProbeReport GatherReport(ITsSourceInfo* info) {
  ProbeReport report;
  BYTE version = 0;
  WORD tsid = 0;
  info->GetPatVersion(&version);
  info->GetTransportStreamId(&tsid);
  report.patVersion = version;
  report.transportStreamId = tsid;

  DWORD programCount = 0;
  info->GetProgramCount(&programCount);
  for (DWORD index = 0; index < programCount; ++index) {
    ProbeProgram program;
    WORD number = 0, pmtPid = 0, streamCount = 0;
    if (FAILED(info->GetProgramNumber(static_cast<LONG>(index), &number))) continue;
    info->GetPmtPid(number, &pmtPid);
    info->GetStreamCount(number, &streamCount);
    program.number = number;
    program.pmtPid = pmtPid;
    program.name = Attribute(info, "GETNAME(" + std::to_string(number) + ")");
    for (DWORD stream = 0; stream < streamCount; ++stream) {
      BYTE type = 0;
      WORD pid = 0;
      info->GetStreamType(number, stream, &type);
      info->GetStreamPid(number, stream, &pid);
      program.streams.push_back({type, pid});
    }
    report.programs.push_back(program);
  }

  report.videoSize = Attribute(info, "VIDEOSIZE");
  report.frameRate = Attribute(info, "FRAMERATE");
  report.aspectRatio = Attribute(info, "ASPECTRATIO");
  report.h264Parameters = H264Parameters(info);
  ComPtr<IAMStreamSelect> select;
  DWORD trackCount = 0;
  if (SUCCEEDED(info->QueryInterface(IID_PPV_ARGS(select.GetAddressOf()))) && SUCCEEDED(select->Count(&trackCount))) {
    for (DWORD track = 0; track < trackCount; ++track) {
      WCHAR* name = nullptr;
      if (FAILED(select->Info(static_cast<LONG>(track), nullptr, nullptr, nullptr, nullptr, &name, nullptr, nullptr))) continue;
      report.audioTracks.push_back(name ? Utf16ToUtf8(name) : std::string());
      CoTaskMemFree(name);
    }
  }
  report.audioPid = Attribute(info, "AUDIOPID");
  report.audioFormat = Attribute(info, "AUDIOFORMAT");
  report.audioType = Attribute(info, "AUDIOTYPE");
  report.duration = Attribute(info, "MEDIALEN");
  report.packetCount = Number(Attribute(info, "MAXPACKET"));

  const unsigned pmtPid = static_cast<unsigned>(Number(Attribute(info, "PMTPID")));
  report.selectedPmtPid = pmtPid;
  const std::uint64_t pidCount = Number(Attribute(info, "NUMPIDS"));
  for (std::uint64_t row = 0; row < pidCount; ++row) {
    const std::string index = "(" + std::to_string(row) + ")";
    ProbePid pid;
    pid.pid = Attribute(info, "GETPID" + index);
    pid.packets = Number(Attribute(info, "GETPACKETS" + index));
    pid.contentCode = static_cast<unsigned>(Number(Attribute(info, "GETTYPE" + index)));
    const unsigned pidValue = static_cast<unsigned>(std::strtoul(pid.pid.c_str(), nullptr, 16));
    pid.description = tsfilter::DescribePid(static_cast<std::uint8_t>(pid.contentCode),
                                            static_cast<std::uint16_t>(pidValue), pmtPid);
    report.pids.push_back(pid);
  }
  return report;
}

void PrintText(const ProbeReport& report, std::ostream& out) {
  out << "PAT: version " << report.patVersion << ", transport stream id " << report.transportStreamId << "\n";
  for (const ProbeProgram& program : report.programs) {
    out << (program.pmtPid == report.selectedPmtPid ? "* " : "") << "Program " << program.number << " \"" << program.name << "\", PMT PID " << program.pmtPid << "\n";
    for (const ProbeStream& stream : program.streams) {
      char line[64];
      std::snprintf(line, sizeof line, "  stream type 0x%02x, PID 0x%04x (%u)\n", stream.type, stream.pid, stream.pid);
      out << line;
    }
  }
  out << "Video: " << report.videoSize << ", " << report.frameRate << " frames/s, aspect " << report.aspectRatio
      << "\n";
  for (const ProbeParameter& parameter : report.h264Parameters) {
    char line[128];
    std::snprintf(line, sizeof line, "  %-40s %s", parameter.row.c_str(), parameter.remark.c_str());
    std::string text = line;
    text.erase(text.find_last_not_of(' ') + 1);
    out << text << "\n";
  }
  for (const std::string& track : report.audioTracks) out << "Audio track: " << track << "\n";
  out << "Audio: PID " << report.audioPid << ", " << report.audioFormat << " (type " << report.audioType << ")\n";
  out << "Duration: " << report.duration << "\n";
  out << "Packets: " << report.packetCount << "\n";
  std::uint64_t total = 0;
  for (const ProbePid& pid : report.pids) total += pid.packets;
  out << "PIDs:\n";
  for (const ProbePid& pid : report.pids) {
    char line[160];
    const double percent = total ? 100.0 * static_cast<double>(pid.packets) / static_cast<double>(total) : 0.0;
    std::snprintf(line, sizeof line, "  %-16s %10llu %6.2f%%  %s\n", pid.pid.c_str(),
                  static_cast<unsigned long long>(pid.packets), percent, pid.description.c_str());
    out << line;
  }
}

void PrintJson(const ProbeReport& report, std::ostream& out) {
  out << "{\n  \"pat\": {\"version\": " << report.patVersion << ", \"transport_stream_id\": "
      << report.transportStreamId << "},\n  \"programs\": [";
  for (std::size_t i = 0; i < report.programs.size(); ++i) {
    const ProbeProgram& program = report.programs[i];
    out << (i ? ",\n" : "\n") << "    {\"number\": " << program.number << ", \"name\": " << JsonText(program.name)
        << ", \"pmt_pid\": " << program.pmtPid << ", \"streams\": [";
    for (std::size_t s = 0; s < program.streams.size(); ++s) {
      out << (s ? ", " : "") << "{\"type\": " << program.streams[s].type << ", \"pid\": " << program.streams[s].pid
          << "}";
    }
    out << "]}";
  }
  out << "\n  ],\n  \"selected_pmt_pid\": " << report.selectedPmtPid << ",\n  \"video\": {\"size\": " << JsonText(report.videoSize)
      << ", \"frame_rate\": " << JsonText(report.frameRate) << ", \"aspect_ratio\": " << JsonText(report.aspectRatio)
      << ", \"h264_parameters\": [";
  for (std::size_t i = 0; i < report.h264Parameters.size(); ++i) {
    out << (i ? ", " : "") << "{\"row\": " << JsonText(report.h264Parameters[i].row)
        << ", \"remark\": " << JsonText(report.h264Parameters[i].remark) << "}";
  }
  out << "]},\n  \"audio_tracks\": [";
  for (std::size_t i = 0; i < report.audioTracks.size(); ++i) out << (i ? ", " : "") << JsonText(report.audioTracks[i]);
  out << "],\n  \"audio\": {\"pid\": " << JsonText(report.audioPid) << ", \"format\": "
      << JsonText(report.audioFormat) << ", \"type\": " << JsonText(report.audioType) << "},\n"
      << "  \"duration\": " << JsonText(report.duration) << ",\n  \"packets\": " << report.packetCount
      << ",\n  \"pids\": [";
  for (std::size_t i = 0; i < report.pids.size(); ++i) {
    const ProbePid& pid = report.pids[i];
    out << (i ? ",\n" : "\n") << "    {\"pid\": " << JsonText(pid.pid) << ", \"packets\": " << pid.packets
        << ", \"content\": " << pid.contentCode << ", \"description\": " << JsonText(pid.description) << "}";
  }
  out << "\n  ]\n}\n";
}
