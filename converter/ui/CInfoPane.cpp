#include "converter/ui/CInfoPane.h"

CInfoPane::CInfoPane(std::string fileName) : CBasePane(std::move(fileName)) {
  for (int id : {IDC_VIDEO_SIZE, IDC_FRAME_RATE, IDC_ASPECT_RATIO, IDC_AUDIO_TYPE, IDC_AUDIO_FORMAT, IDC_TRACK,
                 IDC_OUTPUT_FILE, IDC_OUTPUT_FORMAT, IDC_FILE_POS, IDC_STREAM_TIME, IDC_REMAINING, IDC_COMPLETE})
    m_fields[id] = kEmptyField;
}

bool CInfoPane::SetField(int id, std::string text) {
  auto field = m_fields.find(id);
  if (field == m_fields.end()) return false;
  field->second = std::move(text);
  return true;
}

std::string CInfoPane::Field(int id) const {
  auto field = m_fields.find(id);
  return field == m_fields.end() ? std::string() : field->second;
}
