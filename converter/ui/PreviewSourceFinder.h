#pragma once
// Finding the preview's transport-stream source filter. The preview player builds a graph of its
// own; the source filter enters itself in the Running Object Table once its output is connected,
// under the item name "Flumetta:<file> pid <process id, 8 hex digits>". The mark editors find it
// there by that name and steer the preview through its IMediaSeeking.
#include <string>

#include "platform/com/hresult.h"
#include "platform/dshow/SeekingInterfaces.h"

// "!Flumetta:<file name> pid %08x": the display name of the source's entry.
std::string PreviewSourceDisplayName(const std::string& fileName, DWORD processId);

// Looks through every entry of the table for the exact display name; of the matching entries the
// last one that offers IMediaSeeking is taken (*seeking gets a reference). S_FALSE, with *seeking
// null, when none does.
HRESULT FindPreviewSeeking(const std::string& fileName, DWORD processId, IMediaSeeking** seeking);
