#pragma once
// CRefTime: a media time in 100-ns units with millisecond helpers.
#include "platform/com/types.h"

inline constexpr LONGLONG UNITS = 10000000;   // 100-ns units per second
inline constexpr LONGLONG MILLISECONDS = 10000;  // 100-ns units per millisecond

class CRefTime {
 public:
  REFERENCE_TIME m_time = 0;

  CRefTime() = default;
  CRefTime(LONG millisecs) : m_time(millisecs * MILLISECONDS) {}
  CRefTime(REFERENCE_TIME time) : m_time(time) {}
  operator REFERENCE_TIME() const { return m_time; }
  CRefTime& operator=(REFERENCE_TIME time) { m_time = time; return *this; }
  CRefTime& operator+=(const CRefTime& other) { m_time += other.m_time; return *this; }
  CRefTime& operator-=(const CRefTime& other) { m_time -= other.m_time; return *this; }
  LONG Millisecs() const { return static_cast<LONG>(m_time / MILLISECONDS); }
  REFERENCE_TIME GetUnits() const { return m_time; }
};
