#include "platform/filters/TimestampUnwrapper.h"

std::int64_t TimestampUnwrapper::Unwrap(std::uint64_t raw) {
  const std::int64_t value = static_cast<std::int64_t>(raw & (kWrap - 1));
  if (!m_hasLast) {
    m_hasLast = true;
    m_last = value;
    return value;
  }
  // Candidate in the same 2^33 period as the last value, then the neighbouring period when that
  // is nearer.
  const std::int64_t base = m_last - (m_last & (kWrap - 1));
  std::int64_t extended = base + value;
  const std::int64_t half = kWrap / 2;
  if (extended < m_last - half) {
    extended += kWrap;
  } else if (extended > m_last + half && extended >= kWrap) {
    extended -= kWrap;
  }
  m_last = extended;
  return extended;
}
