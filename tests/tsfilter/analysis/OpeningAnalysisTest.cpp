#include "tsfilter/analysis/OpeningAnalysis.h"

#include <gtest/gtest.h>

#include "tests/tsfilter/analysis/AnalysisHarness.h"
#include "tsfilter/analysis/ProgramQueries.h"
#include "tsfilter/analysis/StreamTiming.h"

namespace tsfilter::test {
namespace {

using namespace testsupport;

constexpr std::uint16_t kVideoPid = 0x100;
constexpr std::uint16_t kAudioPid = 0x101;
constexpr std::uint16_t kPmtPid = 0x1000;

struct StreamPlan {
  bool psi = true;
  bool spoilPmtCrc = false;
  std::uint32_t headerPacket = 812;  // where the first video PES (with a sequence header) starts
  std::uint8_t aspectCode = 3;       // 16:9; 1 (square samples) has no mapping
  bool headerInEveryPes = false;
  std::vector<std::uint64_t> videoPts{90000, 86400, 93600};
};

// PSI first, null packets up to `headerPacket`, then video PES packets (the first with a sequence
// header) and MPEG audio.
TsStream ProgramStream(const StreamPlan& plan) {
  TsStream ts;
  ts.NullPackets(3);
  if (plan.psi) {
    ts.Section(0, PatBuilder().TransportStreamId(7).Program(1, kPmtPid).Build());
    ts.Section(kPmtPid, PmtBuilder(1).PcrPid(kVideoPid).Stream(2, kVideoPid).Stream(3, kAudioPid, {LanguageDescriptor("deu")})
                            .SpoilCrc(plan.spoilPmtCrc).Build());
    ts.Section(0x11, SdtBuilder().TransportStreamId(7).Service(1, "Provider", "Orvanet Test").Build());
  }
  ts.NullPackets(plan.headerPacket - ts.PacketCount());
  Mpeg2SequenceHeader header;
  header.horizontal_size_value = 1920;
  header.vertical_size_value = 1080;
  header.aspect_ratio_information = plan.aspectCode;
  header.frame_rate_code = 4;
  bool first = true;
  for (std::uint64_t pts : plan.videoPts) {
    Bytes es = first || plan.headerInEveryPes ? header.Build() : Bytes{0, 0, 1, 0, 0x0F, 0xFF};
    es.resize(400, 0xAA);
    ts.Pes(kVideoPid, PesBuilder(0xE0).Pts(pts).Unbounded().Payload(es).Build());
    ts.Pes(kAudioPid, PesBuilder(0xC0).Pts(pts).Payload(Bytes(300, 0xFF)).Build());
    first = false;
  }
  return ts;
}

TEST(OpeningAnalysis, LearnsTablesCensusAndPictureFormat) {
  LoadedFile file;
  const TsStream ts = ProgramStream({});
  ASSERT_EQ(file.Load(ts.Data()), S_OK);
  TsFilterState& f = file.filter;

  EXPECT_EQ(f.pat.transport_stream_id, 7u);
  ASSERT_EQ(f.programs.Count(), 1u);
  EXPECT_STREQ(f.programs.At(0)->name, "Orvanet Test");
  EXPECT_EQ(f.model.currentProgram, 1);
  EXPECT_EQ(f.model.videoPid, kVideoPid);
  EXPECT_EQ(f.model.videoStreamType, kVideoStreamTypeMpeg2);
  ASSERT_EQ(f.model.audioTrackCount, 1u);
  EXPECT_STREQ(f.model.audioTracks[0].language, "deu");
  EXPECT_TRUE(f.model.programComplete);
  EXPECT_FALSE(f.model.noPmt);

  // A short file is counted once; null packets are the busiest PID.
  EXPECT_EQ(f.census.Row(0).pid, kNullPid);
  EXPECT_EQ(f.census.Find(kVideoPid)->contentCode, 0xE0);
  EXPECT_EQ(f.census.Find(kAudioPid)->packets, 3u * 2);

  EXPECT_EQ(f.video.width, 1920);
  EXPECT_EQ(f.video.height, 1080);
  EXPECT_EQ(f.video.aspectX, 16);
  EXPECT_DOUBLE_EQ(f.video.frameRate, 29.97);
  // Time zero is the smallest PTS of the table search (86400), the last video PTS is 93600.
  EXPECT_EQ(f.duration, (93600 - 86400) * 10000 / 90) << "a short file is measured over its whole length";
  EXPECT_EQ(f.phase, AnalysisPhase::Delivering);
}

// A header whose aspect code has no mapping keeps the analysis looking at every later header,
// in every pass; delivery must still begin with the first one, not skip into the recording.
TEST(OpeningAnalysis, DeliveryStartsAtTheFirstSequenceHeaderWhateverItsAspect) {
  for (const std::uint8_t aspect : {std::uint8_t{3}, std::uint8_t{1}}) {
    SCOPED_TRACE(int{aspect});
    LoadedFile file;
    StreamPlan plan;
    plan.aspectCode = aspect;
    plan.headerInEveryPes = true;
    ASSERT_EQ(file.Load(ProgramStream(plan).Data()), S_OK);
    BufferSample sample;
    ASSERT_EQ(ExaminePacket(file.filter, file.pin, &sample), S_OK);
    EXPECT_EQ(file.pin.position, 813u) << "the first packet delivered is packet 812";
    EXPECT_EQ(PacketPid(sample.data.data()), kVideoPid);
  }
}

TEST(OpeningAnalysis, DeliveryStartsAtTheSequenceHeaderAndStampsFromTimeZero) {
  LoadedFile file;
  ASSERT_EQ(file.Load(ProgramStream({}).Data()), S_OK);

  struct Expect {
    std::uint16_t pid;
    bool syncPoint;
    std::int64_t start;
  };
  // Video 90000 (time zero), audio, video 86400 (behind time zero: 0, not a wrapped huge time),
  // audio, video 93600 (40 ms).
  const Expect expected[] = {{kVideoPid, true, 0}, {kVideoPid, false, 0}, {kVideoPid, false, 0},
                             {kAudioPid, false, 0}, {kAudioPid, false, 0}, {kVideoPid, true, 0}};
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    BufferSample sample;
    ASSERT_EQ(ExaminePacket(file.filter, file.pin, &sample), S_OK);
    EXPECT_EQ(PacketPid(sample.data.data()), expected[i].pid);
    EXPECT_EQ(sample.syncPoint, expected[i].syncPoint);
    EXPECT_EQ(sample.start, expected[i].start);
    EXPECT_EQ(sample.actual, 188u);
    if (i == 0) {
      EXPECT_EQ(file.pin.position, 813u) << "the first packet delivered is packet 812";
    }
  }
  std::vector<std::int64_t> starts;
  for (;;) {
    BufferSample sample;
    if (ExaminePacket(file.filter, file.pin, &sample) != S_OK) break;
    if (sample.syncPoint) starts.push_back(sample.start);
  }
  EXPECT_EQ(starts, std::vector<std::int64_t>{400000});
}

TEST(OpeningAnalysis, EndOfFileIsReportedAndPostedOncePerCall) {
  LoadedFile file;
  ASSERT_EQ(file.Load(ProgramStream({}).Data()), S_OK);
  file.filter.notifyWindow = 42;
  HRESULT last = S_OK;
  file.Deliver(100000, &last);
  EXPECT_EQ(last, S_FALSE);
  EXPECT_EQ(file.host.endOfStreamPosts, 1);
  BufferSample sample;
  EXPECT_EQ(ExaminePacket(file.filter, file.pin, &sample), S_FALSE);
  EXPECT_EQ(ExaminePacket(file.filter, file.pin, nullptr), S_FALSE);
  EXPECT_EQ(file.host.endOfStreamPosts, 3);
  EXPECT_EQ(file.host.lastWindow, 42);
}

TEST(OpeningAnalysis, ASeekResumesAtTheNextSequenceHeader) {
  StreamPlan plan;
  plan.headerPacket = 20;
  plan.videoPts = {90000, 93600};
  LoadedFile file;
  TsStream ts = ProgramStream(plan);
  const std::uint32_t secondHeader = static_cast<std::uint32_t>(ts.PacketCount());
  Mpeg2SequenceHeader header;
  ts.Pes(kVideoPid, PesBuilder(0xE0).Pts(97200).Payload(header.Build()).Build());
  ASSERT_EQ(file.Load(ts.Data()), S_OK);

  {  // what ChangeStart does
    std::lock_guard lock(file.pin.pinLock);
    file.pin.position = 25;
    file.pin.skipTarget = 26;
    file.pin.discontinuityPending = true;
  }
  BufferSample sample;
  ASSERT_EQ(ExaminePacket(file.filter, file.pin, &sample), S_OK);
  EXPECT_EQ(file.pin.position, secondHeader + 1);
  EXPECT_TRUE(sample.discontinuity);
  EXPECT_TRUE(sample.syncPoint);
  EXPECT_FALSE(file.pin.discontinuityPending);
}

TEST(OpeningAnalysis, WithoutTablesTheModelIsGuessedFromTheCensus) {
  StreamPlan plan;
  plan.psi = false;
  plan.headerPacket = 4;
  plan.videoPts.assign(20, 90000);
  LoadedFile file;
  ASSERT_EQ(file.Load(ProgramStream(plan).Data()), S_OK);
  const ProgramModel& model = file.filter.model;
  EXPECT_TRUE(model.noPmt);
  EXPECT_EQ(model.videoPid, kVideoPid);
  EXPECT_EQ(model.videoStreamType, 0xE0);
  ASSERT_EQ(model.audioTrackCount, 1u);
  EXPECT_EQ(model.audioTracks[0].pid, kAudioPid);
  EXPECT_STREQ(model.audioTracks[0].language, "eng");
  EXPECT_EQ(file.filter.audioPidInUse, kAudioPid);
}

// A recording of `packets` packets: PSI and a video PES with PTS `firstPts` at the start, one video
// PES with PTS `endPts` at packet `endPacket`, null packets elsewhere.
Bytes LongRecording(std::uint32_t packets, std::uint64_t firstPts, std::uint64_t endPts, std::uint32_t endPacket,
                    bool spoilPmtCrc = false) {
  StreamPlan plan;
  plan.headerPacket = 10;
  plan.videoPts = {firstPts};
  plan.spoilPmtCrc = spoilPmtCrc;
  TsStream ts = ProgramStream(plan);
  ts.NullPackets(endPacket - ts.PacketCount());
  ts.Pes(kVideoPid, PesBuilder(0xE0).Pts(endPts).Unbounded().Payload(Bytes(100, 0xAA)).Build());
  ts.NullPackets(packets - ts.PacketCount());
  return ts.Data();
}

TEST(OpeningAnalysis, MeasuresTheDurationInTheEndScanWindow) {
  struct Case {
    const char* name;
    std::uint32_t packets, endPacket;
    std::uint64_t firstPts, endPts;
    bool detLength;
    std::int64_t duration;
  };
  const std::uint64_t nearWrap = kPtsModulus - 90000;
  // 40000 packets: the end scan reads packets 20000.. and examines the first 10000 of them.
  // Fewer than 20000: the whole file is the end-scan window, its last video PTS counts even past
  // the first 10000 packets the analysis passes look at.
  const Case cases[] = {
      {"sixty seconds", 40000, 25000, 90000, 5490000, true, 600000000},
      {"clock wrapped", 40000, 25000, nearWrap, 90000, true, (180000 - 1) * 10000 / 90},
      {"DetLength off keeps the estimate", 40000, 25000, 90000, 5490000, false, EstimateDuration(40000ull * 188)},
      {"short file, last PTS past the passes", 15000, 14000, 90000, 5490000, true, 600000000},
      {"short file, clock wrapped", 15000, 14000, nearWrap, 90000, true, (180000 - 1) * 10000 / 90},
      {"short file, DetLength off", 15000, 14000, 90000, 5490000, false, EstimateDuration(15000ull * 188)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadedFile file;
    file.filter.settings.detLength = c.detLength;
    ASSERT_EQ(file.Load(LongRecording(c.packets, c.firstPts, c.endPts, c.endPacket)), S_OK);
    EXPECT_EQ(file.filter.duration, c.duration);
    EXPECT_EQ(file.pin.duration, c.duration);
    EXPECT_EQ(file.pin.stop, c.duration);
  }
}

TEST(OpeningAnalysis, IgnoreCrcUnderstandsADamagedPmtOnTheThirdPass) {
  for (const std::uint32_t ignoreCrc : {0u, 1u}) {
    SCOPED_TRACE(ignoreCrc);
    LoadedFile file;
    file.host.settings["IgnoreCRC"] = ignoreCrc;
    ASSERT_EQ(file.Load(LongRecording(40000, 90000, 180000, 12000, /*spoilPmtCrc=*/true)), S_OK);
    EXPECT_EQ(file.filter.settings.ignoreCrc, ignoreCrc);
    EXPECT_EQ(file.filter.model.noPmt, ignoreCrc == 0);
    EXPECT_EQ(file.filter.census.Find(kNullPid)->packets, 3u * (10000 - 8)) << "census counts packets 0..9999 three times";
    if (ignoreCrc) {
      EXPECT_STREQ(file.filter.model.audioTracks[0].language, "deu");
    }
  }
}

TEST(OpeningAnalysis, NeverDeliversBytesThatWereNotRead) {
  // 100 junk bytes shift the packets, so the last 188-byte unit the size promises is partial.
  Bytes bytes(100, 0x00);
  Append(bytes, IndexedPackets(300));
  bytes.resize(bytes.size() + 100, 0x47);
  LoadedFile file;
  ASSERT_EQ(file.Load(bytes), S_OK);
  HRESULT last = S_OK;
  EXPECT_EQ(file.Deliver(1000, &last).size(), 300u);
  EXPECT_EQ(last, S_FALSE);
}

TEST(OpeningAnalysis, FollowsAFileThatIsStillBeingWritten) {
  LoadedFile file;
  ASSERT_EQ(file.Load(IndexedPackets(300)), S_OK);
  Bytes more;
  for (std::uint32_t i = 300; i < 500; ++i) Append(more, IndexedPacket(0x200, i));
  file.AppendBytes(more);
  for (std::uint32_t i = 0; i < 500; ++i) {
    BufferSample sample;
    ASSERT_EQ(ExaminePacket(file.filter, file.pin, &sample), S_OK) << i;
    ASSERT_EQ(IndexOf(sample.data.data()), i);
  }
  BufferSample sample;
  EXPECT_EQ(ExaminePacket(file.filter, file.pin, &sample), S_FALSE);
}

TEST(OpeningAnalysis, ReadFailuresAndNonTransportStreamsAreVisible) {
  LoadedFile folder;
  EXPECT_EQ(LoadFile(folder.filter, folder.dir.c_str(), [&] { return &folder.pin; }), HRESULT_FROM_WIN32(21));

  LoadedFile junk;
  Bytes random(20000);
  std::uint32_t state = 12345;
  for (auto& b : random) {
    state = state * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(state >> 16);
  }
  EXPECT_EQ(junk.Load(random), S_OK);
  EXPECT_EQ(junk.host.notTransportStream, 1);

  LoadedFile missing;
  EXPECT_EQ(LoadFile(missing.filter, (missing.dir / "none.ts").c_str(), [&] { return &missing.pin; }), E_FAIL);
  EXPECT_EQ(LoadFile(missing.filter, missing.path.c_str(), [] { return static_cast<TsPinState*>(nullptr); }), E_FAIL);
  missing.Write(IndexedPackets(5));
  EXPECT_EQ(LoadFile(missing.filter, missing.path.c_str(), [] { return static_cast<TsPinState*>(nullptr); }),
            E_OUTOFMEMORY);
}

TEST(OpeningAnalysis, LargerSamplesGetOnePacketAndSmallerOnesAreRefused) {
  LoadedFile file;
  ASSERT_EQ(file.Load(IndexedPackets(3)), S_OK);
  BufferSample large(65536);
  ASSERT_EQ(ExaminePacket(file.filter, file.pin, &large), S_OK);
  EXPECT_EQ(large.actual, 188u);
  EXPECT_EQ(large.data[188], 0);
  BufferSample small(100);
  EXPECT_EQ(ExaminePacket(file.filter, file.pin, &small), E_FAIL);
}


TEST(OpeningAnalysis, TypedQueriesAnswerInsideTheTables) {
  LoadedFile file;
  ASSERT_EQ(file.Load(ProgramStream({}).Data()), S_OK);
  TsFilterState& f = file.filter;
  std::uint16_t tsid = 0, pid = 0;
  std::uint32_t value = 0;
  std::uint8_t type = 0;
  EXPECT_EQ(GetTransportStreamId(f, &tsid), S_OK);
  EXPECT_EQ(tsid, 7);
  EXPECT_EQ(GetProgramCount(f, &value), S_OK);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(GetProgramPmtPid(f, 0, &value), S_OK);
  EXPECT_EQ(value, kPmtPid);
  EXPECT_EQ(GetStreamCount(f, 1, &value), S_OK);
  EXPECT_EQ(value, 2u);
  EXPECT_EQ(GetStreamType(f, 1, 1, &type), S_OK);
  EXPECT_EQ(type, 3);
  EXPECT_EQ(GetStreamPid(f, 1, 0, &pid), S_OK);
  EXPECT_EQ(pid, kVideoPid);

  struct Case {
    const char* name;
    HRESULT hr;
  };
  const Case failures[] = {
      {"program index at the count", GetProgramNumber(f, 1, &value)},
      {"PMT PID index far beyond", GetProgramPmtPid(f, 0xFFFFFFFF, &value)},
      {"unknown program", GetPmtPid(f, 9, &value)},
      {"stream index at the count", GetStreamType(f, 1, 2, &type)},
      {"stream index beyond the records", GetStreamPid(f, 1, 5000, &pid)},
      {"missing out-pointer", GetPmtVersion(f, 1, nullptr)},
  };
  for (const Case& c : failures) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.hr, E_INVALIDARG);
  }

