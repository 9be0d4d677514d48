#pragma once
// A preview source's seeking as the mark editors use it: a position and a duration to report,
// and the absolute positions it was asked to seek to.
#include <vector>

#include "platform/com/unknown.h"
#include "platform/dshow/SeekingInterfaces.h"

class FakeSeeking final : public ComObject<IMediaSeeking> {
 public:
  static constexpr LONGLONG kUnitsPerSecond = 10'000'000;

  FakeSeeking(LONGLONG durationSeconds, LONGLONG positionSeconds)
      : duration(durationSeconds * kUnitsPerSecond), position(positionSeconds * kUnitsPerSecond) {}

  STDMETHODIMP GetCapabilities(DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP CheckCapabilities(DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP IsFormatSupported(const GUID*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryPreferredFormat(GUID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTimeFormat(GUID*) override { return E_NOTIMPL; }
  STDMETHODIMP IsUsingTimeFormat(const GUID*) override { return E_NOTIMPL; }
  STDMETHODIMP SetTimeFormat(const GUID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetDuration(LONGLONG* value) override {
    *value = duration;
    return S_OK;
  }
  STDMETHODIMP GetStopPosition(LONGLONG*) override { return E_NOTIMPL; }
  STDMETHODIMP GetCurrentPosition(LONGLONG* value) override {
    *value = position;
    return S_OK;
  }
  STDMETHODIMP ConvertTimeFormat(LONGLONG*, const GUID*, LONGLONG, const GUID*) override { return E_NOTIMPL; }
  STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override {
    if (currentFlags != AM_SEEKING_AbsolutePositioning || !current) return E_INVALIDARG;
    if (stop || stopFlags != AM_SEEKING_NoPositioning) return E_INVALIDARG;  // the stop stays as it is
    seeks.push_back(*current);
    return S_OK;
  }
  STDMETHODIMP GetPositions(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
  STDMETHODIMP GetAvailable(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
  STDMETHODIMP SetRate(double) override { return E_NOTIMPL; }
  STDMETHODIMP GetRate(double*) override { return E_NOTIMPL; }
  STDMETHODIMP GetPreroll(LONGLONG*) override { return E_NOTIMPL; }

  LONGLONG duration;
  LONGLONG position;
  std::vector<LONGLONG> seeks;  // 100-ns units
};
