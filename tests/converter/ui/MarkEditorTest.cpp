// Mark editing against a fake preview seeking: which button seeks where (3-second lead, the
// Sources panel's bounds), what the fields make of typed digits, the slider's numbers and the
// played bar the timer paints.
#include "converter/ui/MarkEditor.h"

#include <gtest/gtest.h>

#include "FakeSeeking.h"
#include "converter/ui/CMarkDlg.h"
#include "converter/ui/CMarkPane.h"
#include "converter/ui/ProgressArithmetic.h"

namespace {

constexpr LONGLONG kMs = 10'000;  // 100-ns units per millisecond

ComPtr<FakeSeeking> MakeSeeking(LONGLONG durationSeconds, LONGLONG positionSeconds) {
  ComPtr<FakeSeeking> seeking;
  seeking.Attach(new FakeSeeking(durationSeconds, positionSeconds));
  return seeking;
}

TEST(MarkEditorTest, ButtonsSeekWithTheLeadAndThePanelsBounds) {
  struct Case {
    const char* what;
    int button;
    LONGLONG durationS, positionS;
    std::int32_t markIn, markOut;
    std::optional<LONGLONG> panelTargetMs, windowTargetMs;  // nullopt: no seek
  };
  using E = MarkEditor;
  const Case cases[] = {
      {"goto in, past the lead", E::IDC_GOTO_MARK_IN, 600, 0, 60000, 0, 57000, 57000},
      {"goto in, within the lead", E::IDC_GOTO_MARK_IN, 600, 0, 2000, 0, 2000, 2000},
      {"goto in, exactly the lead", E::IDC_GOTO_MARK_IN, 600, 0, 3000, 0, 3000, 3000},
      {"goto out", E::IDC_GOTO_MARK_OUT, 600, 0, 0, 120000, 117000, 117000},
      {"goto unset out", E::IDC_GOTO_MARK_OUT, 600, 50, 0, 0, 0, 0},
      {"step 10 forward", E::IDC_FORWARD_10, 600, 100, 0, 0, 107000, 107000},
      {"go 10 back", E::IDC_BACK_10, 600, 100, 0, 0, 87000, 87000},
      {"go 30 back near the start", E::IDC_BACK_30, 600, 25, 0, 0, std::nullopt, -5000},
      {"go 30 back at exactly 30 s", E::IDC_BACK_30, 600, 30, 0, 0, std::nullopt, 0},
      {"go 10 back near the start", E::IDC_BACK_10, 600, 12, 0, 0, 2000, 2000},
      {"step 30 near the end", E::IDC_FORWARD_30, 600, 580, 0, 0, std::nullopt, 607000},
      {"step 10 near the end", E::IDC_FORWARD_10, 600, 580, 0, 0, 587000, 587000},
      {"step 10 to exactly the end", E::IDC_FORWARD_10, 600, 590, 0, 0, std::nullopt, 597000},
  };
  for (const Case& c : cases) {
    for (MarkEditorStyle style : {MarkEditorStyle::SourcesPanel, MarkEditorStyle::SetMarkWindow}) {
      const bool panel = style == MarkEditorStyle::SourcesPanel;
      SCOPED_TRACE(std::string(c.what) + (panel ? " (panel)" : " (window)"));
      PaneMarks marks{c.markIn, c.markOut, nullptr};
      MarkEditor editor(marks, style);
      auto seeking = MakeSeeking(c.durationS, c.positionS);
      editor.AttachSeeking(seeking.Get());
      ASSERT_TRUE(editor.OnButton(c.button));
      const std::optional<LONGLONG> expected = panel ? c.panelTargetMs : c.windowTargetMs;
      if (expected) EXPECT_EQ(seeking->seeks, std::vector<LONGLONG>{*expected * kMs});
      else EXPECT_TRUE(seeking->seeks.empty());
    }
  }
}

TEST(MarkEditorTest, MarkButtonsTakeThePositionAndShowItInTheirFieldsOnly) {
  PaneMarks marks{0, 120000, nullptr};  // Mark Out inherited from the main window
  MarkEditor editor(marks, MarkEditorStyle::SourcesPanel);
  EXPECT_EQ(editor.FieldText(MarkEditor::IDC_OUT_MINUTES), "00") << "a new panel shows zeros";
  auto seeking = MakeSeeking(7200, 0);
  seeking->position = 3723004 * kMs + 9999;  // 1:02:03.004 and a fraction of a millisecond
  editor.AttachSeeking(seeking.Get());

  editor.OnButton(MarkEditor::IDC_MARK_IN);
  EXPECT_EQ(marks.markIn, 3723004);
  EXPECT_EQ(marks.markOut, 120000) << "the inherited Mark Out stays until changed";
  const int inFields[] = {MarkEditor::IDC_IN_HOURS, MarkEditor::IDC_IN_MINUTES, MarkEditor::IDC_IN_SECONDS,
                          MarkEditor::IDC_IN_MILLISECONDS};
  const char* inTexts[] = {"01", "02", "03", "004"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(editor.FieldText(inFields[i]), inTexts[i]);
  EXPECT_EQ(editor.FieldText(MarkEditor::IDC_OUT_MILLISECONDS), "000");
  EXPECT_TRUE(editor.Slider().hasSelection);
  EXPECT_EQ(editor.Slider().selectionStart, 3723);
  EXPECT_EQ(editor.Slider().selectionEnd, 120);
  EXPECT_EQ(editor.SliderRedraws(), 1u);

  seeking->position = 4000 * 1000 * kMs;
  editor.OnButton(MarkEditor::IDC_MARK_OUT);
  EXPECT_EQ(marks.markOut, 4000000);
  EXPECT_EQ(editor.Slider().selectionEnd, 4000);
  EXPECT_EQ(editor.FieldText(MarkEditor::IDC_OUT_HOURS), "01");
  EXPECT_EQ(editor.FieldText(MarkEditor::IDC_OUT_MINUTES), "06");
  EXPECT_EQ(editor.FieldText(MarkEditor::IDC_OUT_SECONDS), "40");
}

TEST(MarkEditorTest, TypedFieldsMakeTheMark) {
  PaneMarks marks;
  MarkEditor editor(marks, MarkEditorStyle::SetMarkWindow);
  struct Typed {
    int id;
    const char* text;
    bool taken;
    std::int32_t markIn, markOut;
  };
  const Typed typing[] = {
      {MarkEditor::IDC_IN_HOURS, "1", true, 3600000, 0},
      {MarkEditor::IDC_IN_MINUTES, "2", true, 3720000, 0},
      {MarkEditor::IDC_IN_SECONDS, "3", true, 3723000, 0},
      {MarkEditor::IDC_IN_MILLISECONDS, "4", true, 3723004, 0},
      {MarkEditor::IDC_IN_MINUTES, "99", true, 9543004, 0},  // no range check
      {MarkEditor::IDC_IN_MINUTES, "100", false, 9543004, 0},
      {MarkEditor::IDC_IN_SECONDS, "1a", false, 9543004, 0},
      {MarkEditor::IDC_IN_SECONDS, "-1", false, 9543004, 0},
      {MarkEditor::IDC_IN_MINUTES, "", true, 3603004, 0},  // an empty field reads 0
      {MarkEditor::IDC_OUT_MILLISECONDS, "999", true, 3603004, 999},
      {MarkEditor::IDC_OUT_MILLISECONDS, "1000", false, 3603004, 999},
      {MarkEditor::IDC_OUT_HOURS, "99", true, 3603004, 356400999},
  };
  for (const Typed& t : typing) {
    SCOPED_TRACE(std::to_string(t.id) + " <- '" + t.text + "'");
    EXPECT_EQ(editor.OnFieldTextChanged(t.id, t.text), t.taken);
    EXPECT_EQ(marks.markIn, t.markIn);
    EXPECT_EQ(marks.markOut, t.markOut);
  }
  EXPECT_FALSE(editor.Slider().hasSelection) << "typing leaves the slider's selection alone";
  EXPECT_FALSE(editor.OnFieldTextChanged(MarkEditor::IDC_DURATION, "1"));
}

TEST(MarkEditorTest, FieldsFromMarks) {
  struct Case {
    std::int32_t mark;
    MarkFields fields;
  };
  const Case cases[] = {
      {0, {0, 0, 0, 0}},
      {3723004, {1, 2, 3, 4}},
      {86399999, {23, 59, 59, 999}},
      {90000000, {25, 0, 0, 0}},  // past a day: kept, so the mark survives being shown
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mark);
    EXPECT_EQ(FieldsFromMark(c.mark), c.fields);
    EXPECT_EQ(MarkFromFields(c.fields), c.mark);
  }
}

TEST(MarkEditorTest, RecordingLengthSetsTheSlider) {
  struct Case {
    LONGLONG durationS;
    int range, page;
    const char* durationText;
  };
  const Case cases[] = {{5400, 5400, 270, "01:30:00"}, {0, 0, 0, "00:00:00"}, {19, 19, 0, "00:00:19"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.durationS);
    CMarkPane pane("/rec/a.ts", 0, 0);
    EXPECT_EQ(pane.Editor().Slider().rangeMax, 100);
    EXPECT_EQ(pane.Editor().Slider().pageSize, 5);
    auto seeking = MakeSeeking(c.durationS, 0);
    pane.Editor().AttachSeeking(seeking.Get());
    EXPECT_EQ(pane.Seeking(), seeking.Get()) << "the main window takes it from the pane";
    EXPECT_EQ(pane.Editor().Slider().rangeMax, c.range);
    EXPECT_EQ(pane.Editor().Slider().pageSize, c.page);
    EXPECT_EQ(pane.Editor().Slider().tickFrequency, c.page);
    EXPECT_TRUE(pane.Editor().Slider().toolTips);
    EXPECT_EQ(pane.Editor().DurationText(), c.durationText);
    EXPECT_EQ(pane.Editor().DurationMilliseconds(), c.durationS * 1000);
    EXPECT_TRUE(pane.Editor().TimerRunning());
  }
  CMarkDlg window("/rec/a.ts", 0, 0);
  EXPECT_EQ(window.Editor().Slider().pageSize, 20) << "the control's own default";
}

TEST(MarkEditorTest, SliderDragSeeksWhenTheTrackEnds) {
  PaneMarks marks;
  MarkEditor editor(marks, MarkEditorStyle::SourcesPanel);
  auto seeking = MakeSeeking(600, 10);
  editor.AttachSeeking(seeking.Get());
  editor.OnBeginDrag();
  editor.OnSliderMoved(240);
  EXPECT_FALSE(editor.OnTimer(SliderGeometry{{0, 0, 100, 10}, {40, 0, 50, 20}})) << "no painting while dragging";
  editor.OnEndTrack();
  EXPECT_FALSE(editor.IsDragging());
  editor.OnReleaseCapture();
  EXPECT_EQ(seeking->seeks, (std::vector<LONGLONG>{237000 * kMs, 237000 * kMs}));
  editor.OnSliderMoved(9999);
  EXPECT_EQ(editor.Slider().position, 600) << "kept within the range";
}

TEST(MarkEditorTest, TimerPaintsThePlayedPartAroundTheThumb) {
  // Channel 10..210 wide (shrunk: 12..208, width 196), range 0..100 seconds.
  const PixelRect channel{10, 20, 210, 30};
  struct Case {
    const char* what;
    LONGLONG positionS;
    PixelRect thumb;
    std::vector<PixelRect> panelSpans;
  };
  const Case cases[] = {
      {"thumb ahead of the position", 50, {150, 15, 160, 35}, {{12, 22, 110, 29}}},
      {"position past the thumb", 50, {60, 15, 70, 35}, {{12, 22, 60, 29}, {70, 22, 110, 29}}},
      {"position inside the thumb", 50, {105, 15, 115, 35}, {{12, 22, 105, 29}}},
      {"at the start", 0, {12, 15, 22, 35}, {}},
      {"one pixel played, thumb ahead", 1, {150, 15, 160, 35}, {}},
      {"at the end", 100, {198, 15, 208, 35}, {{12, 22, 198, 29}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PaneMarks marks;
    MarkEditor editor(marks, MarkEditorStyle::SourcesPanel);
    auto seeking = MakeSeeking(100, c.positionS);
    editor.AttachSeeking(seeking.Get());
    const std::optional<PlayedBar> bar = editor.OnTimer(SliderGeometry{channel, c.thumb});
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->spans, c.panelSpans);
    EXPECT_EQ(bar->redraw, channel) << "the panel redraws its unshrunk channel";
    EXPECT_EQ(editor.PositionText(), progress::FormatHoursMinutesSeconds(c.positionS));
  }
  // The Set Mark window keeps the channel's shrunk bottom and redraws the whole control.
  PaneMarks marks;
  MarkEditor window(marks, MarkEditorStyle::SetMarkWindow);
  auto seeking = MakeSeeking(100, 50);
  window.AttachSeeking(seeking.Get());
  const std::optional<PlayedBar> bar = window.OnTimer(SliderGeometry{channel, {150, 15, 160, 35}});
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->spans, (std::vector<PixelRect>{{12, 22, 110, 28}}));
  EXPECT_FALSE(bar->redraw);
}

TEST(MarkEditorTest, ShortRecordingAndNoPreviewAreInert) {
  PaneMarks marks;
  MarkEditor editor(marks, MarkEditorStyle::SourcesPanel);
  for (int button : {MarkEditor::IDC_MARK_IN, MarkEditor::IDC_GOTO_MARK_IN, MarkEditor::IDC_BACK_30,
                     MarkEditor::IDC_FORWARD_30, MarkEditor::IDC_MARK_OUT}) {
    EXPECT_TRUE(editor.OnButton(button));
  }
  EXPECT_EQ(marks.markIn, 0);
  EXPECT_FALSE(editor.Slider().hasSelection);
  EXPECT_FALSE(editor.OnTimer(SliderGeometry{}));
  EXPECT_FALSE(editor.TimerRunning());
  EXPECT_FALSE(editor.OnButton(1001));

  auto seeking = MakeSeeking(0, 0);  // shorter than a second
  editor.AttachSeeking(seeking.Get());
  const std::optional<PlayedBar> bar = editor.OnTimer(SliderGeometry{{0, 0, 100, 10}, {0, 0, 10, 10}});
  ASSERT_TRUE(bar);
  EXPECT_TRUE(bar->spans.empty());
  EXPECT_EQ(editor.PositionText(), "00:00:00");
  editor.Detach();
  EXPECT_EQ(editor.Seeking(), nullptr);
  EXPECT_FALSE(editor.TimerRunning());
}

}  // namespace
