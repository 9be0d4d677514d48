// A read that fails while the graph runs ends the stream with the graph's error event and the
// read's status: nothing after the failure is delivered, so the outputs hold only real bytes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/dshow/GraphInterfaces.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "tests/support/Command.h"
#include "tests/support/Fixtures.h"
#include "tests/tsfilter/graph/FlumettaGraph.h"

namespace flumgraph {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The descriptor this process holds open on `path` (the filter's reader), or -1.
int DescriptorOf(const fs::path& path) {
  int found = -1;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const fs::path target = fs::read_symlink(entry.path(), error);
    if (!error && target == path) found = std::stoi(entry.path().filename().string());
  }
  return found;
}

TEST(ReadFailure, EndsTheStreamWithAnErrorEventInsteadOfStaleBytes) {
  // More than one delivery block (10000 packets), so delivery must read again after Load.
  REQUIRE_FIXTURE(fixture, "long_60s.ts");
  REQUIRE_PROGRAM("ffmpeg");
  TemporaryRegistry registry;
  Modules modules;
  ASSERT_TRUE(modules.Problem().empty()) << modules.Problem();
  const fs::path dir = testsupport::MakeTempDir("flumetta-read-failure");
  const fs::path input = fs::canonical(dir) / "recording.ts";
  fs::copy_file(fixture, input);
  ASSERT_GT(fs::file_size(input) / 188, 10000u);

  FlumettaGraph g;
  ASSERT_EQ(g.Open(input.string()), S_OK);
  ASSERT_EQ(g.WriteOutputs((dir / "video").string(), (dir / "audio").string()), S_OK);

  // From now on the reader's descriptor can no longer read (it still knows its size): every
  // block read fails with the system's status.
  const int reader = DescriptorOf(input);
  ASSERT_GE(reader, 0);
  const int writeOnly = ::open(input.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(writeOnly, 0);
  ASSERT_EQ(::dup2(writeOnly, reader), reader);
  ::close(writeOnly);

  ComPtr<IMediaEventEx> events;
  ASSERT_EQ(g.graph->QueryInterface(IID_PPV_ARGS(events.GetAddressOf())), S_OK);
  EXPECT_EQ(g.RunToCompletion(), EC_ERRORABORT);
  LONG code = 0;
  LONG_PTR status = 0, unused = 0;
  bool aborted = false;
  while (events->GetEvent(&code, &status, &unused, 0) == S_OK) {
    if (code != EC_ERRORABORT) continue;
    aborted = true;
    EXPECT_EQ(static_cast<HRESULT>(status), HRESULT_FROM_WIN32(EBADF)) << "the failed read's own status";
  }
  EXPECT_TRUE(aborted);
  g.TearDown();

  // What was delivered is the start of the real stream: the first block, read at Load.
  const auto extracted = testsupport::RunCommand("ffmpeg -nostdin -v error -y -i " + testsupport::ShellQuote(fixture.string()) +
                                                 " -map 0:v:0 -c copy -f mpeg2video " +
                                                 testsupport::ShellQuote((dir / "video.ref").string()) + " 2>&1");
  ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
  const Bytes expected = ReadBytes(dir / "video.ref"), delivered = ReadBytes(dir / "video");
  EXPECT_GT(delivered.size(), 0u);
  EXPECT_LT(delivered.size(), expected.size());
  EXPECT_TRUE(std::equal(delivered.begin(), delivered.end(), expected.begin())) << "only bytes of the recording";
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
}  // namespace flumgraph
