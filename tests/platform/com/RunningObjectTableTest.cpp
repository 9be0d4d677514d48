#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/com/moniker.h"
#include "platform/com/taskmem.h"
#include "platform/com/wstring.h"
#include "tests/platform/com/TestInterfaces.h"

namespace {
class TrackedCounter final : public ComObject<ICounter> {
 public:
  explicit TrackedCounter(std::atomic<bool>* destroyed) : m_destroyed(destroyed) {}
  STDMETHODIMP Increment(LONG* value) override {
    *value = ++m_value;
    return S_OK;
  }

 private:
  ~TrackedCounter() override {
    if (m_destroyed) *m_destroyed = true;
  }
  std::atomic<bool>* m_destroyed;
  LONG m_value = 0;
};

ComPtr<IMoniker> Item(const std::string& item) {
  ComPtr<IMoniker> moniker;
  EXPECT_EQ(CreateItemMoniker(u"!", Utf8ToUtf16(item).c_str(), moniker.GetAddressOf()), S_OK);
  return moniker;
}

ComPtr<IRunningObjectTable> Table() {
  ComPtr<IBindCtx> context;
  EXPECT_EQ(CreateBindCtx(0, context.GetAddressOf()), S_OK);
  ComPtr<IRunningObjectTable> table;
  EXPECT_EQ(context->GetRunningObjectTable(table.GetAddressOf()), S_OK);
  return table;
}

// Walks the table as a client does: one moniker at a time, comparing display names in UTF-8.
// Returns the object of the last matching entry.
ComPtr<IUnknown> FindByDisplayName(const std::string& wanted, int* matches = nullptr) {
  ComPtr<IRunningObjectTable> table = Table();
  ComPtr<IEnumMoniker> monikers;
  EXPECT_EQ(table->EnumRunning(monikers.GetAddressOf()), S_OK);
  ComPtr<IUnknown> found;
  if (matches) *matches = 0;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    LPOLESTR name = nullptr;
    EXPECT_EQ(moniker->GetDisplayName(nullptr, nullptr, &name), S_OK);
    const bool same = Utf16ToUtf8(name) == wanted;
    CoTaskMemFree(name);
    if (!same) continue;
    if (matches) ++*matches;
    found.Reset();
    EXPECT_EQ(table->GetObject(moniker.Get(), found.GetAddressOf()), S_OK);
  }
  return found;
}

TEST(RunningObjectTable, EntriesAreFoundByDisplayNameUntilRevoked) {
  const std::string item = "Flumetta:/rec/a.ts pid 0000002a";
  std::atomic<bool> destroyed{false};
  ComPtr<ICounter> counter;
  counter.Attach(new TrackedCounter(&destroyed));
  ComPtr<IRunningObjectTable> table = Table();
  DWORD cookie = 0;
  ASSERT_EQ(table->Register(0, counter.Get(), Item(item).Get(), &cookie), S_OK);
  EXPECT_NE(cookie, 0u);

  ComPtr<IUnknown> found = FindByDisplayName("!" + item);
  ASSERT_TRUE(found);
  ComPtr<ICounter> same;
  ASSERT_EQ(found.As(&same), S_OK);
  EXPECT_EQ(same.Get(), counter.Get());
  EXPECT_EQ(table->IsRunning(Item(item).Get()), S_OK);
  EXPECT_FALSE(FindByDisplayName(item));  // the delimiter is part of the name

  // The item moniker binds to the registered object by itself.
  ComPtr<ICounter> bound;
  EXPECT_EQ(Item(item)->BindToObject(nullptr, nullptr, IID_PPV_ARGS(bound.GetAddressOf())), S_OK);
  EXPECT_EQ(bound.Get(), counter.Get());

  // The table keeps the object alive until the registration is revoked.
  found.Reset();
  same.Reset();
  bound.Reset();
  counter.Reset();
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(table->Revoke(cookie), S_OK);
  EXPECT_TRUE(destroyed);

  EXPECT_FALSE(FindByDisplayName("!" + item));
  ComPtr<IUnknown> gone;
  EXPECT_EQ(table->GetObject(Item(item).Get(), gone.GetAddressOf()), MK_E_UNAVAILABLE);
  EXPECT_EQ(table->IsRunning(Item(item).Get()), S_FALSE);
  EXPECT_EQ(table->Revoke(cookie), E_INVALIDARG);
  EXPECT_EQ(table->Revoke(0), E_INVALIDARG);
}

