#include "converter/engine/CheckPoint.h"

const char* CheckPointName(int checkPoint) {
  static constexpr const char* kNames[] = {"GraphBuilder", "AddPump", "AddFilter", "Demux",     "VideoAnalyzer",
                                           "SBE",          "CLMux",   "Dumper",    "SmartTee",  "AudioDump",
                                           "EncryptTag",   "Rot",     "AC3Filter", "Ambrel",    "unknown"};
  if (checkPoint < 0 || checkPoint > 14) return "unknown";
  return kNames[checkPoint];
}
