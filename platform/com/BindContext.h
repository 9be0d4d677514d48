#pragma once
// A bind context: here only the way to the Running Object Table.
#include "platform/com/moniker.h"

class BindContext final : public ComObject<IBindCtx> {
 public:
  STDMETHODIMP GetRunningObjectTable(IRunningObjectTable** table) override;
};
