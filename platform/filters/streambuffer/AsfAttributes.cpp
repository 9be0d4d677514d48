#include "platform/filters/streambuffer/AsfAttributes.h"

#include <algorithm>
#include <array>

#include "platform/filters/streambuffer/AsfBytes.h"
#include "platform/filters/streambuffer/AsfGuids.h"

namespace asf {
namespace {

constexpr std::array<std::u16string_view, 5> kContentDescriptionNames = {u"Title", u"Author", u"Copyright",
                                                                          u"Description", u"Rating"};
constexpr std::uint16_t kMaxAttributes = 0xFFFF;

// Value type codes as ASF objects store them.
enum AsfValueType : std::uint16_t { kAsfString = 0, kAsfBytes = 1, kAsfBool = 2, kAsfDword = 3, kAsfQword = 4, kAsfWord = 5, kAsfGuid = 6 };

std::uint16_t AsfCodeOf(STREAMBUFFER_ATTR_DATATYPE type) {
  switch (type) {
    case STREAMBUFFER_TYPE_STRING: return kAsfString;
    case STREAMBUFFER_TYPE_BINARY: return kAsfBytes;
    case STREAMBUFFER_TYPE_BOOL: return kAsfBool;
    case STREAMBUFFER_TYPE_DWORD: return kAsfDword;
    case STREAMBUFFER_TYPE_QWORD: return kAsfQword;
    case STREAMBUFFER_TYPE_WORD: return kAsfWord;
    case STREAMBUFFER_TYPE_GUID: return kAsfGuid;
  }
  return kAsfBytes;
}

// The interface's type for a stored value, and the value as the interface gives it; false for
// an unknown type or a size that does not fit it. A BOOL may be stored in 4 bytes (Extended
// Content Description) or 2 (metadata objects); the interface always sees 4.
bool FromStored(std::uint16_t code, const std::uint8_t* data, std::size_t size, RecordingAttribute* out) {
  out->value.assign(data, data + size);
  switch (code) {
    case kAsfString:
      out->type = STREAMBUFFER_TYPE_STRING;
      if (size % 2 != 0) out->value.pop_back();
      if (out->value.size() < 2 || out->value[out->value.size() - 1] != 0 || out->value[out->value.size() - 2] != 0) {
        out->value.push_back(0);
        out->value.push_back(0);
      }
      return true;
    case kAsfBytes: out->type = STREAMBUFFER_TYPE_BINARY; return true;
    case kAsfBool:
      if (size != 2 && size != 4) return false;
      out->type = STREAMBUFFER_TYPE_BOOL;
      out->value.assign(4, 0);
      out->value[0] = std::any_of(data, data + size, [](std::uint8_t b) { return b != 0; }) ? 1 : 0;
      return true;
    case kAsfDword: out->type = STREAMBUFFER_TYPE_DWORD; return size == 4;
    case kAsfQword: out->type = STREAMBUFFER_TYPE_QWORD; return size == 8;
    case kAsfWord: out->type = STREAMBUFFER_TYPE_WORD; return size == 2;
    case kAsfGuid: out->type = STREAMBUFFER_TYPE_GUID; return size == 16;
    default: return false;
  }
}

void PutName(AsfBuilder& out, std::u16string_view name) {
  out.U16(static_cast<std::uint16_t>(name.size() * 2 + 2));
  out.Utf16z(name);
}

}  // namespace

bool IsContentDescriptionName(std::u16string_view name) {
  return std::find(kContentDescriptionNames.begin(), kContentDescriptionNames.end(), name) != kContentDescriptionNames.end();
}

HRESULT NormaliseAttributeValue(STREAMBUFFER_ATTR_DATATYPE type, const BYTE* value, WORD length,
                                std::vector<std::uint8_t>* stored) {
  if (!value && length > 0) return E_POINTER;
  stored->clear();
  auto fixed = [&](WORD size) {
    if (length != size) return E_INVALIDARG;
    stored->assign(value, value + size);
    return S_OK;
  };
  switch (type) {
    case STREAMBUFFER_TYPE_STRING: {
      if (length < 2) return E_INVALIDARG;
      // Up to the terminator: a length that overstates the text must not read past it.
      for (std::size_t i = 0; i + 1 < length; i += 2) {
        if (value[i] == 0 && value[i + 1] == 0) break;
        stored->push_back(value[i]);
        stored->push_back(value[i + 1]);
      }
      if (stored->size() + 2 > 0xFFFF) return E_INVALIDARG;
      stored->push_back(0);
      stored->push_back(0);
      return S_OK;
    }
    case STREAMBUFFER_TYPE_BINARY:
      stored->assign(value, value + length);
      return S_OK;
    case STREAMBUFFER_TYPE_BOOL: {
      if (length != 4) return E_INVALIDARG;
      const bool on = value[0] || value[1] || value[2] || value[3];
      stored->assign({static_cast<std::uint8_t>(on ? 1 : 0), 0, 0, 0});
      return S_OK;
    }
    case STREAMBUFFER_TYPE_DWORD: return fixed(4);
    case STREAMBUFFER_TYPE_QWORD: return fixed(8);
    case STREAMBUFFER_TYPE_WORD: return fixed(2);
    case STREAMBUFFER_TYPE_GUID: return fixed(16);
  }
  return E_INVALIDARG;
}

void AttributeList::Read(const std::uint8_t* bytes, const AsfHeader& header) {
  m_attributes.clear();
  m_otherLibraryRecords.clear();
  for (const AsfObjectSpan& child : header.children) {
    if (child.id == kContentDescription) ReadContentDescription(bytes + child.offset, child.size);
    if (child.id == kExtendedContentDescription) ReadExtendedContentDescription(bytes + child.offset, child.size);
  }
  for (const AsfObjectSpan& child : header.extensionChildren) {
    if (child.id == kMetadataLibrary) ReadMetadataLibrary(bytes + child.offset, child.size);
  }
}

void AttributeList::AddIfNew(RecordingAttribute attribute) {
  if (!Find(attribute.name) && m_attributes.size() < kMaxAttributes) m_attributes.push_back(std::move(attribute));
}

void AttributeList::ReadContentDescription(const std::uint8_t* object, std::size_t size) {
  AsfCursor in(object, size);
  in.Skip(kObjectHeaderSize);
  std::uint16_t lengths[5];
  for (std::uint16_t& length : lengths) length = in.U16();
  for (std::size_t i = 0; i < 5 && in.Ok(); ++i) {
    const std::uint8_t* text = in.Bytes(lengths[i]);
    if (!in.Ok() || lengths[i] == 0) continue;
    RecordingAttribute attribute;
    attribute.name = kContentDescriptionNames[i];
    if (FromStored(kAsfString, text, lengths[i], &attribute) && attribute.value.size() > 2) AddIfNew(std::move(attribute));
  }
}

void AttributeList::ReadExtendedContentDescription(const std::uint8_t* object, std::size_t size) {
  AsfCursor in(object, size);
  in.Skip(kObjectHeaderSize);
  const std::uint16_t count = in.U16();
  for (std::uint16_t i = 0; i < count && in.Ok(); ++i) {
    RecordingAttribute attribute;
    attribute.name = in.Utf16(in.U16());
    const std::uint16_t type = in.U16();
    const std::uint16_t length = in.U16();
    const std::uint8_t* value = in.Bytes(length);
    if (!in.Ok()) break;
    if (!attribute.name.empty() && FromStored(type, value, length, &attribute)) AddIfNew(std::move(attribute));
  }
}

void AttributeList::ReadMetadataLibrary(const std::uint8_t* object, std::size_t size) {
  AsfCursor in(object, size);
  in.Skip(kObjectHeaderSize);
  const std::uint16_t count = in.U16();
  for (std::uint16_t i = 0; i < count && in.Ok(); ++i) {
    const std::uint8_t* record = in.Here();
    const std::uint16_t language = in.U16();
    const std::uint16_t stream = in.U16();
    const std::uint16_t nameLength = in.U16();
    const std::uint16_t type = in.U16();
    const std::uint32_t length = in.U32();
    RecordingAttribute attribute;
    attribute.name = in.Utf16(nameLength);
    const std::uint8_t* value = in.Bytes(length);
    if (!in.Ok()) break;
    const bool fileLevel = language == 0 && stream == 0 && length <= 0xFFFF && !attribute.name.empty();
    if (fileLevel && FromStored(type, value, length, &attribute)) {
      AddIfNew(std::move(attribute));
    } else {
      m_otherLibraryRecords.emplace_back(record, in.Here());
    }
  }
}

const RecordingAttribute* AttributeList::Find(std::u16string_view name) const {
  for (const RecordingAttribute& a : m_attributes)
    if (a.name == name) return &a;
  return nullptr;
}

void AttributeList::Set(RecordingAttribute attribute) {
  for (RecordingAttribute& a : m_attributes) {
    if (a.name == attribute.name) {
      a = std::move(attribute);
      return;
    }
  }
  m_attributes.push_back(std::move(attribute));
}

std::vector<std::uint8_t> AttributeList::ContentDescription() const {
  const RecordingAttribute* fields[5] = {};
  bool any = false;
  for (std::size_t i = 0; i < 5; ++i) {
    const RecordingAttribute* a = Find(kContentDescriptionNames[i]);
    if (a && a->type == STREAMBUFFER_TYPE_STRING) fields[i] = a, any = true;
  }
  if (!any) return {};
  AsfBuilder out;
  const std::size_t start = out.BeginObject(kContentDescription);
  for (const RecordingAttribute* a : fields) out.U16(a ? static_cast<std::uint16_t>(a->value.size()) : 0);
  for (const RecordingAttribute* a : fields)
    if (a) out.Append(a->value.data(), a->value.size());
  out.EndObject(start);
  return std::move(out.Bytes());
}

std::vector<std::uint8_t> AttributeList::ExtendedContentDescription() const {
  AsfBuilder out;
  const std::size_t start = out.BeginObject(kExtendedContentDescription);
  const std::size_t countAt = out.Size();
  out.U16(0);
  std::uint16_t count = 0;
  for (const RecordingAttribute& a : m_attributes) {
    if (a.type == STREAMBUFFER_TYPE_GUID) continue;
    if (a.type == STREAMBUFFER_TYPE_STRING && IsContentDescriptionName(a.name)) continue;
    PutName(out, a.name);
    out.U16(AsfCodeOf(a.type));
    out.U16(static_cast<std::uint16_t>(a.value.size()));
    out.Append(a.value.data(), a.value.size());
    ++count;
  }
  if (count == 0) return {};
  out.Patch(countAt, count, 2);
  out.EndObject(start);
  return std::move(out.Bytes());
}

std::vector<std::uint8_t> AttributeList::MetadataLibrary() const {
  AsfBuilder out;
  const std::size_t start = out.BeginObject(kMetadataLibrary);
  const std::size_t countAt = out.Size();
  out.U16(0);
  std::uint16_t count = 0;
  for (const RecordingAttribute& a : m_attributes) {
    if (a.type != STREAMBUFFER_TYPE_GUID) continue;
    out.U16(0);  // language
    out.U16(0);  // stream: the file
    out.U16(static_cast<std::uint16_t>(a.name.size() * 2 + 2));
    out.U16(kAsfGuid);
    out.U32(static_cast<std::uint32_t>(a.value.size()));
    out.Utf16z(a.name);
    out.Append(a.value.data(), a.value.size());
    ++count;
  }
  for (const auto& record : m_otherLibraryRecords) {
    if (count == kMaxAttributes) break;
    out.Append(record.data(), record.size());
    ++count;
  }
  if (count == 0) return {};
  out.Patch(countAt, count, 2);
  out.EndObject(start);
  return std::move(out.Bytes());
}

}  // namespace asf
