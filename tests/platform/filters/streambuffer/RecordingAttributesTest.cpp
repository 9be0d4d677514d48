// The recording attributes object: every value type stored and read back by a fresh object,
// values refused with their reasons, the buffers of the getters, and the header rewritten in
// place when it fits and by a safe copy when it grows, never losing the recording.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/wstring.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/filters/streambuffer/AsfFileReader.h"
#include "platform/filters/streambuffer/RecordingAttributes.h"
#include "tests/platform/filters/streambuffer/AsfTestFiles.h"
#include "tests/support/Fixtures.h"

namespace dvrtest {
namespace {

Bytes Wide(std::u16string_view text) {
  Bytes bytes;
  for (char16_t c : text) bytes.push_back(static_cast<std::uint8_t>(c)), bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  bytes.push_back(0), bytes.push_back(0);
  return bytes;
}

Bytes Le(std::uint64_t value, std::size_t width) {
  Bytes bytes;
  for (std::size_t i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return bytes;
}

class RecordingAttributesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = testsupport::MakeTempDir("sbe-attributes");
    m_path = m_dir / "rec.dvr-ms";
    std::unique_ptr<asf::RecordingFile> file;
    ASSERT_EQ(asf::RecordingFile::Create(m_path.string(), VideoAndAudio(), &file), S_OK);
    for (unsigned i = 0; i < 100; ++i) {
      const Bytes v = Pattern(20'000, i, SequenceStart());
      ASSERT_EQ(file->Write(0, {v.data(), v.size(), true, i * 400'000, true, i * 400'000, i % 12 == 0}), S_OK);
    }
    ASSERT_EQ(file->Finish(), S_OK);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  ComPtr<IStreamBufferRecordingAttribute> Open(HRESULT* loaded = nullptr) {
    ComPtr<IFileSourceFilter> file;
    EXPECT_EQ(CoCreateInstance(CLSID_StreamBufferRecordingAttributes, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(file.GetAddressOf())), S_OK);
    const HRESULT hr = file->Load(Utf8ToUtf16(m_path.string()).c_str(), nullptr);
    if (loaded) *loaded = hr;
    return file.As<IStreamBufferRecordingAttribute>();
  }
  static HRESULT Set(IStreamBufferRecordingAttribute* a, const char16_t* name, STREAMBUFFER_ATTR_DATATYPE type, Bytes value) {
    return a->SetAttribute(0, name, type, value.data(), static_cast<WORD>(value.size()));
  }
  static Bytes Get(IStreamBufferRecordingAttribute* a, const char16_t* name, STREAMBUFFER_ATTR_DATATYPE* type) {
    WORD length = 0;
    if (FAILED(a->GetAttributeByName(name, nullptr, type, nullptr, &length))) return {};
    Bytes value(length);
    EXPECT_EQ(a->GetAttributeByName(name, nullptr, type, value.data(), &length), S_OK);
    return value;
  }

  std::filesystem::path m_dir, m_path;
};

TEST_F(RecordingAttributesTest, EveryValueTypeIsReadBackByAFreshObject) {
  const GUID mediaClass = MakeGuid("{DB9830BD-3AB3-4FAB-8A37-1A995F7FF74B}");
  const Bytes guid(reinterpret_cast<const std::uint8_t*>(&mediaClass), reinterpret_cast<const std::uint8_t*>(&mediaClass) + 16);
  struct Case {
    const char16_t* name;
    STREAMBUFFER_ATTR_DATATYPE type;
    Bytes value;
  };
  const Case cases[] = {
      {u"Title", STREAMBUFFER_TYPE_STRING, Wide(u"Die Sendung \u00e4\u00f6")},  // in the content description
      {u"WM/Genre", STREAMBUFFER_TYPE_STRING, Wide(u"Movie")},
      {u"WM/MediaIsLive", STREAMBUFFER_TYPE_BOOL, Le(1, 4)},
      {u"WM/Count", STREAMBUFFER_TYPE_DWORD, Le(0xDEADBEEF, 4)},
      {u"WM/WMRVEncodeTime", STREAMBUFFER_TYPE_QWORD, Le(633083985000000000ull, 8)},  // beyond 32 bits
      {u"WM/Small", STREAMBUFFER_TYPE_WORD, Le(0xBEEF, 2)},
      {u"WM/MediaClassPrimaryID", STREAMBUFFER_TYPE_GUID, guid},  // in the metadata library
      {u"WM/Blob", STREAMBUFFER_TYPE_BINARY, Pattern(300, 7)},
  };
  {
    ComPtr<IStreamBufferRecordingAttribute> a = Open();
    for (const Case& c : cases) EXPECT_EQ(Set(a.Get(), c.name, c.type, c.value), S_OK) << Utf16ToUtf8(c.name);
    EXPECT_EQ(Set(a.Get(), u"WM/Genre", STREAMBUFFER_TYPE_STRING, Wide(u"Drama")), S_OK) << "replaced, not added";
  }
  ComPtr<IStreamBufferRecordingAttribute> a = Open();
  WORD count = 0;
  ASSERT_EQ(a->GetAttributeCount(0, &count), S_OK);
  EXPECT_EQ(count, std::size(cases));
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.name));
    STREAMBUFFER_ATTR_DATATYPE type{};
    const Bytes value = Get(a.Get(), c.name, &type);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(value, std::u16string_view(c.name) == u"WM/Genre" ? Wide(u"Drama") : c.value);
  }
  // By index: every name once.
  std::vector<std::u16string> names;
  for (WORD i = 0; i < count; ++i) {
    WCHAR name[64];
    WORD nameLength = 64, length = 0;
    STREAMBUFFER_ATTR_DATATYPE type{};
    ASSERT_EQ(a->GetAttributeByIndex(i, nullptr, name, &nameLength, &type, nullptr, &length), S_OK);
    names.emplace_back(name);
  }
  for (const Case& c : cases) EXPECT_EQ(std::count(names.begin(), names.end(), c.name), 1) << Utf16ToUtf8(c.name);
}

