// Runs the probe tool as a user would, against a fresh registry (the tool registers the module
// beside it on first use).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/registry/registry.h"
#include "tests/platform/registry/TemporaryRegistry.h"

namespace {

struct RunResult {
  int status = -1;
  std::string output;
};

RunResult RunProbe(const std::string& arguments) {
  const char* bin = std::getenv("BIN_DIR");
  const std::string command = std::string(bin ? bin : ".") + "/tsprobe " + arguments + " 2>&1";
  RunResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  std::size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, read);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(TsprobeTest, PrintsProgramsStreamsAndPidsOfTheSample) {
  TemporaryRegistry registry;
  const RunResult run = RunProbe(SAMPLE_TS);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("Program 1 \"Orvanet Test\", PMT PID 4096"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("stream type 0x02, PID 0x0100 (256)"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Video: 720 x 576"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Packets: 10584"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Audio track: Audio (deu) (AC3) \n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Audio track: Audio (eng) (MPG) \n"), std::string::npos) << run.output;
}

// A registration left by a build that has since been moved or deleted must not stop the tool.
TEST(TsprobeTest, ARegistrationToAModuleThatIsGoneIsReplacedByTheOneBesideIt) {
  TemporaryRegistry registry;
  ASSERT_EQ(RegistryWriteString(HKEY_CLASSES_ROOT, "CLSID\\{8F923A8B-F96C-420C-8458-0D6406E82E4C}\\InprocServer32", "",
                                "/nonexistent/build/Flumetta.ax"),
            ERROR_SUCCESS);
  const RunResult run = RunProbe("--attr NUMPIDS " + std::string(SAMPLE_TS));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "6\n");
}

TEST(TsprobeTest, AttributeAnswersOneLineEachAndEmptyForNone) {
  TemporaryRegistry registry;
  const RunResult run = RunProbe("--attr NUMPIDS --attr 'GETPID(-1)' --attr GETPIDS " + std::string(SAMPLE_TS));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "6\n\n0x0100 (256)\n");
}

TEST(TsprobeTest, MissingFileOrNoFileFails) {
  TemporaryRegistry registry;
  RunResult run = RunProbe("/nonexistent/recording.ts");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("cannot open /nonexistent/recording.ts"), std::string::npos) << run.output;
  run = RunProbe("");
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(RunProbe("--help").status, 0);
}

TEST(TsprobeTest, JsonNamesTheSameStreams) {
  TemporaryRegistry registry;
  const RunResult run = RunProbe("--json " + std::string(SAMPLE_TS));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("\"name\": \"Orvanet Test\""), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("{\"type\": 2, \"pid\": 256}"), std::string::npos) << run.output;
}

}  // namespace

// ---- agreement with ffprobe ----

#include <cmath>
#include <map>
#include <regex>
#include <set>
#include <vector>

#include "tests/support/Command.h"
#include "tests/support/Fixtures.h"

namespace {

// ffprobe's flat output as key -> value (quotes removed).
std::map<std::string, std::string> FfprobeFlat(const std::string& file) {
  const auto run = testsupport::RunCommand(
      "ffprobe -v error -show_entries program=program_id,pmt_pid:program_tags=service_name:"
      "stream=id,codec_name,codec_type,width,height,display_aspect_ratio,r_frame_rate:stream_tags=language -of flat " +
      testsupport::ShellQuote(file));
  std::map<std::string, std::string> values;
  std::size_t begin = 0;
  while (begin < run.output.size()) {
    std::size_t end = run.output.find('\n', begin);
    if (end == std::string::npos) end = run.output.size();
    const std::string line = run.output.substr(begin, end - begin);
    begin = end + 1;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string value = line.substr(equals + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    values[line.substr(0, equals)] = value;
  }
  return values;
}

struct OracleStream {
  unsigned pid = 0;
  std::string codec, kind, language, aspect, frameRate;
  int width = 0, height = 0;
};

struct OracleProgram {
  unsigned number = 0, pmtPid = 0;
  std::string name;
  std::vector<OracleStream> streams;
};

std::vector<OracleProgram> OraclePrograms(const std::map<std::string, std::string>& flat) {
  std::vector<OracleProgram> programs;
  auto get = [&](const std::string& key) {
    auto found = flat.find(key);
    return found == flat.end() ? std::string() : found->second;
  };
  for (int p = 0; flat.count("programs.program." + std::to_string(p) + ".program_id"); ++p) {
    const std::string prefix = "programs.program." + std::to_string(p) + ".";
    OracleProgram program;
    program.number = static_cast<unsigned>(std::stoul(get(prefix + "program_id")));
    program.pmtPid = static_cast<unsigned>(std::stoul(get(prefix + "pmt_pid")));
    program.name = get(prefix + "tags.service_name");
    for (int s = 0; flat.count(prefix + "streams.stream." + std::to_string(s) + ".id"); ++s) {
      const std::string stream = prefix + "streams.stream." + std::to_string(s) + ".";
      OracleStream o;
      o.pid = static_cast<unsigned>(std::stoul(get(stream + "id"), nullptr, 16));
      o.codec = get(stream + "codec_name");
      o.kind = get(stream + "codec_type");
      // Stream tags are listed with the top-level streams only.
      for (int t = 0; flat.count("streams.stream." + std::to_string(t) + ".id"); ++t) {
        const std::string top = "streams.stream." + std::to_string(t) + ".";
        if (get(top + "id") == get(stream + "id")) o.language = get(top + "tags.language");
      }
      o.aspect = get(stream + "display_aspect_ratio");
      const std::string rate = get(stream + "r_frame_rate");
      const std::size_t slash = rate.find('/');
      if (slash != std::string::npos && std::stod(rate.substr(slash + 1)) != 0) {
        char text[32];
        std::snprintf(text, sizeof text, "%2.2f", std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1)));
        o.frameRate = text;
      }
      if (!get(stream + "width").empty()) o.width = std::stoi(get(stream + "width"));
      if (!get(stream + "height").empty()) o.height = std::stoi(get(stream + "height"));
      program.streams.push_back(o);
    }
    programs.push_back(program);
  }
  return programs;
}

