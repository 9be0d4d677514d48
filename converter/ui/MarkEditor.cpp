#include "converter/ui/MarkEditor.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "converter/ui/PreviewSourceFinder.h"
#include "converter/ui/ProgressArithmetic.h"

namespace {
constexpr LONGLONG kLeadMilliseconds = 3000;
constexpr LONGLONG kUnitsPerMillisecond = 10'000;
constexpr LONGLONG kUnitsPerSecond = 10'000'000;
constexpr int kFieldCount = 8;

std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

std::string ThreeDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%03d", value);
  return text;
}

bool IsMillisecondsField(int index) { return index % 4 == 3; }
}  // namespace

MarkFields FieldsFromMark(std::int32_t mark) {
  const std::int32_t s = mark / 1000;
  return MarkFields{s / 3600, (s / 60) % 60, s % 60, mark % 1000};
}

std::int32_t MarkFromFields(const MarkFields& f) {
  // Each field has at most three digits, so the sum stays far inside 32 bits.
  return f.milliseconds + f.minutes * 60000 + f.hours * 3600000 + f.seconds * 1000;
}

LONGLONG SeekTargetMilliseconds(LONGLONG t) { return t > kLeadMilliseconds ? t - kLeadMilliseconds : t; }

MarkEditor::MarkEditor(PaneMarks& marks, MarkEditorStyle style)
    : m_marks(marks), m_style(style),
      m_slider(style == MarkEditorStyle::SourcesPanel ? SliderModel{} : SliderModel::ControlDefaults()) {
  for (int i = 0; i < kFieldCount; ++i) m_fieldTexts[static_cast<std::size_t>(i)] = IsMillisecondsField(i) ? "000" : "00";
}

bool MarkEditor::FindPreviewSource(const std::string& fileName, DWORD processId) {
  if (m_marks.seeking) return true;
  ComPtr<IMediaSeeking> seeking;
  if (FindPreviewSeeking(fileName, processId, seeking.GetAddressOf()) == S_OK) AttachSeeking(seeking.Get());
  return m_marks.seeking != nullptr;
}

void MarkEditor::AttachSeeking(IMediaSeeking* seeking) {
  m_marks.seeking = seeking;
  if (!seeking) return;
  LONGLONG duration = 0;
  if (FAILED(seeking->GetDuration(&duration)) || duration < 0) duration = 0;
  const LONGLONG seconds = duration / kUnitsPerSecond;
  m_slider.toolTips = true;
  m_slider.SetRecordingLength(static_cast<int>(std::min<LONGLONG>(seconds, INT32_MAX)));
  m_durationMs = duration / kUnitsPerMillisecond;
  m_durationText = progress::FormatHoursMinutesSeconds(seconds);
  m_timerRunning = true;
}

void MarkEditor::Detach() {
  m_marks.seeking.Reset();
  m_timerRunning = false;
}

bool MarkEditor::OnButton(int id) {
  switch (id) {
    case IDC_MARK_IN: OnMarkIn(); return true;
    case IDC_GOTO_MARK_IN: OnGotoMarkIn(); return true;
    case IDC_BACK_30: OnGoBack(30000); return true;
    case IDC_BACK_10: OnGoBack(10000); return true;
    case IDC_FORWARD_10: OnStepForward(10000); return true;
    case IDC_FORWARD_30: OnStepForward(30000); return true;
    case IDC_GOTO_MARK_OUT: OnGotoMarkOut(); return true;
    case IDC_MARK_OUT: OnMarkOut(); return true;
    default: return false;
  }
}

void MarkEditor::OnMarkIn() { SetMarkFromPosition(true); }
void MarkEditor::OnMarkOut() { SetMarkFromPosition(false); }
void MarkEditor::OnGotoMarkIn() { SeekTo(m_marks.markIn); }
void MarkEditor::OnGotoMarkOut() { SeekTo(m_marks.markOut); }

void MarkEditor::OnGoBack(LONGLONG milliseconds) {
  const std::optional<LONGLONG> c = CurrentPosition();
  if (!c) return;
  if (m_style == MarkEditorStyle::SourcesPanel && *c <= milliseconds) return;
  SeekTo(*c - milliseconds);
}

