#pragma once
// The Monitor panel as data: what the recording contains and how far a conversion has come, as
// texts by control identifier. Every value field starts as "-" and keeps its last text until it
// is written again. Its marks stay 0, so a conversion started from it converts the whole file.
#include <map>
#include <string>

#include "converter/ui/CBasePane.h"

class CInfoPane : public CBasePane {
 public:
  // Value fields.
  static constexpr int IDC_VIDEO_SIZE = 1002;    // VIDEOSIZE
  static constexpr int IDC_FRAME_RATE = 1003;    // FRAMERATE
  static constexpr int IDC_ASPECT_RATIO = 1004;  // ASPECTRATIO
  static constexpr int IDC_AUDIO_TYPE = 1007;    // AUDIOTYPE
  static constexpr int IDC_AUDIO_FORMAT = 1008;  // AUDIOFORMAT
  static constexpr int IDC_TRACK = 1009;         // the audio track's name
  static constexpr int IDC_OUTPUT_FILE = 1011;   // the output path
  static constexpr int IDC_OUTPUT_FORMAT = 1012; // "dvr-ms", "mpg", "demux" or "ts"
  static constexpr int IDC_FILE_POS = 1013;      // "%ld KB" of input passed
  static constexpr int IDC_STREAM_TIME = 1015;   // position in the conversion graph
  static constexpr int IDC_REMAINING = 1016;     // estimated time left
  static constexpr int IDC_COMPLETE = 1017;      // "%d%%"
  static constexpr char kEmptyField[] = "-";

  explicit CInfoPane(std::string fileName = std::string());

  bool IsMonitorPanel() const override { return true; }

  // False, and nothing changes, for an identifier that is not a value field of this pane.
  bool SetField(int id, std::string text);
  // The field's text; empty for an identifier that is not a value field.
  std::string Field(int id) const;

 private:
  std::map<int, std::string> m_fields;
};
