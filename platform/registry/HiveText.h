#pragma once
// The text form of a hive file, readable and editable by people:
//
//   ; registry hive, format 1
//   [CLSID\{5B1D3C0A-7F2E-4D6B-9A31-0C8E2F4B6D11}\InprocServer32]
//   @="/usr/lib/orvanet/Flumetta.ax"
//   "ThreadingModel"="Both"
//   "Count"=dword:0000002a
//   "Blob"=hex:01,ff,00
//   "Other"=hex(2):41,00
//   ; end of hive
//
// Every key has a header line with its full path (the root's "[]" only when it holds values);
// "@" names the default value. Quoted text escapes \\ \" and control characters (\n \r \t \xHH);
// key names escape "%" and control characters as %HH. "..." is REG_SZ text with one terminating
// zero and "expand:..." the same for REG_EXPAND_SZ; any other data is written as hex(type).
// The first and last lines are required, so a truncated file is recognised as damaged.
#include <string>
#include <string_view>

#include "platform/registry/RegistryNode.h"

std::string WriteHiveText(const RegistryNode& root);
// Parses a whole file into an empty root; false (with the 1-based line number) for a damaged file.
bool ReadHiveText(std::string_view text, RegistryNode* root, std::size_t* badLine = nullptr);
