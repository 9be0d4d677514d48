#pragma once
// What the About window shows: the product lines and six version lines, each "Not yet loaded"
// until the main window has a value for it. The window itself only draws these lines (and cuts a
// long value with an ellipsis to fit).
#include <string>
#include <vector>

struct AboutVersions {
  std::string mediaPlayer;   // the preview player's version
  std::string flumetta;      // vendor information of the loaded source filter
  std::string gallowin;      // of the dump filter, once a conversion started
  std::string ambrel;        // of the WAV writer, once a conversion started
  std::string multiplexer;   // the multiplexer in use (whole filter spec)
  std::string ac3Analyzer;   // the AC3 analyzer in use (whole filter spec)
};

struct AboutLine {
  std::string caption;  // "Flumetta Version:"
  std::string value;    // the version, or "Not yet loaded"
};

struct AboutContents {
  std::string product;  // "Orvanet Brannock"
  std::string version;  // "Version 2.5 (MPEG-2 and H.264 Support)"
  std::vector<AboutLine> lines;  // in the window's order
};

AboutContents MakeAboutContents(const AboutVersions& versions);
