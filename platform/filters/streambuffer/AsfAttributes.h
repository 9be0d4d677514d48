#pragma once
// A recording's file-level attributes, as the stream-buffer attribute interface sees them (name,
// type, value bytes), and where each lives in the header:
//   - the strings Title, Author, Copyright, Description and Rating: Content Description;
//   - GUID values: Metadata Library (stream 0, language 0);
//   - everything else: Extended Content Description.
// Value types in the file differ from the interface's codes and are mapped both ways; a BOOL is
// 4 bytes to the interface (and in the Extended Content Description), 2 in the Metadata Library.
// Metadata Library records that are not file-level attributes (another stream, a language) are
// kept as they are and written back unchanged.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dshow/StreamBufferInterfaces.h"
#include "platform/filters/streambuffer/AsfHeader.h"

namespace asf {

struct RecordingAttribute {
  std::u16string name;
  STREAMBUFFER_ATTR_DATATYPE type = STREAMBUFFER_TYPE_STRING;
  std::vector<std::uint8_t> value;  // strings: UTF-16LE with the terminator
};

class AttributeList {
 public:
  // Reads the attributes of a parsed header (`bytes` are the header's bytes).
  void Read(const std::uint8_t* bytes, const AsfHeader& header);

  std::size_t Count() const { return m_attributes.size(); }
  const RecordingAttribute& At(std::size_t i) const { return m_attributes[i]; }
  const RecordingAttribute* Find(std::u16string_view name) const;
  // Replaces the value of an attribute of that name, or adds one.
  void Set(RecordingAttribute attribute);

  // The objects that hold them: Content Description and Extended Content Description (each
  // empty when nothing goes there), and the Metadata Library (empty when it would hold nothing).
  std::vector<std::uint8_t> ContentDescription() const;
  std::vector<std::uint8_t> ExtendedContentDescription() const;
  std::vector<std::uint8_t> MetadataLibrary() const;

 private:
  void ReadContentDescription(const std::uint8_t* object, std::size_t size);
  void ReadExtendedContentDescription(const std::uint8_t* object, std::size_t size);
  void ReadMetadataLibrary(const std::uint8_t* object, std::size_t size);
  void AddIfNew(RecordingAttribute attribute);

  std::vector<RecordingAttribute> m_attributes;
  std::vector<std::vector<std::uint8_t>> m_otherLibraryRecords;  // kept verbatim
};

// True for the five names the Content Description holds.
bool IsContentDescriptionName(std::u16string_view name);

// Checks and normalises a value given to SetAttribute: sizes fixed by the type, strings cut at
// their terminator (never read past it) and ended with one. E_INVALIDARG when it cannot be stored.
HRESULT NormaliseAttributeValue(STREAMBUFFER_ATTR_DATATYPE type, const BYTE* value, WORD length,
                                std::vector<std::uint8_t>* stored);

}  // namespace asf
