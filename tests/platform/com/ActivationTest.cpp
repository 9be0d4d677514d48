#include <gtest/gtest.h>

#include "platform/com/activation.h"
#include "platform/com/comptr.h"
#include "platform/com/library.h"
#include "platform/registry/registry.h"
#include "tests/platform/com/TestInterfaces.h"
#include "tests/platform/registry/TemporaryRegistry.h"

namespace {
constexpr CLSID kBuiltinClass = MakeGuid("{5B1D3C0A-7F2E-4D6B-9A31-0C8E2F4B6D12}");
constexpr CLSID kUnknownClass = MakeGuid("{5B1D3C0A-7F2E-4D6B-9A31-0C8E2F4B6D13}");

class BuiltinCounter final : public ComObject<ICounter> {
 public:
  STDMETHODIMP Increment(LONG* value) override { *value = 42; return S_OK; }
};

HRESULT CreateBuiltin(IUnknown*, REFIID riid, void** ppv) {
  auto* object = new BuiltinCounter();
  HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

TEST(Activation, BuiltinClassesAreCreatedFirst) {
  RegisterBuiltinClass("Builtin Counter", kBuiltinClass, CreateBuiltin);
  ComPtr<ICounter> counter;
  ASSERT_EQ(CoCreateInstance(kBuiltinClass, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(counter.GetAddressOf())), S_OK);
  LONG value = 0;
  counter->Increment(&value);
  EXPECT_EQ(value, 42);
}

// Every test here that may read the registry gets a fresh, empty one.
class ActivationThroughRegistry : public ::testing::Test {
 protected:
  TemporaryRegistry m_registry;
};

TEST_F(ActivationThroughRegistry, UnknownClassIsNotRegistered) {
  ComPtr<ICounter> counter;
  EXPECT_EQ(CoCreateInstance(kUnknownClass, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(counter.GetAddressOf())),
            REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(counter);
}

TEST_F(ActivationThroughRegistry, RegisteredModuleClassIsCreatedUntilUnregistered) {
  HMODULE module = LoadLibrary("PlatformTestModule.ax");
  ASSERT_NE(module, nullptr) << LastLibraryError();
  auto registerServer = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(module, "DllRegisterServer"));
  auto unregisterServer = reinterpret_cast<DllUnregisterServerFn>(GetProcAddress(module, "DllUnregisterServer"));
  ASSERT_TRUE(registerServer && unregisterServer);

  ComPtr<ICounter> counter;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(counter.GetAddressOf())),
            REGDB_E_CLASSNOTREG);
  ASSERT_EQ(registerServer(), S_OK);
  EXPECT_NE(RegisteredModulePath(CLSID_TestCounter).find("PlatformTestModule.ax"), std::string::npos);
  ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(counter.GetAddressOf())),
            S_OK);
  LONG value = 0;
  counter->Increment(&value);
  EXPECT_EQ(value, 1);
  counter.Reset();

  ASSERT_EQ(unregisterServer(), S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(counter.GetAddressOf())),
            REGDB_E_CLASSNOTREG);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &key), ERROR_SUCCESS);
  char name[64];
  DWORD nameSize = sizeof name;
  EXPECT_EQ(RegEnumKeyEx(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

TEST_F(ActivationThroughRegistry, RegisteredModuleThatCannotBeLoadedIsReported) {
  ASSERT_EQ(RegisterServerClass(CLSID_TestCounter, "Gone", "/nonexistent/Gone.ax", "Both"), S_OK);
  ComPtr<ICounter> counter;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(counter.GetAddressOf())),
            CO_E_DLLNOTFOUND);
}

TEST(Library, FindsAModuleBesideTheExecutableByBareName) {
  HMODULE module = LoadLibrary("PlatformTestModule.ax");
  ASSERT_NE(module, nullptr) << LastLibraryError();
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(GetProcAddress(module, "DllGetClassObject"));
  ASSERT_NE(getClassObject, nullptr);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(getClassObject(CLSID_TestCounter, IClassFactory::kIid, reinterpret_cast<void**>(factory.GetAddressOf())),
            S_OK);
  ComPtr<ICounter> counter;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(counter.GetAddressOf())), S_OK);
  LONG value = 0;
  counter->Increment(&value);
  counter->Increment(&value);
  EXPECT_EQ(value, 2);
  auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(GetProcAddress(module, "DllCanUnloadNow"));
  EXPECT_EQ(canUnload(), S_FALSE);
  counter.Reset();
  factory.Reset();
  EXPECT_EQ(canUnload(), S_OK);
  EXPECT_EQ(LoadLibrary("NoSuchModule.ax"), nullptr);
}
}  // namespace
