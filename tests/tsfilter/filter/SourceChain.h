#pragma once
// The source filter with a loaded file, its pin connected (on request or at once) to a
// collecting sink; run to the end of the stream as often as a test needs.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "platform/com/comptr.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/SeekingInterfaces.h"
#include "tests/tsfilter/filter/CollectingSink.h"
#include "tsfilter/filter/TsSourceFilter.h"

namespace tsfilter::testing {

class Chain {
 public:
  explicit Chain(const std::string& path, LONG minimumBuffer = 0, bool connectNow = true) {
    EXPECT_EQ(TsSourceFilter::CreateInstance(nullptr, IID_PPV_ARGS(m_source.GetAddressOf())), S_OK);
    ComPtr<IFileSourceFilter> file;
    EXPECT_EQ(m_source.As(&file), S_OK);
    EXPECT_EQ(file->Load(Utf8ToUtf16(path).c_str(), nullptr), S_OK);
    m_sink = CollectingSink::Make(minimumBuffer);
    m_source->FindPin(u"1", m_out.GetAddressOf());
    if (connectNow) Connect();
  }
  ~Chain() {
    if (m_out) m_out->Disconnect();
    m_sink->Input()->Disconnect();
    m_sink->Filter()->Release();
  }
  Chain(const Chain&) = delete;
  Chain& operator=(const Chain&) = delete;

  HRESULT Connect() {
    const HRESULT hr = m_out ? m_out->Connect(m_sink->Input(), nullptr) : E_FAIL;
    connected = hr == S_OK;
    return hr;
  }

  // Runs the pair until the sink has the end of the stream, then stops both.
  bool RunToEnd() {
    m_sink->Clear();
    m_sink->Filter()->Pause();
    m_source->Pause();
    m_sink->Filter()->Run(0);
    m_source->Run(0);
    const bool ended = m_sink->m_ended.Wait(120000);
    m_source->Stop();
    m_sink->Filter()->Stop();
    return ended;
  }

  ComPtr<IMediaSeeking> Seeking() {
    ComPtr<IMediaSeeking> seeking;
    m_source.As(&seeking);
    return seeking;
  }
  std::string Attribute(const std::u16string& key) {
    ComPtr<ITsSourceInfo> info;
    m_source.As(&info);
    LPWSTR answer = nullptr;
    EXPECT_EQ(info->GetAttribute(key.c_str(), &answer), S_OK);
    std::string text = answer ? Utf16ToUtf8(answer) : std::string();
    CoTaskMemFree(answer);
    return text;
  }
  std::int64_t NumberAttribute(const std::u16string& key) {
    const std::string text = Attribute(key);
    return text.empty() ? -1 : std::stoll(text);
  }
  // Start or stop time -> packet, as the seeking computes it: milliseconds over the whole file.
  static std::int64_t PacketAt(REFERENCE_TIME time, REFERENCE_TIME duration, std::size_t fileSize) {
    return (time / 10000) * static_cast<std::int64_t>(fileSize / 188) / (duration / 10000);
  }

  bool connected = false;
  ComPtr<IBaseFilter> m_source;
  ComPtr<IPin> m_out;
  CollectingSink* m_sink = nullptr;
};

}  // namespace tsfilter::testing