TEST_F(RecordingAttributesTest, ValuesThatCannotBeStoredAreRefused) {
  ComPtr<IStreamBufferRecordingAttribute> a = Open();
  struct Case {
    const char* name;
    STREAMBUFFER_ATTR_DATATYPE type;
    WORD length;
    HRESULT expected;
  };
  const Case cases[] = {
      {"BOOL of 2 bytes", STREAMBUFFER_TYPE_BOOL, 2, E_INVALIDARG},
      {"DWORD of 3 bytes", STREAMBUFFER_TYPE_DWORD, 3, E_INVALIDARG},
      {"QWORD of 4 bytes", STREAMBUFFER_TYPE_QWORD, 4, E_INVALIDARG},
      {"GUID of 8 bytes", STREAMBUFFER_TYPE_GUID, 8, E_INVALIDARG},
      {"WORD of 4 bytes", STREAMBUFFER_TYPE_WORD, 4, E_INVALIDARG},
      {"string of 1 byte", STREAMBUFFER_TYPE_STRING, 1, E_INVALIDARG},
      {"an unknown type", static_cast<STREAMBUFFER_ATTR_DATATYPE>(9), 4, E_INVALIDARG},
  };
  BYTE value[16] = {1};
  for (const Case& c : cases) EXPECT_EQ(a->SetAttribute(0, u"Name", c.type, value, c.length), c.expected) << c.name;
  EXPECT_EQ(a->SetAttribute(0, nullptr, STREAMBUFFER_TYPE_DWORD, value, 4), E_POINTER);
  EXPECT_EQ(a->SetAttribute(0, u"", STREAMBUFFER_TYPE_DWORD, value, 4), E_INVALIDARG);
  EXPECT_EQ(a->SetAttribute(0, u"Name", STREAMBUFFER_TYPE_DWORD, nullptr, 4), E_POINTER);
  WORD count = 1;
  ASSERT_EQ(a->GetAttributeCount(0, &count), S_OK);
  EXPECT_EQ(count, 0);
  // Nothing loaded: nowhere to write.
  ComPtr<IStreamBufferRecordingAttribute> unloaded;
  ASSERT_EQ(CoCreateInstance(CLSID_StreamBufferRecordingAttributes, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(unloaded.GetAddressOf())), S_OK);
  EXPECT_EQ(unloaded->SetAttribute(0, u"Name", STREAMBUFFER_TYPE_DWORD, value, 4), E_UNEXPECTED);
}

