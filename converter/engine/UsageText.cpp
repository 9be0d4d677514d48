#include "converter/engine/UsageText.h"

const std::vector<std::string>& UsageLines() {
  static const std::vector<std::string> lines = {
      "Orvanet Brannock Version 2.0 Beta 4",
      "",
      "brannock /Options <Required Parameters> [Optional Parameters]",
      "",
      "</i> <infile>",
      "\tOpens the transport stream or mpeg stream for conversion",
      "\t",
      "/o <outfile>",
      "\tspecifies the output file",
      "\t",
      "/d <output directory>",
      "\tspecifies the output directory",
      "\t",
      "/f [0|1|2|3] ",
      "\tSpecifies the output format",
      "\t0 - DVR-MS",
      "\t1 - MPEG-2 Program Stream",
      "\t2 - Transport Stream",
      "\t3 - Demultiplexed MPV + MPA",
      "\t",
      "/q",
      "\tBackground mode, no user interaction",
      "\t",
      "/h",
      "\tThis help information",
      "\t",
      "\t",
      "(c) Orvanet. With /q the exit status is 0 when the conversion completed and 1 when it ended "
      "on a message, which is written to <infile without extension>.log.",
  };
  return lines;
}

std::string UsageText(std::string_view lineEnd) {
  std::string text;
  const std::vector<std::string>& lines = UsageLines();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += lineEnd;
    text += lines[i];
  }
  return text;
}
