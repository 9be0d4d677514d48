#pragma once
// The platform's own filters, created by class identifier through the built-in class table
// (they are registered there when libplatform is loaded).
#include "platform/com/unknown.h"
#include "platform/dshow/Guids.h"

// The File Writer: every MEDIATYPE_Stream sample is written at the offset its start time gives.
HRESULT CreateFileWriter(IUnknown* outer, REFIID riid, void** ppv);
// Registers the platform filters in the built-in class table (done once at library load;
// calling it again changes nothing).
void RegisterPlatformFilters();