// The stream types a PMT may give each codec.
std::set<unsigned> TypesOf(const std::string& codec) {
  if (codec == "mpeg2video") return {0x02};
  if (codec == "h264") return {0x1b};
  if (codec == "mp2" || codec == "mp3") return {0x03, 0x04};
  if (codec == "ac3") return {0x06, 0x81};
  if (codec == "aac") return {0x0f, 0x11};
  return {};
}

std::string JsonField(const std::string& json, const std::string& pattern) {
  std::smatch match;
  return std::regex_search(json, match, std::regex(pattern)) ? match[1].str() : std::string();
}

// How the filter learns the picture format of a file's video.
enum class Picture {
  SequenceHeader,  // MPEG-2: size, aspect and rate as the sequence header says
  Macroblocks,     // H.264 after an access unit delimiter: whole macroblocks, 16:9, 25 frames/s
  Unknown,         // H.264 without access unit delimiters: not learnt
};

TEST(TsprobeTest, AgreesWithFfprobeOnProgramsStreamsLanguagesAndPictureFormat) {
  if (!testsupport::ProgramAvailable("ffprobe")) GTEST_SKIP() << "ffprobe is not installed (Debian package ffmpeg); skipping";
  struct Case {
    const char* file;  // a fixture name, or the bundled sample
    Picture picture;
  };
  const Case cases[] = {
      {"sample.ts", Picture::SequenceHeader},         {"mpeg2_mp2.ts", Picture::SequenceHeader},
      {"mpeg2hd_ac3_mp2.ts", Picture::SequenceHeader}, {"mpeg2hd_ac3dvb_mp2.ts", Picture::SequenceHeader},
      {"two_programs.ts", Picture::SequenceHeader},    {"h264_aud_ac3.ts", Picture::Macroblocks},
      {"h264_aac.ts", Picture::Unknown},
  };
  TemporaryRegistry registry;
  int checked = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = std::string(c.file) == "sample.ts" ? SAMPLE_TS : testsupport::FixturePath(c.file).string();
    if (path.empty()) continue;  // fixture not made (no ffmpeg or no libx264)
    const RunResult run = RunProbe("--json " + testsupport::ShellQuote(path));
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string& json = run.output;
    const std::vector<OracleProgram> oracle = OraclePrograms(FfprobeFlat(path));
    ASSERT_FALSE(oracle.empty());

    // Programs: number, service name, PMT PID and the streams' PIDs in PMT order, with types that
    // fit the codecs.
    const std::regex programLine(R"re(\{"number": (\d+), "name": "([^"]*)", "pmt_pid": (\d+), "streams": \[([^\]]*)\]\})re");
    std::vector<std::smatch> ours;
    for (auto it = std::sregex_iterator(json.begin(), json.end(), programLine); it != std::sregex_iterator(); ++it)
      ours.push_back(*it);
    ASSERT_EQ(ours.size(), oracle.size()) << json;
    const unsigned selectedPmt = static_cast<unsigned>(std::stoul(JsonField(json, R"re("selected_pmt_pid": (\d+))re")));
    const OracleProgram* selected = nullptr;
    for (std::size_t p = 0; p < oracle.size(); ++p) {
      EXPECT_EQ(std::stoul(ours[p][1].str()), oracle[p].number);
      EXPECT_EQ(ours[p][2].str(), oracle[p].name);
      EXPECT_EQ(std::stoul(ours[p][3].str()), oracle[p].pmtPid);
      if (oracle[p].pmtPid == selectedPmt) selected = &oracle[p];
      const std::string streams = ours[p][4].str();
      const std::regex streamItem(R"re(\{"type": (\d+), "pid": (\d+)\})re");
      std::size_t s = 0;
      for (auto it = std::sregex_iterator(streams.begin(), streams.end(), streamItem); it != std::sregex_iterator();
           ++it, ++s) {
        ASSERT_LT(s, oracle[p].streams.size()) << streams;
        const OracleStream& o = oracle[p].streams[s];
        EXPECT_EQ(std::stoul((*it)[2].str()), o.pid);
        EXPECT_EQ(TypesOf(o.codec).count(static_cast<unsigned>(std::stoul((*it)[1].str()))), 1u)
            << o.codec << " as type " << (*it)[1].str();
      }
      EXPECT_EQ(s, oracle[p].streams.size()) << streams;
    }
    // A program the filter could not take from its PMT (an audio type it does not know) has its
    // streams guessed from the PID census; there is then no selected PMT.
    if (selectedPmt == 0 && oracle.size() == 1) selected = &oracle[0];
    ASSERT_NE(selected, nullptr) << "selected PMT PID " << selectedPmt;

    // The audio tracks of the delivered program, with their languages, in PMT order.
    std::vector<std::string> oracleLanguages;
    const OracleStream* video = nullptr;
    for (const OracleStream& o : selected->streams) {
      if (o.kind == "audio") oracleLanguages.push_back(o.language);
      if (o.kind == "video" && !video) video = &o;
    }
    const std::string tracks = JsonField(json, R"re("audio_tracks": \[([^\]]*)\])re");
    std::vector<std::string> languages;
    const std::regex trackName(R"re("Audio (?:\(([a-z]{3})\)|Track \d+) \((?:AC3|AAC|MPG)\) ")re");
    for (auto it = std::sregex_iterator(tracks.begin(), tracks.end(), trackName); it != std::sregex_iterator(); ++it)
      languages.push_back((*it)[1].str());
    EXPECT_EQ(languages, oracleLanguages) << tracks;

    // The picture format of its video.
    ASSERT_NE(video, nullptr);
    const std::string size = JsonField(json, R"re("size": "([^"]*)")re");
    const std::string aspect = JsonField(json, R"re("aspect_ratio": "([^"]*)")re");
    const std::string rate = JsonField(json, R"re("frame_rate": "([^"]*)")re");
    auto whole = [](int pixels) { return (pixels + 15) / 16 * 16; };
    switch (c.picture) {
      case Picture::SequenceHeader:
        EXPECT_EQ(size, std::to_string(video->width) + " x " + std::to_string(video->height));
        EXPECT_EQ(aspect, video->aspect);
        EXPECT_EQ(rate, video->frameRate);
        break;
      case Picture::Macroblocks:
        EXPECT_EQ(size, std::to_string(whole(video->width)) + " x " + std::to_string(whole(video->height)));
        EXPECT_EQ(aspect, "16:9");
        EXPECT_EQ(rate, "25.00");
        EXPECT_EQ(video->frameRate, "25.00");
        EXPECT_NE(json.find(R"re({"row": "profile_idc: )re"), std::string::npos);
        break;
      case Picture::Unknown:
        EXPECT_EQ(size, "0 x 0");
        break;
    }
    ++checked;
  }
  EXPECT_GE(checked, 1);
}

TEST(TsprobeTest, H264RowsCarryTheirRemarks) {
  TemporaryRegistry registry;
  REQUIRE_FIXTURE(path, "h264_aud_ac3.ts");
  const RunResult run = RunProbe(testsupport::ShellQuote(path.string()));
  ASSERT_EQ(run.status, 0) << run.output;
  // 1280 x 720: 80 macroblocks wide, 45 map units of one macroblock row (progressive) high.
  for (const char* line : {"  profile_idc: 100                         High profile\n",
                           "  level_idc: 31                            Level 3.1\n",
                           "  pic_width_in_mbs_minus1: 79              Width 1280\n",
                           "  pic_height_in_map_units_minus1: 44       Height 720\n",
                           "  frame_mbs_only_flag: 1                   progressive\n",
                           "  seq_parameter_set_id: 0\n"}) {
    EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;
  }
}

}  // namespace