TEST(RunningObjectTable, DuplicateNamesAreRegisteredAndTheFirstAnswers) {
  const std::string item = "FilterGraph 0000beef pid 00000001";
  ComPtr<ICounter> first, second;
  first.Attach(new TrackedCounter(nullptr));
  second.Attach(new TrackedCounter(nullptr));
  ComPtr<IRunningObjectTable> table = Table();
  DWORD firstCookie = 0, secondCookie = 0;
  ASSERT_EQ(table->Register(0, first.Get(), Item(item).Get(), &firstCookie), S_OK);
  ASSERT_EQ(table->Register(0, second.Get(), Item(item).Get(), &secondCookie), MK_S_MONIKERALREADYREGISTERED);
  EXPECT_NE(firstCookie, secondCookie);

  ComPtr<IUnknown> object;
  ASSERT_EQ(table->GetObject(Item(item).Get(), object.GetAddressOf()), S_OK);
  EXPECT_EQ(object.Get(), static_cast<IUnknown*>(first.Get()));
  int matches = 0;
  FindByDisplayName("!" + item, &matches);
  EXPECT_EQ(matches, 2);

  ASSERT_EQ(table->Revoke(firstCookie), S_OK);
  ASSERT_EQ(table->GetObject(Item(item).Get(), object.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(object.Get(), static_cast<IUnknown*>(second.Get()));
  ASSERT_EQ(table->Revoke(secondCookie), S_OK);

  DWORD cookie = 7;
  EXPECT_EQ(table->Register(0, nullptr, Item(item).Get(), &cookie), E_INVALIDARG);
  EXPECT_EQ(cookie, 0u);
}

TEST(RunningObjectTable, EnumeratorIsASnapshotWithItsOwnPosition) {
  ComPtr<ICounter> counter;
  counter.Attach(new TrackedCounter(nullptr));
  ComPtr<IRunningObjectTable> table = Table();
  std::vector<DWORD> cookies(3);
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(SUCCEEDED(table->Register(0, counter.Get(), Item("snapshot " + std::to_string(i)).Get(), &cookies[i])));
  ComPtr<IEnumMoniker> monikers;
  ASSERT_EQ(table->EnumRunning(monikers.GetAddressOf()), S_OK);
  for (DWORD cookie : cookies) table->Revoke(cookie);  // the snapshot keeps its names

  std::vector<std::string> names;
  IMoniker* batch[8] = {};
  ULONG fetched = 0;
  while (true) {
    HRESULT hr = monikers->Next(2, batch, &fetched);
    for (ULONG i = 0; i < fetched; ++i) {
      LPOLESTR name = nullptr;
      batch[i]->GetDisplayName(nullptr, nullptr, &name);
      if (Utf16ToUtf8(name).starts_with("!snapshot ")) names.push_back(Utf16ToUtf8(name));
      CoTaskMemFree(name);
      batch[i]->Release();
    }
    if (hr != S_OK) break;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"!snapshot 0", "!snapshot 1", "!snapshot 2"}));
  EXPECT_EQ(monikers->Next(1, batch, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(monikers->Next(2, batch, nullptr), E_POINTER);

  monikers->Reset();
  ComPtr<IEnumMoniker> clone;
  ASSERT_EQ(monikers->Clone(clone.GetAddressOf()), S_OK);
  EXPECT_EQ(clone->Skip(1000), S_FALSE);
  EXPECT_EQ(clone->Next(1, batch, &fetched), S_FALSE);
  ASSERT_EQ(monikers->Next(1, batch, &fetched), S_OK);  // the original kept its own position
  batch[0]->Release();
}

TEST(RunningObjectTable, ConcurrentRegistrationsFromManyThreads) {
  ComPtr<ICounter> counter;
  counter.Attach(new TrackedCounter(nullptr));
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      ComPtr<IRunningObjectTable> table = Table();
      for (int i = 0; i < 200; ++i) {
        const std::string item = "thread " + std::to_string(t) + " entry " + std::to_string(i);
        DWORD cookie = 0;
        if (table->Register(0, counter.Get(), Item(item).Get(), &cookie) != S_OK) ++failures;
        if (!FindByDisplayName("!" + item)) ++failures;
        if (table->Revoke(cookie) != S_OK) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  EXPECT_FALSE(FindByDisplayName("!thread 0 entry 0"));
}
}  // namespace
