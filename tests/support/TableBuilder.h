#pragma once
// Common header controls of the PAT, PMT and SDT builders, so that every table reads fluently:
//   PatBuilder().TransportStreamId(7).Program(1, 0x100).Version(2).SpoilCrc().Build()

#include "tests/support/SectionBuilder.h"

namespace testsupport {

template <typename Derived>
class TableBuilder {
 public:
  Derived& Version(uint8_t version_number) { m_section.Version(version_number); return Self(); }
  Derived& CurrentNext(bool current_next_indicator) { m_section.CurrentNext(current_next_indicator); return Self(); }
  Derived& SectionNumber(uint8_t section_number) { m_section.SectionNumber(section_number); return Self(); }
  Derived& LastSectionNumber(uint8_t last_section_number) { m_section.LastSectionNumber(last_section_number); return Self(); }
  Derived& SyntaxIndicator(bool value) { m_section.SyntaxIndicator(value); return Self(); }
  Derived& TableId(uint8_t table_id) { m_section.TableId(table_id); return Self(); }
  Derived& SectionLength(uint16_t section_length) { m_section.SectionLength(section_length); return Self(); }
  Derived& SpoilCrc(bool spoil = true) { m_section.SpoilCrc(spoil); return Self(); }

  // The section envelope with this table's body filled in, for further changes.
  SectionBuilder Section() const {
    SectionBuilder section = m_section;
    section.Body(static_cast<const Derived&>(*this).BuildBody());
    return section;
  }
  Bytes Build() const { return Section().Build(); }

 protected:
  explicit TableBuilder(uint8_t table_id) : m_section(table_id) {}
  SectionBuilder& Envelope() { return m_section; }

 private:
  Derived& Self() { return static_cast<Derived&>(*this); }
  SectionBuilder m_section;
};

}  // namespace testsupport
