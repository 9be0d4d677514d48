#include "platform/registry/RegistryNode.h"

#include <algorithm>

std::string RegistryNode::Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

bool RegistryNode::SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && Fold(a) == Fold(b);
}

RegistryNode* RegistryNode::FindChild(std::string_view name) const {
  auto it = m_children.find(Fold(name));
  return it == m_children.end() ? nullptr : it->second.get();
}

RegistryNode* RegistryNode::AddChild(std::string_view name, bool* created) {
  auto [it, inserted] = m_children.try_emplace(Fold(name));
  if (inserted) it->second = std::make_unique<RegistryNode>(std::string(name));
  if (created) *created = inserted;
  return it->second.get();
}

bool RegistryNode::RemoveChild(std::string_view name) { return m_children.erase(Fold(name)) > 0; }

const RegistryNode* RegistryNode::ChildAt(std::size_t index) const {
  if (index >= m_children.size()) return nullptr;
  auto it = m_children.begin();
  std::advance(it, static_cast<std::ptrdiff_t>(index));
  return it->second.get();
}

const RegistryValue* RegistryNode::FindValue(std::string_view name) const {
  auto it = std::find_if(m_values.begin(), m_values.end(),
                         [&](const RegistryValue& value) { return SameName(value.name, name); });
  return it == m_values.end() ? nullptr : &*it;
}

void RegistryNode::SetValue(std::string_view name, DWORD type, std::vector<BYTE> data) {
  for (RegistryValue& value : m_values) {
    if (SameName(value.name, name)) {
      value.type = type;
      value.data = std::move(data);
      return;
    }
  }
  m_values.push_back(RegistryValue{std::string(name), type, std::move(data)});
}

bool RegistryNode::RemoveValue(std::string_view name) {
  auto it = std::find_if(m_values.begin(), m_values.end(),
                         [&](const RegistryValue& value) { return SameName(value.name, name); });
  if (it == m_values.end()) return false;
  m_values.erase(it);
  return true;
}

const RegistryNode* RegistryNode::Find(const std::vector<std::string>& path) const {
  const RegistryNode* node = this;
  for (const std::string& name : path) {
    node = node->FindChild(name);
    if (!node) return nullptr;
  }
  return node;
}

RegistryNode* RegistryNode::Find(const std::vector<std::string>& path) {
  return const_cast<RegistryNode*>(static_cast<const RegistryNode*>(this)->Find(path));
}

bool SplitRegistryPath(std::string_view path, std::vector<std::string>* names) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) {
      if (end - start > RegistryNode::kMaxKeyNameLength) return false;
      names->emplace_back(path.substr(start, end - start));
      if (names->size() > RegistryNode::kMaxDepth) return false;
    }
    start = end + 1;
  }
  return true;
}
