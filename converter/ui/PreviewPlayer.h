#pragma once
// What the main window asks of its preview player: a URL to play, stop, the display mode, the
// audio language, its version, and the media attributes the Monitor panel shows for inputs that
// are not transport streams. A widget layer supplies one; quiet and automation runs have none.
#include <string>
#include <utility>
#include <vector>

#include "platform/com/hresult.h"

class PreviewPlayer {
 public:
  virtual ~PreviewPlayer() = default;
  virtual void SetUrl(const std::string& url) = 0;
  virtual void Stop() = 0;
  virtual void SetUiMode(const std::string& mode) = 0;  // "mini" or "full"
  // 1-based, as the player counts; a failure is an automation fault.
  virtual HRESULT SetCurrentAudioLanguageIndex(int index) = 0;
  virtual std::string VersionInfo() const = 0;
  virtual int ImageSourceWidth() const = 0;
  virtual int ImageSourceHeight() const = 0;
  // The network object's frame rates; false when the player has no network object.
  virtual bool FrameRates(double* encodedFrameRate, double* framesPerHundredSeconds) const = 0;
  // The current media's attributes, name and value.
  virtual std::vector<std::pair<std::string, std::string>> MediaAttributes() const = 0;
};
