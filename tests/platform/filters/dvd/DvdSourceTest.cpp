#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/wstring.h"
#include "platform/dshow/ErrorText.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/Guids.h"
#include "platform/filters/AsyncReader.h"
#include "platform/filters/dvd/DvdSource.h"
#include "platform/dshow/Errors.h"
#include "tests/platform/filters/dvd/DvdSample.h"

namespace {

using dvdtest::Bytes;
using dvdtest::SampleCopy;

struct Loaded {
  ComPtr<IBaseFilter> filter;
  HRESULT status = E_FAIL;
  std::string problem;
};

Loaded Load(const std::string& path) {
  Loaded loaded;
  EXPECT_EQ(CoCreateInstance(CLSID_DVDNavigator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(loaded.filter.GetAddressOf())),
            S_OK);
  if (!loaded.filter) return loaded;
  ComPtr<IDvdControl2> control;
  EXPECT_EQ(loaded.filter.As(&control), S_OK);
  ComPtr<IFileSourceFilter> fileSource;
  EXPECT_NE(loaded.filter.As(&fileSource), S_OK) << "the engine tells the sources apart by this";
  loaded.status = control->SetDVDDirectory(Utf8ToUtf16(path).c_str());
  loaded.problem = static_cast<DvdSource*>(loaded.filter.Get())->LastProblem();
  return loaded;
}

ComPtr<IAsyncReader> Reader(IBaseFilter* filter) {
  ComPtr<IPin> pin;
  ComPtr<IAsyncReader> reader;
  EXPECT_EQ(filter->FindPin(u"Output", pin.GetAddressOf()), S_OK);
  if (pin) {
    EXPECT_EQ(pin.As(&reader), S_OK);
  }
  return reader;
}

// The whole stream as the demultiplexer would pull it, in blocks that do not fit the sectors.
Bytes ReadAll(IAsyncReader* reader, LONG block = 100000) {
  LONGLONG total = 0, available = 0;
  EXPECT_EQ(reader->Length(&total, &available), S_OK);
  Bytes bytes(static_cast<std::size_t>(total));
  for (LONGLONG pos = 0; pos < total; pos += block) {
    const LONG length = static_cast<LONG>(std::min<LONGLONG>(block, total - pos));
    EXPECT_EQ(reader->SyncRead(pos, length, bytes.data() + pos), S_OK) << pos;
  }
  return bytes;
}

// NAV packs carry times of their own that the delivered stream may leave as stored.
bool IsNavPack(const Bytes& stream, std::size_t sector) {
  const unsigned char* p = stream.data() + sector * 2048;
  return p[38] == 0 && p[39] == 0 && p[40] == 1 && p[41] == 0xBF;
}

TEST(DvdSource, DeliversTheTitleFromAnyWayOfNamingIt) {
  SampleCopy copy;
  const std::string lowerCase = copy.Root() + "/lower";
  std::filesystem::create_directory(lowerCase);
  for (const char* name : {"VTS_01_0.IFO", "VTS_01_1.VOB"}) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::filesystem::copy_file(copy.File(name), lowerCase + "/" + lower);
  }
  const Bytes vob = dvdtest::SampleVob();
  for (const std::string& path : {copy.File("VTS_01_0.IFO"), copy.VideoTs(), copy.Root(), copy.File("VIDEO_TS.IFO"),
                                  lowerCase + "/vts_01_0.ifo", lowerCase}) {
    SCOPED_TRACE(path);
    Loaded loaded = Load(path);
    ASSERT_EQ(loaded.status, S_OK) << loaded.problem;
    EXPECT_EQ(loaded.problem, "");
    ComPtr<IAsyncReader> reader = Reader(loaded.filter.Get());
    ASSERT_TRUE(reader);
    const Bytes stream = ReadAll(reader.Get());
    EXPECT_TRUE(stream == vob) << "two cells stored in play order are the VOB itself";
    BYTE tail[10];
    EXPECT_EQ(reader->SyncRead(static_cast<LONGLONG>(vob.size()) - 5, 10, tail), S_FALSE);
  }
}

