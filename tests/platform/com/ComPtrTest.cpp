#include <gtest/gtest.h>

#include "platform/com/comptr.h"
#include "tests/platform/com/TestInterfaces.h"

namespace {
struct IOther : IUnknown {
  PLATFORM_INTERFACE_ID("0C1A2B3D-4E5F-6071-8293-A4B5C6D7E8F9");
};

struct IMissing : IUnknown {
  PLATFORM_INTERFACE_ID("11111111-2222-3333-4444-555555555555");
};

int g_alive = 0;

class Tracked final : public ComObject<ICounter, IOther> {
 public:
  Tracked() { ++g_alive; }
  STDMETHODIMP Increment(LONG* value) override { *value = 1; return S_OK; }
  ULONG Refs() { AddRef(); return Release(); }

 private:
  ~Tracked() override { --g_alive; }
};

TEST(ComPtr, CountsReferencesAcrossCopiesMovesAndQueries) {
  {
    ComPtr<ICounter> a;
    a.Attach(new Tracked());
    EXPECT_EQ(g_alive, 1);
    ComPtr<ICounter> b = a;
    ComPtr<ICounter> c = std::move(b);
    EXPECT_FALSE(b);
    ComPtr<IOther> other;
    EXPECT_EQ(a.As(&other), S_OK);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(other.As(&unknown), S_OK);
    EXPECT_EQ(static_cast<Tracked*>(a.Get())->Refs(), 4u);
    ComPtr<IMissing> missing;
    EXPECT_EQ(a.As(&missing), E_NOINTERFACE);
    EXPECT_FALSE(missing);
  }
  EXPECT_EQ(g_alive, 0);
}

TEST(ComPtr, DetachHandsOverTheReference) {
  ComPtr<ICounter> a;
  a.Attach(new Tracked());
  ICounter* raw = a.Detach();
  EXPECT_FALSE(a);
  EXPECT_EQ(g_alive, 1);
  raw->Release();
  EXPECT_EQ(g_alive, 0);
}
}  // namespace