void MarkEditor::OnStepForward(LONGLONG milliseconds) {
  const std::optional<LONGLONG> c = CurrentPosition();
  if (!c) return;
  if (m_style == MarkEditorStyle::SourcesPanel && *c + milliseconds >= m_durationMs) return;
  SeekTo(*c + milliseconds);
}

void MarkEditor::SetMarkFromPosition(bool markIn) {
  const std::optional<LONGLONG> c = CurrentPosition();
  if (!c) return;
  const auto mark = static_cast<std::int32_t>(std::clamp<LONGLONG>(*c, INT32_MIN, INT32_MAX));
  (markIn ? m_marks.markIn : m_marks.markOut) = mark;
  m_slider.hasSelection = true;
  m_slider.selectionStart = m_marks.markIn / 1000;
  m_slider.selectionEnd = m_marks.markOut / 1000;
  if (m_style == MarkEditorStyle::SourcesPanel) ++m_sliderRedraws;
  ShowFields(markIn, mark);
}

void MarkEditor::ShowFields(bool markIn, std::int32_t mark) {
  const MarkFields f = FieldsFromMark(mark);
  const std::size_t first = markIn ? 0 : 4;
  m_fieldTexts[first] = TwoDigits(f.hours);
  m_fieldTexts[first + 1] = TwoDigits(f.minutes);
  m_fieldTexts[first + 2] = TwoDigits(f.seconds);
  m_fieldTexts[first + 3] = ThreeDigits(f.milliseconds);
}

int MarkEditor::FieldIndex(int id) {
  return id >= IDC_IN_HOURS && id <= IDC_OUT_MILLISECONDS ? id - IDC_IN_HOURS : -1;
}

bool MarkEditor::OnFieldTextChanged(int id, const std::string& text) {
  const int index = FieldIndex(id);
  if (index < 0) return false;
  const std::size_t limit = IsMillisecondsField(index) ? 3 : 2;
  if (text.size() > limit) return false;
  for (char ch : text) {
    if (!std::isdigit(static_cast<unsigned char>(ch))) return false;
  }
  m_fieldTexts[static_cast<std::size_t>(index)] = text;
  const bool markIn = index < 4;
  (markIn ? m_marks.markIn : m_marks.markOut) = MarkFromTexts(markIn ? IDC_IN_HOURS : IDC_OUT_HOURS);
  return true;
}

std::int32_t MarkEditor::MarkFromTexts(int firstId) const {
  const auto field = [&](int offset) {
    return std::atoi(m_fieldTexts[static_cast<std::size_t>(FieldIndex(firstId + offset))].c_str());
  };
  return MarkFromFields(MarkFields{field(0), field(1), field(2), field(3)});
}

std::string MarkEditor::FieldText(int id) const {
  const int index = FieldIndex(id);
  return index < 0 ? std::string() : m_fieldTexts[static_cast<std::size_t>(index)];
}

void MarkEditor::OnEndTrack() {
  SeekTo(static_cast<LONGLONG>(m_slider.position) * 1000);
  m_dragging = false;
}

void MarkEditor::OnReleaseCapture() { OnEndTrack(); }

std::optional<PlayedBar> MarkEditor::OnTimer(const SliderGeometry& geometry) {
  if (!m_marks.seeking || m_dragging) return std::nullopt;
  LONGLONG position = 0;
  if (FAILED(m_marks.seeking->GetCurrentPosition(&position))) return std::nullopt;
  const LONGLONG seconds = position / kUnitsPerSecond;
  const bool panel = m_style == MarkEditorStyle::SourcesPanel;
  PlayedBar bar = ComputePlayedBar(geometry, seconds, m_slider.rangeMax, panel);
  if (panel) bar.redraw = geometry.channel;
  m_positionText = progress::FormatHoursMinutesSeconds(seconds);
  return bar;
}

bool MarkEditor::SeekTo(LONGLONG t) {
  if (!m_marks.seeking) return false;
  LONGLONG target = SeekTargetMilliseconds(t) * kUnitsPerMillisecond;
  return SUCCEEDED(m_marks.seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                                 AM_SEEKING_NoPositioning));
}

std::optional<LONGLONG> MarkEditor::CurrentPosition() const {
  if (!m_marks.seeking) return std::nullopt;
  LONGLONG position = 0;
  if (FAILED(m_marks.seeking->GetCurrentPosition(&position))) return std::nullopt;
  return position / kUnitsPerMillisecond;
}
