#include "platform/dshow/ErrorText.h"

#include <cstdio>
#include <cstring>

#include "platform/dshow/Errors.h"

namespace {

struct KnownText {
  HRESULT code;
  const char* text;
};

constexpr KnownText kKnown[] = {
    {S_OK, "No error."},
    {E_NOTIMPL, "Not implemented."},
    {E_NOINTERFACE, "No such interface supported."},
    {E_POINTER, "Invalid pointer."},
    {E_ABORT, "Operation aborted."},
    {E_FAIL, "Unspecified error."},
    {E_UNEXPECTED, "Catastrophic failure."},
    {E_OUTOFMEMORY, "Not enough memory is available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect."},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation."},
    {REGDB_E_CLASSNOTREG, "Class not registered."},
    {CO_E_DLLNOTFOUND, "The module of a registered class could not be found."},
    {CO_E_ERRORINDLL, "The module of a registered class could not be loaded."},
    {VFW_E_INVALIDMEDIATYPE, "The specified media type is invalid."},
    {VFW_E_NOT_CONNECTED, "The operation cannot be performed because the pins are not connected."},
    {VFW_E_ALREADY_CONNECTED, "The operation cannot be performed because the pin is already connected."},
    {VFW_E_NO_ACCEPTABLE_TYPES, "No combination of media types was found for connecting the pins."},
    {VFW_E_NOT_FOUND, "The object or name was not found."},
    {VFW_E_CANNOT_CONNECT, "No combination of intermediate filters could be found to make the connection."},
    {VFW_E_CANNOT_RENDER, "No combination of filters could be found to render the stream."},
    {VFW_E_NOT_STOPPED, "The operation cannot be performed because the filter is active."},
    {VFW_E_WRONG_STATE, "The operation could not be performed because the filter is in the wrong state."},
    {VFW_E_TYPE_NOT_ACCEPTED, "This pin cannot use the supplied media type."},
    {VFW_E_DUPLICATE_NAME, "Failed to add a filter with a duplicate name."},
    {VFW_E_INVALID_FILE_FORMAT, "The file format is invalid."},
    {VFW_E_CIRCULAR_GRAPH, "The filter graph is circular."},
    {DVD_E_NO_TITLE_SET, "No DVD title set was found: open a VTS_nn_0.IFO file or the folder that holds it."},
    {DVD_E_IFO_DAMAGED, "The title set's IFO file and its BUP copy are both damaged or cut short."},
    {DVD_E_CELL_TABLE,
     "The title set's cell table points outside its VOB files: the IFO file is damaged or a VOB file is cut short."},
    {DVD_E_VOB_MISSING, "A VOB file of the title set is missing."},
    {DVD_E_ENCRYPTED, "The title set is encrypted; only unencrypted copies of a DVD can be converted."},
};

constexpr std::uint32_t kWin32Facility = 0x80070000u;

}  // namespace

std::string ErrorText(HRESULT hr) {
  for (const KnownText& known : kKnown) {
    if (known.code == hr) return known.text;
  }
  const auto value = static_cast<std::uint32_t>(hr);
  if ((value & 0xFFFF0000u) == kWin32Facility) {
    // Every failed system call of this platform carries its errno in the low bits.
    return std::string(std::strerror(static_cast<int>(value & 0xFFFFu))) + ".";
  }
  char text[48];
  std::snprintf(text, sizeof text, "Unknown error 0x%08X.", static_cast<unsigned>(value));
  return text;
}

DWORD AMGetErrorText(HRESULT hr, char* buffer, DWORD maxLength) {
  if (!buffer || maxLength == 0) return 0;
  const std::string text = ErrorText(hr);
  const std::size_t length = text.size() < maxLength - 1 ? text.size() : maxLength - 1;
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return static_cast<DWORD>(length);
}
