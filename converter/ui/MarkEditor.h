#pragma once
// Mark In / Mark Out editing as logic, shared by the Sources panel and the Set Mark window: the
// eight time fields and their text rules, the eight buttons, the seek arithmetic with the
// 3-second lead, the slider and the timer that follows the preview's position.
//
// Marks are milliseconds from the start of the recording (0 = not set). Every seek goes to the
// asked time less 3000 ms when it is above 3000 ms, so that a conversion started at a mark set
// from the preview's picture (which the decoder shows late) does not miss its beginning. Without
// the preview's seeking interface the editor stays usable but inert.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "converter/ui/CBasePane.h"
#include "converter/ui/MarkSlider.h"

// Where the editor lives decides a few of its rules.
enum class MarkEditorStyle {
  SourcesPanel,   // steps stay within the recording; redraws only the channel; bar 1 pixel lower
  SetMarkWindow,  // steps are not bounded (the source's seeking decides)
};

// The time fields of a mark.
struct MarkFields {
  int hours = 0, minutes = 0, seconds = 0, milliseconds = 0;
  bool operator==(const MarkFields&) const = default;
};
// s = m / 1000: hours s / 3600, minutes (s / 60) mod 60, seconds s mod 60, milliseconds m mod
// 1000. Hours are not reduced to a day: the field takes two digits, and a mark past 24 hours
// must survive being shown.
MarkFields FieldsFromMark(std::int32_t mark);
// milliseconds + minutes × 60000 + hours × 3600000 + seconds × 1000.
std::int32_t MarkFromFields(const MarkFields& fields);
// The target of a seek to t ms: t − 3000 above 3000, otherwise t (a negative t unchanged).
LONGLONG SeekTargetMilliseconds(LONGLONG t);

class MarkEditor {
 public:
  // Controls.
  static constexpr int IDC_IN_HOURS = 1010, IDC_IN_MINUTES = 1011, IDC_IN_SECONDS = 1012, IDC_IN_MILLISECONDS = 1013;
  static constexpr int IDC_OUT_HOURS = 1014, IDC_OUT_MINUTES = 1015, IDC_OUT_SECONDS = 1016, IDC_OUT_MILLISECONDS = 1017;
  static constexpr int IDC_FILE_NAME = 1019;
  static constexpr int IDC_DURATION = 1020;
  static constexpr int IDC_SLIDER = 1022;
  static constexpr int IDC_POSITION = 1024;
  // Buttons, left to right.
  static constexpr int IDC_MARK_IN = 1018, IDC_GOTO_MARK_IN = 1025, IDC_BACK_30 = 1027, IDC_BACK_10 = 1029;
  static constexpr int IDC_FORWARD_10 = 1030, IDC_FORWARD_30 = 1028, IDC_GOTO_MARK_OUT = 1026, IDC_MARK_OUT = 1021;
  static constexpr UINT_PTR kPositionTimer = 1;
  static constexpr UINT kPositionTimerPeriod = 500;  // ms

  MarkEditor(PaneMarks& marks, MarkEditorStyle style);

  // Looks for the preview's source in the Running Object Table and attaches it (skipped when the
  // editor already holds a seeking interface). True when the editor holds one afterwards.
  bool FindPreviewSource(const std::string& fileName, DWORD processId);
  // Takes the seeking interface: the duration sets the slider's range (whole seconds), its page
  // and its ticks, the Duration text, and the position timer starts.
  void AttachSeeking(IMediaSeeking* seeking);
  // Releases the seeking interface and stops the timer (the editor's window is destroyed).
  void Detach();

  // A button click by control identifier; false for an identifier that is not a button.
  bool OnButton(int id);
  void OnMarkIn();
  void OnGotoMarkIn();
  void OnGoBack(LONGLONG milliseconds);
  void OnStepForward(LONGLONG milliseconds);
  void OnGotoMarkOut();
  void OnMarkOut();

  // The user edits a time field: digits only, at most two (three for milliseconds). A text the
  // field would not take is refused (false). The group's mark is computed anew from its fields.
  bool OnFieldTextChanged(int id, const std::string& text);
  // The field's text ("00" for hours, minutes and seconds and "000" for milliseconds at first).
  std::string FieldText(int id) const;

  // The slider: the thumb is being dragged; the track ended (seek to the thumb's second); the
  // slider let go of the mouse (the same seek once more).
  void OnBeginDrag() { m_dragging = true; }
  void OnSliderMoved(int position) { m_slider.SetPosition(position); }
  void OnEndTrack();
  void OnReleaseCapture();

  // The position timer: nothing while there is no seeking interface or the thumb is dragged;
  // otherwise the Position text follows the preview and the played bar is returned.
  std::optional<PlayedBar> OnTimer(const SliderGeometry& geometry);

  // Seeks the preview to t ms with the 3-second lead; false when there is nothing to seek.
  bool SeekTo(LONGLONG t);
  // The preview's position in ms (truncated); nullopt without a seeking interface.
  std::optional<LONGLONG> CurrentPosition() const;

  std::int32_t MarkIn() const { return m_marks.markIn; }
  std::int32_t MarkOut() const { return m_marks.markOut; }
  IMediaSeeking* Seeking() const { return m_marks.seeking.Get(); }
  const SliderModel& Slider() const { return m_slider; }
  unsigned SliderRedraws() const { return m_sliderRedraws; }
  bool IsDragging() const { return m_dragging; }
  bool TimerRunning() const { return m_timerRunning; }
  LONGLONG DurationMilliseconds() const { return m_durationMs; }
  const std::string& DurationText() const { return m_durationText; }
  const std::string& PositionText() const { return m_positionText; }

 private:
  void SetMarkFromPosition(bool markIn);
  void ShowFields(bool markIn, std::int32_t mark);
  std::int32_t MarkFromTexts(int firstId) const;
  static int FieldIndex(int id);

  PaneMarks& m_marks;
  const MarkEditorStyle m_style;
  std::array<std::string, 8> m_fieldTexts;  // 1010 … 1017
  SliderModel m_slider;
  LONGLONG m_durationMs = 0;
  std::string m_durationText = "-";
  std::string m_positionText = "-";
  bool m_dragging = false;
  bool m_timerRunning = false;
  unsigned m_sliderRedraws = 0;
};