TEST_F(RecordingAttributesTest, AStringIsTakenUpToItsTerminatorWhateverItsLengthSays) {
  ComPtr<IStreamBufferRecordingAttribute> a = Open();
  // Exactly the text and its terminator in their own block, with a length far beyond (as a
  // length counted in bytes of another encoding would be): nothing after the terminator is read.
  auto block = std::make_unique<char16_t[]>(3);
  std::memcpy(block.get(), u"ab", 6);
  ASSERT_EQ(a->SetAttribute(0, u"WM/Genre", STREAMBUFFER_TYPE_STRING, reinterpret_cast<BYTE*>(block.get()), 200), S_OK);
  // A length without a terminator inside gets one.
  ASSERT_EQ(a->SetAttribute(0, u"WM/Language", STREAMBUFFER_TYPE_STRING, reinterpret_cast<BYTE*>(block.get()), 4), S_OK);
  STREAMBUFFER_ATTR_DATATYPE type{};
  EXPECT_EQ(Get(a.Get(), u"WM/Genre", &type), Wide(u"ab"));
  EXPECT_EQ(Get(a.Get(), u"WM/Language", &type), Wide(u"ab"));
}

TEST_F(RecordingAttributesTest, GettersSayTheSizeTheyNeed) {
  ComPtr<IStreamBufferRecordingAttribute> a = Open();
  ASSERT_EQ(Set(a.Get(), u"WM/Genre", STREAMBUFFER_TYPE_STRING, Wide(u"Movie")), S_OK);
  STREAMBUFFER_ATTR_DATATYPE type{};
  BYTE small[4];
  WORD length = sizeof small;
  EXPECT_EQ(a->GetAttributeByName(u"WM/Genre", nullptr, &type, small, &length), E_INVALIDARG);
  EXPECT_EQ(length, 12);
  EXPECT_EQ(a->GetAttributeByName(u"WM/Missing", nullptr, &type, nullptr, &length), kAttributeNotFound);
  WCHAR name[4];
  WORD nameLength = 4;
  EXPECT_EQ(a->GetAttributeByIndex(0, nullptr, name, &nameLength, &type, nullptr, &length), E_INVALIDARG);
  EXPECT_EQ(nameLength, 9);
  EXPECT_EQ(a->GetAttributeByIndex(1, nullptr, nullptr, &nameLength, &type, nullptr, &length), kAttributeNotFound);
}

