#include "platform/filters/dvd/DvdSource.h"

#include <fstream>
#include <iterator>

#include "platform/com/wstring.h"
#include "platform/dshow/Errors.h"
#include "platform/filters/dvd/TitleSetFiles.h"

namespace {

constexpr std::streamsize kLargestIfo = 16 * 1024 * 1024;  // far above any real title set's

HRESULT StatusFor(dvd::IfoStatus status) {
  switch (status) {
    case dvd::IfoStatus::Ok:
      return S_OK;
    case dvd::IfoStatus::NotATitleSet:
      return DVD_E_NO_TITLE_SET;
    case dvd::IfoStatus::BadTable:
      return DVD_E_CELL_TABLE;
    case dvd::IfoStatus::Truncated:
    case dvd::IfoStatus::NoTitle:
      break;
  }
  return DVD_E_IFO_DAMAGED;
}

std::vector<std::uint8_t> ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes;
  char buffer[64 * 1024];
  while (in && static_cast<std::streamsize>(bytes.size()) < kLargestIfo) {
    in.read(buffer, sizeof buffer);
    bytes.insert(bytes.end(), buffer, buffer + in.gcount());
  }
  return bytes;
}

// The title set's information from its .IFO, or from the .BUP copy when the .IFO is missing or
// does not read; the .IFO's problem is the one reported when neither reads.
HRESULT ReadTitleSetInformation(const std::string& folder, int titleSet, dvd::DvdTitleSet* info, std::string* problem) {
  HRESULT first = S_OK;
  for (const char* extension : {"IFO", "BUP"}) {
    const std::string name = dvd::TitleSetFileName(titleSet, 0, extension);
    const std::string path = dvd::FindFileInFolder(folder, name);
    if (path.empty()) continue;
    const std::vector<std::uint8_t> bytes = ReadSmallFile(path);
    const dvd::IfoStatus status = dvd::ReadTitleSetIfo(bytes.data(), bytes.size(), info);
    if (status == dvd::IfoStatus::Ok) return S_OK;
    if (first == S_OK) {
      first = StatusFor(status);
      *problem = name + ": " + dvd::IfoStatusText(status);
    }
  }
  if (first == S_OK) {
    *problem = dvd::TitleSetFileName(titleSet, 0, "IFO") + " is missing in " + folder;
    return DVD_E_NO_TITLE_SET;
  }
  return first;
}

}  // namespace

// ---- output pin ----

// ---- filter ----

HRESULT DvdSource::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* filter = new DvdSource(nullptr);
  filter->NonDelegatingAddRef();
  HRESULT hr = filter->NonDelegatingQueryInterface(riid, ppv);
  filter->NonDelegatingRelease();
  return hr;
}

DvdSource::DvdSource(IUnknown* outer) : CBaseFilter("DVD source", outer, &m_lock, CLSID_DVDNavigator) {
  HRESULT hr = S_OK;
  m_type.InitMediaType();
  m_type.SetType(&MEDIATYPE_Stream);
  m_type.SetSubtype(&MEDIASUBTYPE_MPEG2_PROGRAM);
  m_output = std::make_unique<PullOutputPin>("DVD output", this, static_cast<PullStreamSource*>(this), &m_lock, &hr);
}

HRESULT DvdSource::ReadAt(LONGLONG position, LONG length, BYTE* buffer) {
  if (!buffer) return E_POINTER;
  if (position < 0 || length < 0) return E_INVALIDARG;
  if (!m_stream) return E_UNEXPECTED;
  return m_stream->Read(static_cast<std::uint64_t>(position), static_cast<std::size_t>(length), buffer);
}

HRESULT DvdSource::StreamLength(LONGLONG* length) {
  if (!length) return E_POINTER;
  if (!m_stream) return E_UNEXPECTED;
  *length = static_cast<LONGLONG>(m_stream->Length());
  return S_OK;
}

DvdSource::~DvdSource() = default;

HRESULT DvdSource::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IDvdControl2::kIid) return GetInterface(static_cast<IDvdControl2*>(this), ppv);
  return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

std::string DvdSource::LastProblem() {
  CAutoLock lock(&m_lock);
  return m_problem;
}

HRESULT DvdSource::OpenTitleSet(const std::string& folder, int titleSet, std::unique_ptr<dvd::TitleStream>* stream,
                                std::string* problem) {
  dvd::DvdTitleSet info;
  HRESULT hr = ReadTitleSetInformation(folder, titleSet, &info, problem);
  if (FAILED(hr)) return hr;
  auto opened = std::make_unique<dvd::TitleStream>();
  hr = opened->Open(folder, titleSet, *info.LongestTitle(), problem);
  if (FAILED(hr)) return hr;
  *stream = std::move(opened);
  return S_OK;
}

STDMETHODIMP DvdSource::SetDVDDirectory(LPCWSTR path) {
  if (!path) return E_POINTER;
  CAutoLock lock(&m_lock);
  // The demultiplexer reads the stream while connected: it must not change under it.
  if (m_output->IsConnected()) return VFW_E_ALREADY_CONNECTED;
  m_stream.reset();
  m_problem.clear();
  const std::string given = Utf16ToUtf8(path);
  dvd::TitleSetLocation location;
  if (!dvd::LocateTitleSets(given, &location)) {
    m_problem = "no DVD title set (VTS_nn_0.IFO) at " + given;
    return DVD_E_NO_TITLE_SET;
  }
  // Of several title sets the longest title is taken; the first failure is reported when none reads.
  HRESULT failure = S_OK;
  for (int titleSet : location.titleSets) {
    std::unique_ptr<dvd::TitleStream> stream;
    std::string problem;
    const HRESULT hr = OpenTitleSet(location.folder, titleSet, &stream, &problem);
    if (FAILED(hr)) {
      if (failure == S_OK) {
        failure = hr;
        m_problem = problem;
      }
      continue;
    }
    if (!m_stream || stream->Length() > m_stream->Length()) m_stream = std::move(stream);
  }
  if (!m_stream) return failure;
  m_problem.clear();
  return S_OK;
}
