#include "platform/filters/ProgramStreamSeeking.h"

#include "platform/dshow/Errors.h"

ProgramStreamSeeking::ProgramStreamSeeking(IUnknown* owner, IProgramStreamSeekTarget* target)
    : CSourceSeeking("Program stream seeking", owner, nullptr, &m_positionLock), m_target(target) {
  m_dwSeekingCaps |= AM_SEEKING_CanGetCurrentPos;
}

void ProgramStreamSeeking::SetDuration(REFERENCE_TIME duration) {
  CAutoLock lock(m_pLock);
  m_rtDuration = duration;
}

void ProgramStreamSeeking::ResetPositions() {
  CAutoLock lock(m_pLock);
  m_rtStart = 0;
  m_rtStop = static_cast<REFERENCE_TIME>(UNITS * 0x7FFFFFFFll);
  m_dRateSeeking = 1.0;
}

STDMETHODIMP ProgramStreamSeeking::GetCurrentPosition(LONGLONG* current) {
  if (!current) return E_POINTER;
  *current = m_target->ProgramStreamPosition();
  return S_OK;
}

STDMETHODIMP ProgramStreamSeeking::GetPositions(LONGLONG* current, LONGLONG* stop) {
  HRESULT hr = CSourceSeeking::GetPositions(nullptr, stop);
  if (current) *current = m_target->ProgramStreamPosition();
  return hr;
}

HRESULT ProgramStreamSeeking::ChangeStart() {
  REFERENCE_TIME start, stop;
  {
    CAutoLock lock(m_pLock);
    start = m_rtStart;
    stop = m_rtStop;
  }
  return m_target->SeekProgramStream(start, stop, true);
}

HRESULT ProgramStreamSeeking::ChangeStop() {
  REFERENCE_TIME start, stop;
  {
    CAutoLock lock(m_pLock);
    start = m_rtStart;
    stop = m_rtStop;
  }
  return m_target->SeekProgramStream(start, stop, false);
}

HRESULT ProgramStreamSeeking::ChangeRate() {
  // The stream is delivered as it is stored: only the normal rate.
  CAutoLock lock(m_pLock);
  if (m_dRateSeeking == 1.0) return S_OK;
  m_dRateSeeking = 1.0;
  return E_INVALIDARG;
}