TEST_F(RecordingAttributesTest, TheConvertersSetFitsInPlaceAndLeavesTheRecordingUntouched) {
  const Bytes before = ReadBytes(m_path);
  asf::AsfFileReader reader;
  ASSERT_EQ(reader.Open(m_path.string()), S_OK);
  const std::size_t headerSize = reader.Header().size;
  {
    ComPtr<IStreamBufferRecordingAttribute> a = Open();
    ASSERT_EQ(Set(a.Get(), u"Title", STREAMBUFFER_TYPE_STRING, Wide(u"rec")), S_OK);
    for (const char16_t* text : {u"WM/Genre", u"WM/Language", u"WM/ProviderCopyright", u"WM/ApplicationCopyright"})
      ASSERT_EQ(Set(a.Get(), text, STREAMBUFFER_TYPE_STRING, Wide(std::u16string(120, u'x'))), S_OK);
    for (const char16_t* flag : {u"WM/MediaIsDelay", u"WM/MediaIsFinale", u"WM/MediaIsLive", u"WM/MediaIsPremiere",
                                 u"WM/MediaIsRepeat", u"WM/MediaIsSAP", u"WM/VideoClosedCaptioning",
                                 u"WM/WMRVContentProtected", u"WM/WMRVHDContent"})
      ASSERT_EQ(Set(a.Get(), flag, STREAMBUFFER_TYPE_BOOL, Le(0, 4)), S_OK);
    ASSERT_EQ(Set(a.Get(), u"WM/MediaClassPrimaryID", STREAMBUFFER_TYPE_GUID, Pattern(16, 1)), S_OK);
    ASSERT_EQ(Set(a.Get(), u"WM/MediaClassSecondaryID", STREAMBUFFER_TYPE_GUID, Pattern(16, 2)), S_OK);
    ASSERT_EQ(Set(a.Get(), u"WM/WMRVEncodeTime", STREAMBUFFER_TYPE_QWORD, Le(1, 8)), S_OK);
    ASSERT_EQ(Set(a.Get(), u"WM/WMRVEndTime", STREAMBUFFER_TYPE_QWORD, Le(2, 8)), S_OK);
  }
  const Bytes after = ReadBytes(m_path);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(std::equal(after.begin() + static_cast<std::ptrdiff_t>(headerSize), after.end(),
                         before.begin() + static_cast<std::ptrdiff_t>(headerSize)));
  EXPECT_EQ(ReadObjects(m_path).objects.size(), 100u);
}

TEST_F(RecordingAttributesTest, AGrowingHeaderIsWrittenByACopyThatAFullDiskCannotSpoil) {
  const Bytes before = ReadBytes(m_path);
  {
    // The disk is full: the attribute that needs more room fails, the recording stays as it was
    // and nothing is left beside it; one that fits still goes in place.
    FileSizeLimit limit(before.size());
    ComPtr<IStreamBufferRecordingAttribute> a = Open();
    EXPECT_TRUE(FAILED(Set(a.Get(), u"WM/Picture", STREAMBUFFER_TYPE_BINARY, Pattern(40'000, 3))));
    EXPECT_EQ(ReadBytes(m_path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir), std::filesystem::directory_iterator()), 1);
    EXPECT_EQ(Set(a.Get(), u"WM/Genre", STREAMBUFFER_TYPE_STRING, Wide(u"Movie")), S_OK);
    STREAMBUFFER_ATTR_DATATYPE type{};
    WORD length = 0;
    EXPECT_EQ(a->GetAttributeByName(u"WM/Picture", nullptr, &type, nullptr, &length), kAttributeNotFound);
  }
  ComPtr<IStreamBufferRecordingAttribute> a = Open();
  ASSERT_EQ(Set(a.Get(), u"WM/Picture", STREAMBUFFER_TYPE_BINARY, Pattern(40'000, 3)), S_OK);
  EXPECT_GT(std::filesystem::file_size(m_path), before.size() + 40'000);
  const ReadResult read = ReadObjects(m_path);
  ASSERT_EQ(read.objects.size(), 100u);
  EXPECT_EQ(read.objects[99].data, Pattern(20'000, 99, SequenceStart()));
  asf::AsfFileReader reader;
  ASSERT_EQ(reader.Open(m_path.string()), S_OK);
  EXPECT_EQ(reader.Header().file.fileSize, std::filesystem::file_size(m_path));
  EXPECT_FALSE(reader.Index().Empty()) << "the index after the data moved along";
  ComPtr<IStreamBufferRecordingAttribute> again = Open();
  STREAMBUFFER_ATTR_DATATYPE type{};
  EXPECT_EQ(Get(again.Get(), u"WM/Picture", &type), Pattern(40'000, 3));
  EXPECT_EQ(Get(again.Get(), u"WM/Genre", &type), Wide(u"Movie"));
}

}  // namespace
}  // namespace dvrtest
