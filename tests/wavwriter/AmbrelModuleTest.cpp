// Ambrel.ax as a host sees it: loaded by name, registered, created by class identifier.
#include <gtest/gtest.h>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/library.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "platform/dshow/Interfaces.h"
#include "tests/platform/registry/TemporaryRegistry.h"
#include "wavwriter/AmbrelGuids.h"

namespace {

class AmbrelModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_module = LoadLibrary("Ambrel.ax");
    ASSERT_NE(m_module, nullptr) << LastLibraryError();
    m_register = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(m_module, "DllRegisterServer"));
    m_unregister = reinterpret_cast<DllUnregisterServerFn>(GetProcAddress(m_module, "DllUnregisterServer"));
    m_canUnload = reinterpret_cast<DllCanUnloadNowFn>(GetProcAddress(m_module, "DllCanUnloadNow"));
    ASSERT_TRUE(m_register && m_unregister && m_canUnload && GetProcAddress(m_module, "DllGetClassObject"));
  }

  TemporaryRegistry m_registry;
  HMODULE m_module = nullptr;
  DllRegisterServerFn m_register = nullptr;
  DllUnregisterServerFn m_unregister = nullptr;
  DllCanUnloadNowFn m_canUnload = nullptr;
};

TEST_F(AmbrelModuleTest, RegisteredFilterIsCreatedByClassUntilUnregistered) {
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(m_register(), S_OK);
  EXPECT_NE(RegisteredModulePath(CLSID_Ambrel).find("Ambrel.ax"), std::string::npos);
  ASSERT_EQ(CoCreateInstance(CLSID_Ambrel, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf())), S_OK);

  LPWSTR vendor = nullptr;
  ASSERT_EQ(filter->QueryVendorInfo(&vendor), S_OK);
  EXPECT_EQ(Utf16ToUtf8(vendor), "1.2.0.0");
  CoTaskMemFree(vendor);
  ComPtr<IPin> in, out;
  EXPECT_EQ(filter->FindPin(u"In", in.GetAddressOf()), S_OK);
  EXPECT_EQ(filter->FindPin(u"Out", out.GetAddressOf()), S_OK);

  EXPECT_EQ(m_canUnload(), S_FALSE) << "a filter is alive";
  in.Reset();
  out.Reset();
  filter.Reset();
  EXPECT_EQ(m_canUnload(), S_OK);

  ASSERT_EQ(m_unregister(), S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_Ambrel, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(filter.GetAddressOf())),
            REGDB_E_CLASSNOTREG);
}

}  // namespace