TEST(DvdSource, DeliversCellsInPlayOrderAndKeepsTheClockContinuous) {
  const Bytes vob = dvdtest::SampleVob();
  struct Case {
    const char* name;
    bool outOfOrder;
    std::int64_t cell2ClockMove;
  } cases[] = {
      {"cells stored out of play order", true, 0},
      {"cell 2 with a clock of its own", false, 900000},
      {"cell 2 stored first with a clock behind cell 1", true, -40000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SampleCopy copy;
    if (c.cell2ClockMove != 0) copy.MoveCell2Clock(c.cell2ClockMove);
    if (c.outOfOrder) copy.StoreCellsOutOfOrder();
    Loaded loaded = Load(copy.File("VTS_01_0.IFO"));
    ASSERT_EQ(loaded.status, S_OK) << loaded.problem;
    for (LONG block : {LONG{2048 * 7}, LONG{3001}}) {
      const Bytes stream = ReadAll(Reader(loaded.filter.Get()).Get(), block);
      ASSERT_EQ(stream.size(), vob.size());
      for (std::size_t sector = 0; sector < dvdtest::kVobSectors; ++sector) {
        if (IsNavPack(vob, sector) && c.cell2ClockMove != 0) continue;
        ASSERT_TRUE(std::equal(vob.begin() + static_cast<std::ptrdiff_t>(sector * 2048),
                               vob.begin() + static_cast<std::ptrdiff_t>((sector + 1) * 2048),
                               stream.begin() + static_cast<std::ptrdiff_t>(sector * 2048)))
            << "sector " << sector << " differs from the sample";
      }
    }
  }
}

TEST(DvdSource, ADamagedTitleSetGivesAClearStatus) {
  using dvdtest::PutBe32;
  struct Case {
    const char* name;
    std::function<void(const SampleCopy&)> damage;
    HRESULT expected;
  };
  const Case cases[] = {
      {"missing VOB", [](const SampleCopy& c) { std::filesystem::remove(c.File("VTS_01_1.VOB")); }, DVD_E_VOB_MISSING},
      {"first VOB missing, a later one present",
       [](const SampleCopy& c) { std::filesystem::rename(c.File("VTS_01_1.VOB"), c.File("VTS_01_2.VOB")); },
       DVD_E_VOB_MISSING},
      {"VOB cut short", [](const SampleCopy& c) { std::filesystem::resize_file(c.File("VTS_01_1.VOB"), 100 * 2048); },
       DVD_E_CELL_TABLE},
      {"IFO and BUP cut short",
       [](const SampleCopy& c) {
         Bytes ifo = dvdtest::SampleIfo();
         ifo.resize(3000);
         c.WriteIfo(ifo);
       },
       DVD_E_IFO_DAMAGED},
      {"chain lying about a cell",
       [](const SampleCopy& c) {
         Bytes ifo = dvdtest::SampleIfo();
         PutBe32(ifo, dvdtest::kCellPlayback + 24 + 20, 5000);
         c.WriteIfo(ifo);
       },
       DVD_E_CELL_TABLE},
      {"both tables lying about a cell",
       [](const SampleCopy& c) {
         Bytes ifo = dvdtest::SampleIfo();
         PutBe32(ifo, dvdtest::kCellPlayback + 24 + 20, 5000);
         PutBe32(ifo, dvdtest::kCellAddresses + 12 + 8, 5000);
         c.WriteIfo(ifo);
       },
       DVD_E_CELL_TABLE},
      {"no title set in the folder",
       [](const SampleCopy& c) {
         std::filesystem::remove(c.File("VTS_01_0.IFO"));
         std::filesystem::remove(c.File("VTS_01_0.BUP"));
       },
       DVD_E_NO_TITLE_SET},
      {"encrypted VOB",
       [](const SampleCopy& c) {
         Bytes vob = dvdtest::ReadBytes(c.File("VTS_01_1.VOB"));
         // Sector 1 holds video: set the scrambling bits of its PES header.
         ASSERT_EQ(vob[2048 + 14 + 3], 0xE0);
         vob[2048 + 14 + 6] |= 0x10;
         dvdtest::WriteBytes(c.File("VTS_01_1.VOB"), vob);
       },
       DVD_E_ENCRYPTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SampleCopy copy;
    c.damage(copy);
    for (const std::string& path : {copy.File("VTS_01_0.IFO"), copy.VideoTs()}) {
      Loaded loaded = Load(path);
      EXPECT_EQ(loaded.status, c.expected) << loaded.problem;
      EXPECT_NE(loaded.problem, "");
      EXPECT_EQ(ErrorText(loaded.status).rfind("Unknown error", 0), std::string::npos) << "a text of its own";
      // Nothing to connect: the pin offers no type.
      ComPtr<IPin> pin;
      ASSERT_EQ(loaded.filter->FindPin(u"Output", pin.GetAddressOf()), S_OK);
      ComPtr<IEnumMediaTypes> types;
      ASSERT_EQ(pin->EnumMediaTypes(types.GetAddressOf()), S_OK);
      AM_MEDIA_TYPE* type = nullptr;
      EXPECT_NE(types->Next(1, &type, nullptr), S_OK);
    }
  }
}

// A damaged IFO is read from its BUP copy.
TEST(DvdSource, ReadsTheBackupWhenTheIfoIsDamaged) {
  SampleCopy copy;
  Bytes ifo = dvdtest::SampleIfo();
  ifo.resize(1000);
  dvdtest::WriteBytes(copy.File("VTS_01_0.IFO"), ifo);
  Loaded loaded = Load(copy.File("VTS_01_0.IFO"));
  EXPECT_EQ(loaded.status, S_OK) << loaded.problem;
}

}  // namespace
