#pragma once
// The recording attributes object (CLSID_StreamBufferRecordingAttributes): IFileSourceFilter::Load
// of a recording, then IStreamBufferRecordingAttribute over the attributes in its header. Each
// SetAttribute is written to the file at once (see HeaderRewriter for how the recording is kept
// safe); when the write fails the attribute is not set and the status is returned.
//
// Types and sizes: STRING is UTF-16 text whose length counts bytes; it is taken up to its
// terminator (a length beyond the terminator is not read) and kept with one. BOOL 4 bytes, DWORD
// 4, QWORD 8, WORD 2, GUID 16, BINARY any. Names are compared exactly.
#include <mutex>
#include <string>

#include "platform/com/unknown.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/dshow/StreamBufferInterfaces.h"
#include "platform/filters/streambuffer/AsfAttributes.h"

// No attribute of that name or index.
inline constexpr HRESULT kAttributeNotFound = HRESULT_FROM_WIN32(1168);  // ERROR_NOT_FOUND

class RecordingAttributes final : public ComObject<IFileSourceFilter, IStreamBufferRecordingAttribute> {
 public:
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

  // IFileSourceFilter
  STDMETHODIMP Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) override;

  // IStreamBufferRecordingAttribute
  STDMETHODIMP SetAttribute(ULONG reserved, LPCWSTR name, STREAMBUFFER_ATTR_DATATYPE type, BYTE* value,
                            WORD length) override;
  STDMETHODIMP GetAttributeCount(ULONG reserved, WORD* count) override;
  STDMETHODIMP GetAttributeByName(LPCWSTR name, ULONG* reserved, STREAMBUFFER_ATTR_DATATYPE* type, BYTE* value,
                                  WORD* length) override;
  STDMETHODIMP GetAttributeByIndex(WORD index, ULONG* reserved, WCHAR* name, WORD* nameLength,
                                   STREAMBUFFER_ATTR_DATATYPE* type, BYTE* value, WORD* length) override;

 private:
  RecordingAttributes() = default;
  ~RecordingAttributes() override = default;
  static HRESULT CopyValue(const asf::RecordingAttribute& attribute, STREAMBUFFER_ATTR_DATATYPE* type, BYTE* value,
                           WORD* length);

  std::mutex m_lock;
  std::string m_path;
  std::u16string m_fileName;
  asf::AttributeList m_attributes;
};
