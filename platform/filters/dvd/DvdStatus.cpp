#include "platform/filters/dvd/DvdStatus.h"

const char* DvdStatusText(HRESULT status) {
  switch (status) {
    case DVD_E_NO_TITLE_SET:
      return "No DVD title set was found: open a VTS_nn_0.IFO file or the folder that holds it.";
    case DVD_E_IFO_DAMAGED:
      return "The title set's IFO file and its BUP copy are both damaged or cut short.";
    case DVD_E_CELL_TABLE:
      return "The title set's cell table points outside its VOB files: the IFO file is damaged or a VOB file is cut short.";
    case DVD_E_VOB_MISSING:
      return "A VOB file of the title set is missing.";
    case DVD_E_ENCRYPTED:
      return "The title set is encrypted; only unencrypted copies of a DVD can be converted.";
    default:
      return nullptr;
  }
}
