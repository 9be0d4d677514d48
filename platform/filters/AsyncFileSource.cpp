#include "platform/filters/AsyncFileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/com/wstring.h"

HRESULT AsyncFileSource::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* filter = new AsyncFileSource(nullptr);
  filter->NonDelegatingAddRef();
  HRESULT hr = filter->NonDelegatingQueryInterface(riid, ppv);
  filter->NonDelegatingRelease();
  return hr;
}

AsyncFileSource::AsyncFileSource(IUnknown* outer) : CBaseFilter("File Source (Async.)", outer, &m_lock, CLSID_AsyncReader) {
  HRESULT hr = S_OK;
  m_output = std::make_unique<PullOutputPin>("Async output", this, static_cast<PullStreamSource*>(this), &m_lock, &hr);
}

AsyncFileSource::~AsyncFileSource() {
  if (m_fd >= 0) ::close(m_fd);
}

HRESULT AsyncFileSource::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IFileSourceFilter::kIid) return GetInterface(static_cast<IFileSourceFilter*>(this), ppv);
  return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

GUID AsyncFileSource::SniffSubtype(const BYTE* data, std::size_t size) {
  if (size >= 5 && data[0] == 0 && data[1] == 0 && data[2] == 1 && data[3] == 0xBA) {
    if ((data[4] & 0xC0) == 0x40) return MEDIASUBTYPE_MPEG2_PROGRAM;
    if ((data[4] & 0xF0) == 0x20) return MEDIASUBTYPE_MPEG1System;
  }
  if (size >= 2 * 188 + 1 && data[0] == 0x47 && data[188] == 0x47 && data[376] == 0x47) return MEDIASUBTYPE_MPEG2_TRANSPORT;
  return GUID_NULL;
}

STDMETHODIMP AsyncFileSource::Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) {
  if (!fileName) return E_POINTER;
  CAutoLock lock(&m_lock);
  if (m_output->IsConnected()) return VFW_E_ALREADY_CONNECTED;
  const std::string path = Utf16ToUtf8(fileName);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return HresultFromErrno(errno);
  if (m_fd >= 0) ::close(m_fd);
  m_fd = fd;
  m_fileName = fileName;
  m_type.InitMediaType();
  if (type && type->majortype != GUID_NULL) {
    m_type = *type;
    return S_OK;
  }
  BYTE head[2 * 188 + 1] = {};
  const ssize_t got = ::pread(m_fd, head, sizeof head, 0);
  m_type.SetType(&MEDIATYPE_Stream);
  const GUID subtype = SniffSubtype(head, got > 0 ? static_cast<std::size_t>(got) : 0);
  m_type.SetSubtype(&subtype);
  return S_OK;
}

STDMETHODIMP AsyncFileSource::GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) {
  if (!fileName) return E_POINTER;
  CAutoLock lock(&m_lock);
  *fileName = nullptr;
  if (type) *type = AM_MEDIA_TYPE{};
  if (m_fd < 0) return E_FAIL;
  *fileName = CoTaskMemDupWide(m_fileName);
  if (type) CopyMediaType(type, &m_type);
  return *fileName ? S_OK : E_OUTOFMEMORY;
}

HRESULT AsyncFileSource::ReadAt(LONGLONG position, LONG length, BYTE* buffer) {
  if (!buffer) return E_POINTER;
  if (position < 0 || length < 0) return E_INVALIDARG;
  if (m_fd < 0) return E_UNEXPECTED;
  std::size_t done = 0;
  while (done < static_cast<std::size_t>(length)) {
    const ssize_t got = ::pread(m_fd, buffer + done, static_cast<std::size_t>(length) - done,
                                static_cast<off_t>(position + static_cast<LONGLONG>(done)));
    if (got < 0) {
      if (errno == EINTR) continue;
      return HresultFromErrno(errno);
    }
    if (got == 0) return S_FALSE;
    done += static_cast<std::size_t>(got);
  }
  return S_OK;
}

HRESULT AsyncFileSource::StreamLength(LONGLONG* length) {
  if (m_fd < 0) return E_UNEXPECTED;
  struct stat info {};
  if (::fstat(m_fd, &info) != 0) return HresultFromErrno(errno);
  *length = info.st_size;
  return S_OK;
}
