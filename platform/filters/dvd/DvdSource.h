#pragma once
// The DVD source: IDvdControl2::SetDVDDirectory takes the path of a title set's VTS_nn_0.IFO (or
// its folder, or the folder above VIDEO_TS), reads the title set with our own IFO reader (the
// .BUP copy when the .IFO is damaged) and offers the title's cells, in play order, as one MPEG-2
// program stream on its output pin "Output". The pin is pulled like the asynchronous file
// source's: IAsyncReader's SyncRead and Length over the title's bytes, so the demultiplexer
// connects to it and reads it as it reads a program stream file. A folder with several title sets
// gives the longest title of all (the main feature). Only unencrypted title sets can be read.
//
// A title set that cannot be read gives a DVD_E_ status from SetDVDDirectory (Errors.h; ErrorText
// has a text for each), and LastProblem() names the file or table at fault.
#include <memory>
#include <string>

#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/FileInterfaces.h"
#include "platform/filters/PullOutputPin.h"
#include "platform/filters/dvd/TitleStream.h"

class DvdSource : public CBaseFilter, public IDvdControl2, private PullStreamSource {
 public:
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);
  explicit DvdSource(IUnknown* outer);
  ~DvdSource() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? m_output.get() : nullptr; }

  // IDvdControl2
  STDMETHODIMP SetDVDDirectory(LPCWSTR path) override;

  // PullStreamSource, for the pin: the title's bytes as one program stream.
  bool IsLoaded() const override { return m_stream != nullptr; }
  const CMediaType& StreamType() const override { return m_type; }
  HRESULT ReadAt(LONGLONG position, LONG length, BYTE* buffer) override;
  HRESULT StreamLength(LONGLONG* length) override;
  const dvd::TitleStream* Stream() const { return m_stream.get(); }
  // What was wrong with the last title set given, in a sentence; empty after a good one.
  std::string LastProblem();

 private:
  HRESULT OpenTitleSet(const std::string& folder, int titleSet, std::unique_ptr<dvd::TitleStream>* stream,
                       std::string* problem);

  CCritSec m_lock;
  std::unique_ptr<PullOutputPin> m_output;
  CMediaType m_type;  // MEDIATYPE_Stream / MEDIASUBTYPE_MPEG2_PROGRAM
  std::unique_ptr<dvd::TitleStream> m_stream;  // set while a title set is loaded
  std::string m_problem;
};
