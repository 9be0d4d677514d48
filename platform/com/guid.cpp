#include "platform/com/guid.h"

#include <cstdio>

#include "platform/com/wstring.h"

std::string GuidToString(REFGUID g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

std::u16string GuidToWideString(REFGUID guid) { return Utf8ToUtf16(GuidToString(guid)); }

bool GuidFromString(std::string_view text, GUID* guid) {
  if (!guid) return false;
  GUID parsed{};
  if (!guid_detail::Parse(text, parsed)) return false;
  *guid = parsed;
  return true;
}

HRESULT CLSIDFromString(const char16_t* text, CLSID* clsid) {
  if (!text || !clsid) return E_POINTER;
  std::string narrow = Utf16ToUtf8(text);
  if (narrow.size() != 38 || !GuidFromString(narrow, clsid)) return CO_E_CLASSSTRING;
  return S_OK;
}

int StringFromGUID2(REFGUID guid, char16_t* buffer, int capacity) {
  std::u16string text = GuidToWideString(guid);
  if (!buffer || capacity < static_cast<int>(text.size()) + 1) return 0;
  text.copy(buffer, text.size());
  buffer[text.size()] = u'\0';
  return static_cast<int>(text.size()) + 1;
}
