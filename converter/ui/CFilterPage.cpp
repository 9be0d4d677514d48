#include "converter/ui/CFilterPage.h"

#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"

namespace {

std::string CutAtCharacter(std::string text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

std::string FilterName(IBaseFilter* filter) {
  FILTER_INFO info{};
  if (FAILED(filter->QueryFilterInfo(&info))) return std::string();
  if (info.pGraph) info.pGraph->Release();
  info.achName[MAX_FILTER_NAME - 1] = 0;
  return CutAtCharacter(Utf16ToUtf8(info.achName), CFilterPage::kMaxNameBytes);
}

}  // namespace

void CFilterPage::OnInitDialog() {
  m_lines.clear();
  m_selected = -1;
  if (!m_graph) return;
  ComPtr<IEnumFilters> filters;
  if (FAILED(m_graph->EnumFilters(filters.GetAddressOf())) || !filters) return;
  ComPtr<IBaseFilter> filter;
  while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK && filter) {
    std::string name = FilterName(filter.Get());
    if (name != kHiddenFilter) m_lines.insert(m_lines.begin(), std::move(name));
  }
}

bool CFilterPage::OnProperties(const PropertyFrame& frame) {
  if (!m_graph || m_selected < 0 || !frame) return false;
  const std::string& wanted = m_lines[static_cast<std::size_t>(m_selected)];
  ComPtr<IEnumFilters> filters;
  if (FAILED(m_graph->EnumFilters(filters.GetAddressOf())) || !filters) return false;
  ComPtr<IBaseFilter> filter;
  while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK && filter) {
    if (FilterName(filter.Get()) != wanted) continue;
    ComPtr<ISpecifyPropertyPages> specify;
    if (FAILED(filter.As(&specify))) continue;
    CAUUID pages{0, nullptr};
    if (FAILED(specify->GetPages(&pages))) continue;
    frame(filter.Get(), wanted, pages);
    CoTaskMemFree(pages.pElems);
    return true;
  }
  return false;
}
