#pragma once
// The Options sheet's "Filters" page as data: the filters of the current conversion graph, newest
// on top, and "Properties" for the selected one. The property frame belongs to the window layer
// and is handed in; without one nothing opens.
#include <functional>
#include <string>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/dshow/GraphInterfaces.h"

class CFilterPage {
 public:
  static constexpr char kCaption[] = "Filters";
  static constexpr int IDC_FILTER_LIST = 1041;
  static constexpr int IDC_PROPERTIES = 1042;
  // Left out of the list: the tee the platform puts in by itself.
  static constexpr char kHiddenFilter[] = "Smart Tee";
  static constexpr std::size_t kMaxNameBytes = 256;

  // Opens the system property frame for one filter, owned by the page, captioned with the
  // filter's name, showing the given pages.
  using PropertyFrame = std::function<void(IBaseFilter* filter, const std::string& caption, const CAUUID& pages)>;

  // graph may be null (no file loaded).
  explicit CFilterPage(IFilterGraph* graph) : m_graph(graph) {}

  // Lists the graph's filters in the reverse of their enumeration order, without "Smart Tee".
  void OnInitDialog();
  const std::vector<std::string>& Lines() const { return m_lines; }

  void Select(int line) { m_selected = line >= 0 && line < static_cast<int>(m_lines.size()) ? line : -1; }
  int Selected() const { return m_selected; }

  // "Properties": the first filter named as the selected line that offers property pages gets a
  // frame. False when nothing opened (no graph, no selection, no pages, no frame).
  bool OnProperties(const PropertyFrame& frame);

 private:
  ComPtr<IFilterGraph> m_graph;
  std::vector<std::string> m_lines;
  int m_selected = -1;
};
