#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/filters/BufferedFileWriter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class BufferedFileWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/writer-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    m_dir = dir;
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }
  std::string Path(const char* name) const { return (m_dir / name).string(); }
  static Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::path m_dir;
};

Bytes Pattern(std::size_t size, std::uint8_t seed) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 13);
  return b;
}

// Every mix of appends and positioned writes leaves the file as a plain in-memory model of it.
TEST_F(BufferedFileWriterTest, FileMatchesTheWritesInAnyMix) {
  struct Write {
    bool positioned;
    std::uint64_t offset;
    std::size_t size;
  };
  struct Case {
    const char* name;
    std::vector<Write> writes;
  } cases[] = {
      {"small appends across several buffers", {{false, 0, 3000}, {false, 0, 3000}, {false, 0, 5000}, {false, 0, 100}}},
      {"one write larger than the buffer", {{false, 0, 10}, {false, 0, 20000}, {false, 0, 10}}},
      {"header written in front at the end", {{true, 46, 5000}, {true, 5046, 7000}, {true, 0, 46}}},
      {"rewrite inside the buffered region", {{false, 0, 1000}, {true, 100, 50}, {false, 0, 10}}},
      {"write beyond the end leaves a hole", {{false, 0, 10}, {true, 9000, 10}}},
      {"rewrite of a region already on disk", {{false, 0, 9000}, {true, 10, 4000}, {false, 0, 5}}},
      {"rewrite of a region still being written behind", {{false, 0, 3000}, {false, 0, 3000}, {true, 100, 50}, {false, 0, 10}}},
      {"many hand-overs in a row", {{false, 0, 4000}, {false, 0, 4000}, {false, 0, 4000}, {false, 0, 4000}, {false, 0, 4000}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BufferedFileWriter writer(4096);
    const std::string path = Path("out.bin");
    ASSERT_EQ(writer.Open(path), S_OK);
    Bytes model;
    std::uint64_t appendAt = 0;
    std::uint8_t seed = 1;
    for (const Write& w : c.writes) {
      const Bytes data = Pattern(w.size, seed++);
      const std::uint64_t offset = w.positioned ? w.offset : appendAt;
      if (model.size() < offset + w.size) model.resize(offset + w.size, 0);
      std::copy(data.begin(), data.end(), model.begin() + static_cast<std::ptrdiff_t>(offset));
      if (w.positioned) {
        ASSERT_EQ(writer.WriteAt(w.offset, data.data(), data.size()), S_OK);
      } else {
        ASSERT_EQ(writer.Append(data.data(), data.size()), S_OK);
        appendAt += w.size;
      }
    }
    EXPECT_EQ(writer.Size(), model.size());
    ASSERT_EQ(writer.Close(), S_OK);
    EXPECT_EQ(ReadFile(path), model);
  }
}

TEST_F(BufferedFileWriterTest, ReportsWriteErrorsAndKeepsThem) {
  BufferedFileWriter missing;
  EXPECT_LT(missing.Open(Path("no-such-folder/out.bin")), 0);
  EXPECT_EQ(missing.Append("x", 1), E_UNEXPECTED);

  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full is not available";
  BufferedFileWriter full(4096);
  ASSERT_EQ(full.Open("/dev/full"), S_OK);
  const Bytes data = Pattern(1000, 1);
  EXPECT_EQ(full.Append(data.data(), data.size()), S_OK);  // still in the buffer
  const HRESULT diskFull = HresultFromErrno(ENOSPC);
  EXPECT_EQ(full.Flush(), diskFull);
  EXPECT_EQ(full.Append(data.data(), data.size()), diskFull);
  EXPECT_EQ(full.Close(), diskFull);

  // A buffer written behind fails on its own thread: the calls after it say so.
  BufferedFileWriter behind(4096);
  ASSERT_EQ(behind.Open("/dev/full"), S_OK);
  HRESULT seen = S_OK;
  for (int i = 0; i < 20 && seen == S_OK; ++i) seen = behind.Append(data.data(), data.size());
  if (seen == S_OK) seen = behind.Flush();
  EXPECT_EQ(seen, diskFull);
  EXPECT_EQ(behind.Append(data.data(), data.size()), diskFull);
  EXPECT_EQ(behind.Close(), diskFull);
}

}  // namespace
