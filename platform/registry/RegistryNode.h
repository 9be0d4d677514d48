#pragma once
// One key of a hive held in memory: its subkeys (ordered by their case-folded names, which is
// also the enumeration order) and its values (in the order they were first set). Names compare
// without regard to ASCII case; the spelling of the first creation is kept.
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/types.h"

struct RegistryValue {
  std::string name;  // "" is the key's default value
  DWORD type = 0;
  std::vector<BYTE> data;
};

class RegistryNode {
 public:
  // Limits that keep a hand-edited or damaged file from building absurd trees.
  static constexpr std::size_t kMaxKeyNameLength = 255;
  static constexpr std::size_t kMaxValueNameLength = 16383;
  static constexpr std::size_t kMaxDepth = 512;

  explicit RegistryNode(std::string name = {}) : m_name(std::move(name)) {}

  const std::string& Name() const { return m_name; }

  RegistryNode* FindChild(std::string_view name) const;
  // Returns the existing child or a new one; *created tells which.
  RegistryNode* AddChild(std::string_view name, bool* created = nullptr);
  bool RemoveChild(std::string_view name);
  std::size_t ChildCount() const { return m_children.size(); }
  // The index-th child in enumeration order, nullptr past the end.
  const RegistryNode* ChildAt(std::size_t index) const;
  template <class Visit>
  void ForEachChild(Visit visit) const {
    for (const auto& [folded, child] : m_children) visit(*child);
  }

  const RegistryValue* FindValue(std::string_view name) const;
  void SetValue(std::string_view name, DWORD type, std::vector<BYTE> data);
  bool RemoveValue(std::string_view name);
  const std::vector<RegistryValue>& Values() const { return m_values; }
  void ClearValues() { m_values.clear(); }
  void ClearChildren() { m_children.clear(); }

  // Walks a path of names from this node; nullptr when a key on the way is missing.
  const RegistryNode* Find(const std::vector<std::string>& path) const;
  RegistryNode* Find(const std::vector<std::string>& path);

  static std::string Fold(std::string_view name);
  static bool SameName(std::string_view a, std::string_view b);

 private:
  std::string m_name;
  std::map<std::string, std::unique_ptr<RegistryNode>> m_children;  // by folded name
  std::vector<RegistryValue> m_values;
};

// Splits "A\B\C" into its names, skipping empty ones (a leading or doubled "\"). False when a name
// is too long.
bool SplitRegistryPath(std::string_view path, std::vector<std::string>* names);
