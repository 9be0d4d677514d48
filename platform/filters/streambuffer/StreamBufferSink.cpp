#include "platform/filters/streambuffer/StreamBufferSink.h"

#include <string>

#include "platform/com/comptr.h"
#include "platform/com/wstring.h"
#include "platform/filters/streambuffer/StreamBufferRecorder.h"

// ---- input pin ----

StreamBufferInputPin::StreamBufferInputPin(StreamBufferSink* sink, CCritSec* lock, HRESULT* result, LPCWSTR name,
                                           int index)
    : CBaseInputPin("Stream buffer input", sink, lock, result, name), m_sink(sink), m_index(index) {}

HRESULT StreamBufferInputPin::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  const asf::PinStreamKind kind = asf::StreamKindOf(*type);
  if (kind == asf::PinStreamKind::None || !m_sink->AcceptsStream(this, kind)) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT StreamBufferInputPin::GetMediaType(int position, CMediaType* type) {
  if (!type) return E_POINTER;
  return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;  // the upstream pin proposes the type
}

HRESULT StreamBufferInputPin::CheckConnect(IPin* pin) {
  if (m_sink->IsLocked()) return VFW_E_WRONG_STATE;  // the recorded streams are fixed
  return CBaseInputPin::CheckConnect(pin);
}

HRESULT StreamBufferInputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = CBaseInputPin::CompleteConnect(receivePin);
  if (SUCCEEDED(hr)) m_sink->EnsureFreePin();
  return hr;
}

bool StreamBufferInputPin::IsPaired() {
  IPin* peer = GetConnected();
  if (!peer) return false;
  ComPtr<IPin> back;
  return SUCCEEDED(peer->ConnectedTo(back.GetAddressOf())) && back.Get() == static_cast<IPin*>(this);
}

STDMETHODIMP StreamBufferInputPin::Receive(IMediaSample* sample) {
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  return m_sink->OnSample(this, sample);
}

STDMETHODIMP StreamBufferInputPin::EndOfStream() {
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  m_ended = true;
  m_sink->OnEndOfStream(this);
  return S_OK;
}

STDMETHODIMP StreamBufferInputPin::EndFlush() {
  m_ended = false;
  m_sink->OnEndFlush();
  return CBaseInputPin::EndFlush();
}

// ---- filter ----

HRESULT StreamBufferSink::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* sink = new StreamBufferSink(nullptr);
  sink->NonDelegatingAddRef();
  HRESULT hr = sink->NonDelegatingQueryInterface(riid, ppv);
  sink->NonDelegatingRelease();
  return hr;
}

StreamBufferSink::StreamBufferSink(IUnknown* outer)
    : CBaseFilter("StreamBufferSink", outer, &m_lock, CLSID_StreamBufferSink) {
  EnsureFreePin();
}

StreamBufferSink::~StreamBufferSink() {
  std::lock_guard record(m_recordLock);
  FinishRecordingLocked();
}

HRESULT StreamBufferSink::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IStreamBufferSink::kIid) return GetInterface(static_cast<IStreamBufferSink*>(this), ppv);
  if (riid == IAMFilterMiscFlags::kIid) return GetInterface(static_cast<IAMFilterMiscFlags*>(this), ppv);
  return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int StreamBufferSink::GetPinCount() {
  CAutoLock lock(&m_lock);
  return static_cast<int>(m_pins.size());
}

CBasePin* StreamBufferSink::GetPin(int n) {
  CAutoLock lock(&m_lock);
  if (n < 0 || n >= static_cast<int>(m_pins.size())) return nullptr;
  return m_pins[static_cast<std::size_t>(n)].get();
}

void StreamBufferSink::EnsureFreePin() {
  CAutoLock lock(&m_lock);
  for (const auto& pin : m_pins) {
    if (!pin->IsConnected()) return;
  }
  const int index = static_cast<int>(m_pins.size());
  const std::u16string name = Utf8ToUtf16("DVR In - " + std::to_string(index + 1));
  HRESULT hr = S_OK;
  m_pins.push_back(std::make_unique<StreamBufferInputPin>(this, &m_lock, &hr, name.c_str(), index));
  IncrementPinVersion();
}

