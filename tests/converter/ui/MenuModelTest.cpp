// The main window's menus as data: the layout the window's commands rely on, the output radio
// group, the Demux items replaced in place, the audio items and the pane context menu.
#include "converter/ui/MenuModel.h"

#include <gtest/gtest.h>

#include "converter/ui/CommandIds.h"

namespace {

std::vector<UINT> CheckedAmong(const MainMenu& menu, UINT first, UINT last) {
  std::vector<UINT> checked;
  for (UINT id = first; id <= last; ++id) {
    if (menu.IsChecked(id)) checked.push_back(id);
  }
  return checked;
}

TEST(MenuModelTest, InitialisationGreysTheConversionCommandsAndEmptiesAudioTracks) {
  MainMenu menu;
  menu.SetAudioTracks({"resource item"});
  menu.InitialiseForWindow();
  struct Expect {
    UINT id;
    bool enabled;
  };
  const Expect expected[] = {
      {ID_START_CONVERSION, false}, {ID_STOP, false},         {ID_PAUSE, false},          {ID_FILE_PLAY_CONVERTED, false},
      {ID_PLAY_AS_INPUT, false},    {ID_FILE_LOAD_TS, true},  {ID_OUTPUT_DVRMS, true},    {ID_OPTIONS, true},
      {ID_VIEW_LOGFILE, true},      {ID_APP_ABOUT, true},     {ID_SET_MARK, true},        {ID_FILE_EXIT, true},
  };
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.id);
    EXPECT_EQ(menu.IsCommandEnabled(e.id), e.enabled);
  }
  EXPECT_EQ(menu.AudioTracksMenu().ItemCount(), 0);
  // A command without an item keeps its state in the model.
  EXPECT_FALSE(menu.HasItem(ID_SET_MARK));
  EXPECT_TRUE(menu.EnableCommand(ID_SET_MARK, false));
  EXPECT_FALSE(menu.IsCommandEnabled(ID_SET_MARK));
  EXPECT_FALSE(menu.EnableCommand(12345, true));
}

TEST(MenuModelTest, RadioMarkMovesWithinTheOutputGroupOnly) {
  MainMenu menu;
  menu.SetAudioTracks({"English", "Deutsch"});
  ASSERT_TRUE(menu.MarkAudioTrack(1));
  const UINT sequence[] = {ID_OUTPUT_DVRMS, ID_OUTPUT_MPG, ID_DEMUX_RIFF, ID_OUTPUT_TS, ID_DEMUX_RAW, ID_OUTPUT_DVRMS};
  for (UINT id : sequence) {
    SCOPED_TRACE(id);
    ASSERT_TRUE(menu.CheckOutput(id));
    EXPECT_EQ(CheckedAmong(menu, ID_OUTPUT_FIRST, ID_OUTPUT_LAST), std::vector<UINT>{id});
    EXPECT_TRUE(menu.Bar().FindCommand(id)->radio);
    EXPECT_TRUE(menu.IsChecked(ID_AUDIO_TRACK_FIRST + 1)) << "the audio group keeps its own mark";
  }
  EXPECT_FALSE(menu.CheckOutput(ID_OPTIONS)) << "outside the group";
  EXPECT_EQ(CheckedAmong(menu, ID_OUTPUT_FIRST, ID_OUTPUT_LAST), std::vector<UINT>{ID_OUTPUT_DVRMS});
}