  StreamPlan plan;
  plan.psi = false;
  plan.headerPacket = 4;
  LoadedFile guessed;
  ASSERT_EQ(guessed.Load(ProgramStream(plan).Data()), S_OK);
  EXPECT_EQ(GetProgramNumber(guessed.filter, 3, &value), S_OK);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(GetStreamCount(guessed.filter, 1, &value), S_OK);
  EXPECT_EQ(value, 2u);
  EXPECT_EQ(GetStreamPid(guessed.filter, 1, 1, &pid), S_OK);
  EXPECT_EQ(pid, kAudioPid);
}

TEST(OpeningAnalysis, ElementaryVideoModeDeliversVideoPayloadOnly) {
  TsStream ts;
  ts.Pes(kAudioPid, PesBuilder(0xC0).Pts(900).Payload(Bytes(100, 0xC1)).Build());
  const Bytes pes = PesBuilder(0xE0).Pts(900).HeaderStuffing(3).Unbounded().Payload(Bytes(400, 0xE1)).Build();
  ts.Pes(kVideoPid, pes);  // a PES start, a full packet, then a packet with adaptation-field stuffing
  LoadedFile file;
  file.filter.settings.prefDemux = kPrefDemuxElementaryVideo;
  file.filter.model.videoPid = kVideoPid;  // as a PMT would have set it; this file carries none
  file.Write(ts.Data());
  ASSERT_EQ(LoadFile(file.filter, file.path.c_str(), [&] { return &file.pin; }), S_OK);
  file.filter.model.videoPid = kVideoPid;

  const std::size_t headerBytes = 9 + 5 + 3;
  std::size_t total = 0;
  for (;;) {
    BufferSample sample;
    if (ExaminePacket(file.filter, file.pin, &sample) != S_OK) break;
    for (std::size_t i = 0; i < sample.actual; ++i) ASSERT_EQ(sample.data[i], 0xE1) << "byte " << i;
    EXPECT_FALSE(sample.syncPoint);
    total += sample.actual;
  }
  EXPECT_EQ(total, pes.size() - headerBytes);
}

}  // namespace
}  // namespace tsfilter::test