bool StreamBufferSink::AcceptsStream(const StreamBufferInputPin* pin, asf::PinStreamKind kind) {
  CAutoLock lock(&m_lock);
  if (m_locked) return false;
  for (const auto& other : m_pins) {
    if (other.get() == pin || !other->IsPaired()) continue;
    if (asf::StreamKindOf(other->CurrentMediaType()) == kind) return false;
  }
  return true;
}

STDMETHODIMP StreamBufferSink::IsProfileLocked() { return m_locked ? S_OK : S_FALSE; }

STDMETHODIMP StreamBufferSink::LockProfile(LPCWSTR /*fileName*/) {
  CAutoLock lock(&m_lock);
  return LockProfileLocked();
}

HRESULT StreamBufferSink::LockProfileLocked() {
  if (m_locked) return S_OK;
  std::vector<asf::RecordedStream> video, audio;
  std::vector<int> videoPins, audioPins;
  for (const auto& pin : m_pins) {
    if (!pin->IsPaired()) continue;
    const asf::PinStreamKind kind = asf::StreamKindOf(pin->CurrentMediaType());
    if (kind == asf::PinStreamKind::None) continue;
    (kind == asf::PinStreamKind::Video ? video : audio).push_back(asf::DescribeRecordedStream(pin->CurrentMediaType()));
    (kind == asf::PinStreamKind::Video ? videoPins : audioPins).push_back(pin->Index());
  }
  if (video.empty() && audio.empty()) return VFW_E_NOT_CONNECTED;
  m_profile = std::move(video);
  m_profile.insert(m_profile.end(), audio.begin(), audio.end());
  videoPins.insert(videoPins.end(), audioPins.begin(), audioPins.end());
  std::lock_guard record(m_recordLock);  // the streaming threads read the mapping under it
  m_streamOfPin.assign(m_pins.size(), -1);
  for (std::size_t stream = 0; stream < videoPins.size(); ++stream)
    m_streamOfPin[static_cast<std::size_t>(videoPins[stream])] = static_cast<int>(stream);
  m_locked = true;
  return S_OK;
}

STDMETHODIMP StreamBufferSink::CreateRecorder(LPCWSTR fileName, DWORD recordingType, IUnknown** recorder) {
  if (!fileName || !recorder) return E_POINTER;
  *recorder = nullptr;
  if (recordingType != RECORDING_TYPE_CONTENT) return E_INVALIDARG;  // reference recordings are not offered
  std::vector<asf::RecordedStream> profile;
  {
    CAutoLock lock(&m_lock);
    HRESULT hr = LockProfileLocked();
    if (FAILED(hr)) return hr;
    profile = m_profile;
  }
  std::lock_guard record(m_recordLock);
  if (m_session && !m_session->stopped) return VFW_E_WRONG_STATE;  // one recording at a time
  auto session = std::make_shared<RecordingSession>();
  HRESULT hr = asf::RecordingFile::Create(Utf16ToUtf8(fileName), std::move(profile), &session->file);
  if (FAILED(hr)) return hr;
  auto* created = new StreamBufferRecorder(this, session);
  m_session = session;
  *recorder = static_cast<IUnknown*>(static_cast<IStreamBufferRecordControl*>(created));
  return S_OK;
}

HRESULT StreamBufferSink::StartRecording(const std::shared_ptr<RecordingSession>& session) {
  std::lock_guard record(m_recordLock);
  session->started = true;
  return S_OK;
}

HRESULT StreamBufferSink::StopRecording(const std::shared_ptr<RecordingSession>& session) {
  std::lock_guard record(m_recordLock);
  if (!session->stopped) {
    const HRESULT hr = session->file->Finish();
    if (FAILED(hr) && SUCCEEDED(session->status)) session->status = hr;
    session->stopped = true;
  }
  if (m_session == session) m_session.reset();
  return session->status;
}

void StreamBufferSink::RecordingStatus(const std::shared_ptr<RecordingSession>& session, HRESULT* result,
                                       bool* started, bool* stopped) {
  std::lock_guard record(m_recordLock);
  *result = FAILED(session->status) ? session->status : session->file->Status();
  *started = session->started;
  *stopped = session->stopped;
}