TEST(MenuModelTest, DemuxItemsAreReplacedAtPositionsNineAndTen) {
  struct Case {
    bool h264;
    const char* raw;
    const char* riff;
  };
  const Case cases[] = {
      {true, "Demux H.264 Raw Video + AC3 Raw Audio", "Demux H.264 Raw Video + AC3 Wav Audio"},
      {false, "Demux Raw Video + Raw Audio", "Demux Raw Video + Riff Audio"},
  };
  MainMenu menu;
  Menu& control = menu.ControlMenu();
  ASSERT_EQ(control.ItemAt(MainMenu::kDemuxRawPosition)->id, ID_DEMUX_RAW);
  ASSERT_EQ(control.ItemAt(MainMenu::kDemuxRiffPosition)->id, ID_DEMUX_RIFF);
  const int count = control.ItemCount();
  menu.CheckOutput(ID_DEMUX_RIFF);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.raw);
    const unsigned redraws = menu.RedrawCount();
    menu.ReplaceDemuxItems(c.h264);
    menu.DrawMenuBar();
    EXPECT_EQ(menu.RedrawCount(), redraws + 1);
    EXPECT_EQ(control.ItemCount(), count);
    EXPECT_EQ(control.ItemAt(MainMenu::kDemuxRawPosition)->id, ID_DEMUX_RAW);
    EXPECT_EQ(control.ItemAt(MainMenu::kDemuxRawPosition)->text, c.raw);
    EXPECT_EQ(control.ItemAt(MainMenu::kDemuxRiffPosition)->id, ID_DEMUX_RIFF);
    EXPECT_EQ(control.ItemAt(MainMenu::kDemuxRiffPosition)->text, c.riff);
    EXPECT_EQ(control.ItemAt(8)->id, ID_OUTPUT_TS);
    EXPECT_EQ(control.ItemAt(11)->separator, true);
    EXPECT_EQ(CheckedAmong(menu, ID_OUTPUT_FIRST, ID_OUTPUT_LAST), std::vector<UINT>{ID_DEMUX_RIFF});
  }
}

TEST(MenuModelTest, AudioItemsOnePerStreamWithinTheirIdentifiers) {
  MainMenu menu;
  menu.SetAudioTracks({"English AC3", "Deutsch MPEG"});
  menu.SetAudioTracks({"eins", "zwei", "drei"});  // a new file replaces the old items
  Menu& tracks = menu.AudioTracksMenu();
  ASSERT_EQ(tracks.ItemCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(tracks.ItemAt(i)->id, ID_AUDIO_TRACK_FIRST + static_cast<UINT>(i));
  EXPECT_EQ(menu.ItemText(ID_AUDIO_TRACK_FIRST + 2), "drei");

  EXPECT_TRUE(menu.MarkAudioTrack(2));
  EXPECT_EQ(CheckedAmong(menu, ID_AUDIO_TRACK_FIRST, ID_AUDIO_TRACK_LAST), std::vector<UINT>{ID_AUDIO_TRACK_FIRST + 2});
  EXPECT_FALSE(menu.MarkAudioTrack(5)) << "no such item: the mark stays";
  EXPECT_TRUE(menu.IsChecked(ID_AUDIO_TRACK_FIRST + 2));

  // Streams past the identifier range would take Set Mark's and other commands' identifiers.
  std::vector<std::string> many(14, "track");
  menu.SetAudioTracks(many);
  EXPECT_EQ(tracks.ItemCount(), MainMenu::kMaxAudioTracks);
  EXPECT_FALSE(menu.HasItem(ID_SET_MARK));

  // A long name is cut to 255 bytes, never inside a character.
  std::string name = std::string(254, 'a') + "\xC3\xA4" + "b";
  menu.SetAudioTracks({name});
  EXPECT_EQ(menu.ItemText(ID_AUDIO_TRACK_FIRST), std::string(254, 'a'));
}

TEST(MenuModelTest, PaneContextMenuChecksTheCurrentPane) {
  for (bool monitor : {true, false}) {
    SCOPED_TRACE(monitor);
    Menu menu = PaneContextMenu(monitor);
    ASSERT_EQ(menu.ItemCount(), 2);
    EXPECT_EQ(menu.FindCommand(ID_MONITOR_PANEL)->text, "Monitor Panel");
    EXPECT_EQ(menu.FindCommand(ID_SOURCES_PANEL)->text, "Sources Panel");
    EXPECT_EQ(menu.FindCommand(ID_MONITOR_PANEL)->checked, monitor);
    EXPECT_EQ(menu.FindCommand(ID_SOURCES_PANEL)->checked, !monitor);
  }
}

}  // namespace
