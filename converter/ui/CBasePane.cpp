#include "converter/ui/CBasePane.h"

CBasePane::CBasePane(std::string fileName, std::int32_t markIn, std::int32_t markOut) : m_fileName(std::move(fileName)) {
  m_marks.markIn = markIn;
  m_marks.markOut = markOut;
}