void StreamBufferSink::FinishRecordingLocked() {
  if (!m_session || m_session->stopped) return;
  const HRESULT hr = m_session->file->Finish();
  if (FAILED(hr) && SUCCEEDED(m_session->status)) m_session->status = hr;
  m_session->stopped = true;
}

HRESULT StreamBufferSink::OnSample(StreamBufferInputPin* pin, IMediaSample* sample) {
  asf::RecordedSample recorded;
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const LONG length = sample->GetActualDataLength();
  if (length < 0 || length > sample->GetSize()) return E_INVALIDARG;
  recorded.data = data;
  recorded.size = static_cast<std::size_t>(length);
  REFERENCE_TIME start = 0, stop = 0;
  const HRESULT timed = sample->GetTime(&start, &stop);
  if (timed == S_OK || timed == VFW_S_NO_STOP_TIME) {
    recorded.hasStart = true;
    recorded.start = start;
    LONGLONG decode = 0, decodeEnd = 0;
    if (sample->GetMediaTime(&decode, &decodeEnd) == S_OK) {
      recorded.hasDecode = true;
      recorded.decode = decode;
    }
  }
  recorded.syncPoint = sample->IsSyncPoint() == S_OK;
  {
    std::lock_guard record(m_recordLock);
    const std::size_t pinIndex = static_cast<std::size_t>(pin->Index());
    const int stream = pinIndex < m_streamOfPin.size() ? m_streamOfPin[pinIndex] : -1;
    if (stream < 0 || !m_session || m_session->stopped) return S_OK;  // not recorded
    hr = m_session->file->Write(static_cast<std::size_t>(stream), recorded);
    if (FAILED(hr) && SUCCEEDED(m_session->status)) m_session->status = hr;
  }
  if (FAILED(hr)) ReportErrorOnce(hr);
  return hr;
}

bool StreamBufferSink::AllRecordedInputsEnded() {
  // On a streaming thread, without the filter lock: the pin list only grows while stopped.
  for (const auto& pin : m_pins) {
    if (pin->WasPaired() && !pin->Ended()) return false;
  }
  return true;
}

void StreamBufferSink::OnEndOfStream(StreamBufferInputPin* /*pin*/) {
  if (!AllRecordedInputsEnded()) return;
  HRESULT status = S_OK;
  {
    std::lock_guard record(m_recordLock);
    if (m_session && !m_session->stopped) {
      FinishRecordingLocked();
      status = m_session->status;
    }
  }
  if (FAILED(status)) ReportErrorOnce(status);
  m_endOfStream = true;
  if (m_State == State_Running && !m_completeSent.exchange(true)) {
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
  }
}

void StreamBufferSink::OnEndFlush() {
  m_endOfStream = false;
  m_completeSent = false;
  std::lock_guard record(m_recordLock);
  // Before Start, a flush is the seek to where the recording begins.
  if (m_session && !m_session->started && !m_session->stopped) {
    const HRESULT hr = m_session->file->DiscardAll();
    if (FAILED(hr) && SUCCEEDED(m_session->status)) m_session->status = hr;
  }
}

void StreamBufferSink::ReportErrorOnce(HRESULT hr) {
  if (!m_errorReported.exchange(true)) NotifyEvent(EC_ERRORABORT, hr, 0);
}

STDMETHODIMP StreamBufferSink::Pause() {
  CAutoLock lock(&m_lock);
  if (IsStopped()) {
    m_endOfStream = false;
    m_completeSent = false;
    m_errorReported = false;
    for (const auto& pin : m_pins) pin->PrepareRun();
  }
  return CBaseFilter::Pause();
}

STDMETHODIMP StreamBufferSink::Run(REFERENCE_TIME start) {
  CAutoLock lock(&m_lock);
  HRESULT hr = CBaseFilter::Run(start);
  if (SUCCEEDED(hr) && m_endOfStream && !m_completeSent.exchange(true)) {
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
  }
  return hr;
}

STDMETHODIMP StreamBufferSink::Stop() {
  CAutoLock lock(&m_lock);
  HRESULT hr = CBaseFilter::Stop();
  HRESULT status = S_OK;
  {
    std::lock_guard record(m_recordLock);
    if (m_session && !m_session->stopped) {
      FinishRecordingLocked();
      status = m_session->status;
    }
  }
  if (FAILED(status)) ReportErrorOnce(status);
  return hr;
}
