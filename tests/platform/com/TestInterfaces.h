#pragma once
#include "platform/com/unknown.h"

// A tiny interface served by the test module.
struct ICounter : IUnknown {
  PLATFORM_INTERFACE_ID("5B1D3C0A-7F2E-4D6B-9A31-0C8E2F4B6D10");
  STDMETHOD(Increment)(LONG* value) = 0;
};

inline constexpr CLSID CLSID_TestCounter = MakeGuid("{5B1D3C0A-7F2E-4D6B-9A31-0C8E2F4B6D11}");
