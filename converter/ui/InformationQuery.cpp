// The main window's information query and the display tick that writes its answers and the
// conversion's progress into the Monitor panel every 500 ms (and, in a quiet run on a terminal,
// onto one line of standard error).
#include <cstdio>

#include "converter/engine/ConversionLog.h"
#include "converter/ui/CCorvaneDlg.h"
#include "converter/ui/CInfoPane.h"
#include "converter/ui/InformationAnswers.h"
#include "converter/ui/PreviewPlayer.h"
#include "converter/ui/ProgressArithmetic.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/win/system.h"

namespace {

constexpr std::size_t kAnswerLimit = 255;  // bytes of an answer in the local code page

std::string SourceAnswer(ITsSourceInfo* info, const std::string& key) {
  LPWSTR answer = nullptr;
  if (FAILED(info->GetAttribute(Utf8ToUtf16(key).c_str(), &answer)) || !answer) {
    CoTaskMemFree(answer);
    return {};
  }
  std::string text = Utf16ToUtf8(answer);
  CoTaskMemFree(answer);
  if (text.size() > kAnswerLimit) text.resize(kAnswerLimit);
  return text;
}

}  // namespace

std::string CCorvaneDlg::InformationQuery(const std::string& key) {
  if (m_sourceInfo) {
    std::string answer = SourceAnswer(m_sourceInfo.Get(), key);
    if (key == "VIDEOSIZE" && information::IsHdVideoSize(answer)) m_hd = true;
    return answer;
  }
  if (m_player) {
    // Diagnostics: the player's attributes, each time it reports more than were logged.
    const auto attributes = m_player->MediaAttributes();
    if (static_cast<long>(attributes.size()) > m_loggedAttributeCount) {
      LogMessage("%ld attributes found:\n", static_cast<long>(attributes.size()));
      for (const auto& [name, value] : attributes) LogMessage("%s = %s\n", name.c_str(), value.c_str());
      m_loggedAttributeCount = static_cast<long>(attributes.size());
    }
  }
  if (key == "VIDEOSIZE") {
    if (!m_player) return {};
    return information::VideoSizeAnswer(m_player->ImageSourceWidth(), m_player->ImageSourceHeight(), &m_aspectRatioText,
                                        &m_hd);
  }
  if (key == "ASPECTRATIO") return information::AspectRatioAnswer(m_aspectRatioText);
  if (key == "FRAMERATE") {
    double encoded = 0;
    double perHundredSeconds = 0;
    if (!m_player || !m_player->FrameRates(&encoded, &perHundredSeconds)) return {};
    return information::FrameRateAnswer(encoded, static_cast<long>(perHundredSeconds));
  }
  if (key == "MAXPACKET") return information::MaxPacketAnswer(m_inputSize);
  if (key == "CURPACKET") return information::CurPacketAnswer(m_inputSize, m_graph ? m_graph->MediaSeeking() : nullptr);
  return {};
}

std::string CCorvaneDlg::TrackText() const { return information::TrackFieldText(m_menu, m_audioTrackIndex); }

void CCorvaneDlg::OnDisplayTick() {
  SetMonitorField(CInfoPane::IDC_VIDEO_SIZE, InformationQuery("VIDEOSIZE"));
  SetMonitorField(CInfoPane::IDC_FRAME_RATE, InformationQuery("FRAMERATE"));
  SetMonitorField(CInfoPane::IDC_ASPECT_RATIO, InformationQuery("ASPECTRATIO"));
  SetMonitorField(CInfoPane::IDC_AUDIO_TYPE, InformationQuery("AUDIOTYPE"));
  SetMonitorField(CInfoPane::IDC_AUDIO_FORMAT, InformationQuery("AUDIOFORMAT"));
  SetMonitorField(CInfoPane::IDC_TRACK, TrackText());
  if (m_uiState != UI_CONVERTING && m_uiState != UI_CONVERTING_AND_MONITORING) return;

  progress::TickInput input;
  input.curPacket = InformationQuery("CURPACKET");
  input.maxPacket = InformationQuery("MAXPACKET");
  if (IMediaSeeking* seeking = m_graph ? m_graph->MediaSeeking() : nullptr) {
    LONGLONG position = 0;
    if (SUCCEEDED(seeking->GetCurrentPosition(&position))) input.position = position;
    LONGLONG duration = 0;
    if (SUCCEEDED(seeking->GetDuration(&duration)) && duration > 0) m_lastDuration = duration;
  }
  input.now = GetTickCount();
  input.startTick = m_startTick;
  const progress::TickTexts texts = progress::ComputeTick(input);
  if (auto* monitor = dynamic_cast<CInfoPane*>(m_pane.get())) progress::WriteTick(texts, *monitor);
  m_progressLine.Show(texts.complete.value_or("-"), texts.filePos, texts.streamTime.value_or("-"),
                      texts.remaining.value_or("-"));
}
