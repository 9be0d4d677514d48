#include "converter/ui/MenuModel.h"

#include <algorithm>

#include "converter/ui/CommandIds.h"

namespace {

constexpr char kFileMenu[] = "&File";
constexpr char kControlMenu[] = "&Control";
constexpr char kHelpMenu[] = "&Help";
constexpr char kAudioTracksMenu[] = "Audio Tracks";

constexpr char kDemuxRawText[] = "Demux Raw Video + Raw Audio";
constexpr char kDemuxRiffText[] = "Demux Raw Video + Riff Audio";
constexpr char kDemuxRawH264Text[] = "Demux H.264 Raw Video + AC3 Raw Audio";
constexpr char kDemuxRiffH264Text[] = "Demux H.264 Raw Video + AC3 Wav Audio";

// The longest prefix of text within limit bytes that does not end inside a UTF-8 sequence.
std::string CutAtCharacter(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

MenuItem::MenuItem() = default;
MenuItem::MenuItem(UINT itemId, std::string itemText) : id(itemId), text(std::move(itemText)) {}
MenuItem::~MenuItem() = default;
MenuItem::MenuItem(MenuItem&&) noexcept = default;
MenuItem& MenuItem::operator=(MenuItem&&) noexcept = default;

const MenuItem* Menu::ItemAt(int position) const {
  return position >= 0 && position < ItemCount() ? &m_items[static_cast<std::size_t>(position)] : nullptr;
}

MenuItem* Menu::ItemAt(int position) {
  return position >= 0 && position < ItemCount() ? &m_items[static_cast<std::size_t>(position)] : nullptr;
}

void Menu::AppendItem(UINT id, std::string text) { m_items.emplace_back(id, std::move(text)); }

void Menu::AppendSeparator() {
  MenuItem item;
  item.separator = true;
  m_items.push_back(std::move(item));
}

Menu& Menu::AppendPopup(std::string text) {
  MenuItem item(0, std::move(text));
  item.submenu = std::make_unique<Menu>();
  m_items.push_back(std::move(item));
  return *m_items.back().submenu;
}

void Menu::InsertItem(int position, UINT id, std::string text) {
  if (position < 0 || position > ItemCount()) position = ItemCount();
  m_items.insert(m_items.begin() + position, MenuItem(id, std::move(text)));
}

bool Menu::DeleteAt(int position) {
  if (!ItemAt(position)) return false;
  m_items.erase(m_items.begin() + position);
  return true;
}

bool Menu::DeleteCommand(UINT id) {
  int position = 0;
  Menu* holder = MenuHolding(id, &position);
  return holder && holder->DeleteAt(position);
}

Menu* Menu::MenuHolding(UINT id, int* position) {
  for (int i = 0; i < ItemCount(); ++i) {
    MenuItem& item = m_items[static_cast<std::size_t>(i)];
    if (!item.separator && !item.submenu && item.id == id) {
      if (position) *position = i;
      return this;
    }
    if (item.submenu) {
      if (Menu* inner = item.submenu->MenuHolding(id, position)) return inner;
    }
  }
  return nullptr;
}

MenuItem* Menu::FindCommand(UINT id) {
  int position = 0;
  Menu* holder = MenuHolding(id, &position);
  return holder ? holder->ItemAt(position) : nullptr;
}

const MenuItem* Menu::FindCommand(UINT id) const { return const_cast<Menu*>(this)->FindCommand(id); }

Menu* Menu::FindPopup(const std::string& text) {
  for (MenuItem& item : m_items) {
    if (item.submenu && item.text == text) return item.submenu.get();
  }
  return nullptr;
}

bool Menu::EnableCommand(UINT id, bool enabled) {
  MenuItem* item = FindCommand(id);
  if (!item) return false;
  item->enabled = enabled;
  return true;
}

bool Menu::CheckCommand(UINT id, bool checked) {
  MenuItem* item = FindCommand(id);
  if (!item) return false;
  item->checked = checked;
  return true;
}

bool Menu::CheckRadio(UINT first, UINT last, UINT check) {
  if (check < first || check > last) return false;
  Menu* holder = MenuHolding(check);
  if (!holder) return false;
  for (MenuItem& item : holder->m_items) {
    if (item.separator || item.submenu || item.id < first || item.id > last) continue;
    item.checked = item.id == check;
    if (item.checked) item.radio = true;
  }
  return true;
}

// ---- the main window's menu bar ----

MainMenu::MainMenu() {
  Menu& file = m_bar.AppendPopup(kFileMenu);
  file.AppendItem(ID_FILE_LOAD_TS, "Load TS...");
  file.AppendItem(ID_FILE_LOAD_DVRMS, "Load DVR-MS...");
  file.AppendItem(ID_FILE_LOAD_MPG, "Load MPG...");
  file.AppendSeparator();
  file.AppendItem(ID_FILE_PLAY_CONVERTED, "Play Converted File...");
  file.AppendItem(ID_FILE_PROPERTIES, "&Properties...");
  file.AppendSeparator();
  file.AppendItem(ID_FILE_EXIT, "&Exit");

  // The Demux items must sit at positions 9 and 10: OpenInput replaces them there.
  Menu& control = m_bar.AppendPopup(kControlMenu);
  control.AppendItem(ID_START_CONVERSION, "Start Conversion");  // 0
  control.AppendItem(ID_PAUSE, "Pause");                        // 1
  control.AppendItem(ID_STOP, "Stop");                          // 2
  control.AppendSeparator();                                    // 3
  control.AppendPopup(kAudioTracksMenu);                        // 4
  control.AppendSeparator();                                    // 5
  control.AppendItem(ID_OUTPUT_DVRMS, "Output DVR-MS");         // 6
  control.AppendItem(ID_OUTPUT_MPG, "Output MPG");              // 7
  control.AppendItem(ID_OUTPUT_TS, "Output TS");                // 8
  control.AppendItem(ID_DEMUX_RAW, kDemuxRawText);              // 9
  control.AppendItem(ID_DEMUX_RIFF, kDemuxRiffText);            // 10
  control.AppendSeparator();                                    // 11
  control.AppendItem(ID_OPTIONS, "Options...");                 // 12

  Menu& help = m_bar.AppendPopup(kHelpMenu);
  help.AppendItem(ID_VIEW_LOGFILE, "&View Logfile...");
  help.AppendItem(ID_APP_ABOUT, "&About...");

  m_itemless[ID_SET_MARK] = true;
  m_itemless[ID_PLAY_AS_INPUT] = true;
}

Menu& MainMenu::FileMenu() { return *m_bar.FindPopup(kFileMenu); }
Menu& MainMenu::ControlMenu() { return *m_bar.FindPopup(kControlMenu); }
Menu& MainMenu::AudioTracksMenu() { return *ControlMenu().FindPopup(kAudioTracksMenu); }
Menu& MainMenu::HelpMenu() { return *m_bar.FindPopup(kHelpMenu); }

void MainMenu::InitialiseForWindow() {
  for (UINT id : {ID_START_CONVERSION, ID_STOP, ID_PAUSE, ID_PLAY_AS_INPUT, ID_FILE_PLAY_CONVERTED})
    EnableCommand(id, false);
  SetAudioTracks({});
}

bool MainMenu::EnableCommand(UINT id, bool enabled) {
  if (m_bar.EnableCommand(id, enabled)) return true;
  auto itemless = m_itemless.find(id);
  if (itemless == m_itemless.end()) return false;
  itemless->second = enabled;
  return true;
}

bool MainMenu::IsCommandEnabled(UINT id) const {
  if (const MenuItem* item = m_bar.FindCommand(id)) return item->enabled;
  auto itemless = m_itemless.find(id);
  return itemless != m_itemless.end() && itemless->second;
}

bool MainMenu::IsChecked(UINT id) const {
  const MenuItem* item = m_bar.FindCommand(id);
  return item && item->checked;
}

std::string MainMenu::ItemText(UINT id) const {
  const MenuItem* item = m_bar.FindCommand(id);
  return item ? item->text : std::string();
}

bool MainMenu::CheckOutput(UINT id) { return m_bar.CheckRadio(ID_OUTPUT_FIRST, ID_OUTPUT_LAST, id); }

void MainMenu::ReplaceDemuxItems(bool h264) {
  Menu& control = ControlMenu();
  const bool rawMarked = IsChecked(ID_DEMUX_RAW);
  const bool riffMarked = IsChecked(ID_DEMUX_RIFF);
  control.DeleteCommand(ID_DEMUX_RAW);
  control.DeleteCommand(ID_DEMUX_RIFF);
  control.InsertItem(kDemuxRawPosition, ID_DEMUX_RAW, h264 ? kDemuxRawH264Text : kDemuxRawText);
  control.InsertItem(kDemuxRiffPosition, ID_DEMUX_RIFF, h264 ? kDemuxRiffH264Text : kDemuxRiffText);
  if (rawMarked) CheckOutput(ID_DEMUX_RAW);
  if (riffMarked) CheckOutput(ID_DEMUX_RIFF);
}

void MainMenu::SetAudioTracks(const std::vector<std::string>& names) {
  for (UINT id = ID_AUDIO_TRACK_FIRST; id <= ID_AUDIO_TRACK_LAST; ++id) {
    while (m_bar.DeleteCommand(id)) {
    }
  }
  Menu& tracks = AudioTracksMenu();
  const int count = std::min(static_cast<int>(names.size()), kMaxAudioTracks);
  for (int position = 0; position < count; ++position) {
    tracks.InsertItem(position, ID_AUDIO_TRACK_FIRST + static_cast<UINT>(position),
                      CutAtCharacter(names[static_cast<std::size_t>(position)], kMaxAudioTrackText));
  }
}

bool MainMenu::MarkAudioTrack(int index) {
  if (index < 0 || index >= kMaxAudioTracks) return false;
  return m_bar.CheckRadio(ID_AUDIO_TRACK_FIRST, ID_AUDIO_TRACK_LAST, ID_AUDIO_TRACK_FIRST + static_cast<UINT>(index));
}

Menu PaneContextMenu(bool monitorPanelIsCurrent) {
  Menu menu;
  menu.AppendItem(ID_MONITOR_PANEL, "Monitor Panel");
  menu.AppendItem(ID_SOURCES_PANEL, "Sources Panel");
  menu.CheckCommand(ID_MONITOR_PANEL, monitorPanelIsCurrent);
  menu.CheckCommand(ID_SOURCES_PANEL, !monitorPanelIsCurrent);
  return menu;
}
