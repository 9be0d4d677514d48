#include "converter/ui/AboutContents.h"

namespace {
constexpr char kNotYetLoaded[] = "Not yet loaded";

AboutLine Line(const char* caption, const std::string& value) {
  return AboutLine{caption, value.empty() ? std::string(kNotYetLoaded) : value};
}
}  // namespace

AboutContents MakeAboutContents(const AboutVersions& versions) {
  AboutContents about;
  about.product = "Orvanet Brannock";
  about.version = "Version 2.5 (MPEG-2 and H.264 Support)";
  about.lines = {
      Line("Media Player Version:", versions.mediaPlayer), Line("Flumetta Version:", versions.flumetta),
      Line("Gallowin Version:", versions.gallowin),        Line("Ambrel Version:", versions.ambrel),
      Line("MPEG-2 Multiplexer:", versions.multiplexer),   Line("AC3 Analyzer:", versions.ac3Analyzer),
  };
  return about;
}
