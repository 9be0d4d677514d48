#pragma once
// Menus as data: items with their command identifiers, texts, enabled state and check or radio
// marks, pop-ups holding menus of their own, and the main window's menu bar built from them. A
// widget layer draws a menu from this model and sends the chosen identifier back as a command.
//
// Positions are 0-based. Commands are found in a menu and, depth first, in its pop-ups; the
// first item with the identifier is the one meant.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "converter/ui/CommandIds.h"
#include "platform/com/types.h"

class Menu;

struct MenuItem {
  MenuItem();
  MenuItem(UINT id, std::string text);
  ~MenuItem();
  MenuItem(MenuItem&&) noexcept;
  MenuItem& operator=(MenuItem&&) noexcept;

  bool IsSeparator() const { return separator; }
  bool IsPopup() const { return submenu != nullptr; }

  UINT id = 0;  // 0 for separators and pop-ups
  std::string text;
  bool separator = false;
  bool enabled = true;   // false: greyed
  bool checked = false;  // carries a mark
  bool radio = false;    // the mark is a radio bullet (set by CheckRadio)
  std::unique_ptr<Menu> submenu;
};

class Menu {
 public:
  int ItemCount() const { return static_cast<int>(m_items.size()); }
  const MenuItem* ItemAt(int position) const;
  MenuItem* ItemAt(int position);

  void AppendItem(UINT id, std::string text);
  void AppendSeparator();
  Menu& AppendPopup(std::string text);
  // Inserts a command item before position; a position past the end appends.
  void InsertItem(int position, UINT id, std::string text);
  bool DeleteAt(int position);
  // Deletes the first item with the identifier (pop-ups included); false when there is none.
  bool DeleteCommand(UINT id);

  const MenuItem* FindCommand(UINT id) const;
  MenuItem* FindCommand(UINT id);
  // The menu that holds the command's item and the item's position there; null when none does.
  Menu* MenuHolding(UINT id, int* position = nullptr);
  // The pop-up item with this text at this level, or null.
  Menu* FindPopup(const std::string& text);

  bool EnableCommand(UINT id, bool enabled);
  bool CheckCommand(UINT id, bool checked);
  // Puts a radio mark on check and clears the marks of the other items of check's menu whose
  // identifiers lie in first..last. False, and nothing changes, when check has no item or lies
  // outside the range.
  bool CheckRadio(UINT first, UINT last, UINT check);

 private:
  std::vector<MenuItem> m_items;
};

// The main window's menu bar: File, Control (with its Audio Tracks pop-up) and Help, laid out as
// the window's resource has them. Commands without a menu item (Set Mark, and loading the
// converted file as input) still carry an enabled state here, so a window that offers them
// elsewhere asks the same model.
class MainMenu {
 public:
  // Positions in the Control menu of the two demultiplexed-output items.
  static constexpr int kDemuxRawPosition = 9;
  static constexpr int kDemuxRiffPosition = 10;
  // At most one audio item per identifier of the range.
  static constexpr int kMaxAudioTracks = static_cast<int>(ID_AUDIO_TRACK_LAST - ID_AUDIO_TRACK_FIRST + 1);
  // Longest audio item text in bytes.
  static constexpr std::size_t kMaxAudioTrackText = 255;

  MainMenu();

  Menu& Bar() { return m_bar; }
  const Menu& Bar() const { return m_bar; }
  Menu& FileMenu();
  Menu& ControlMenu();
  Menu& AudioTracksMenu();
  Menu& HelpMenu();

  // The window's initialisation: greys Start Conversion, Stop, Pause, Play Converted File... and
  // command 32780, and empties the Audio Tracks pop-up.
  void InitialiseForWindow();

  bool EnableCommand(UINT id, bool enabled);
  bool IsCommandEnabled(UINT id) const;
  bool IsChecked(UINT id) const;
  // The item's text; empty when there is no item.
  std::string ItemText(UINT id) const;
  bool HasItem(UINT id) const { return m_bar.FindCommand(id) != nullptr; }

  // Radio mark on one of the output items 32810 to 32814.
  bool CheckOutput(UINT id);
  // Deletes the two Demux items and inserts them again at their positions with the texts for an
  // H.264 or another source; an item that carried the output mark keeps it.
  void ReplaceDemuxItems(bool h264);
  // Deletes every audio item, then inserts one per name at its position, identifier 32790 +
  // position, the text cut to 255 bytes (at a character boundary). Names beyond the identifier
  // range are left out: their identifiers belong to other commands.
  void SetAudioTracks(const std::vector<std::string>& names);
  // The radio mark of the audio items on 32790 + index (when that item exists).
  bool MarkAudioTrack(int index);

  // "Redraw the menu bar": counted, so a window (or a test) sees that it was asked.
  void DrawMenuBar() { ++m_redrawCount; }
  unsigned RedrawCount() const { return m_redrawCount; }

 private:
  Menu m_bar;
  std::map<UINT, bool> m_itemless;  // enabled state of the commands without an item
  unsigned m_redrawCount = 0;
};

// The pane context menu: "Monitor Panel" (32820) and "Sources Panel" (32819), the first checked
// when the Monitor panel is the current pane, the second otherwise.
Menu PaneContextMenu(bool monitorPanelIsCurrent);
