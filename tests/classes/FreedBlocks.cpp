#include "FreedBlocks.h"

#include <objbase.h>

#include <map>
#include <mutex>
#include <new>
#include <stdexcept>

namespace korvane::test {

namespace {

// A BSTR points just past the length prefix at the start of its block.
bool holds(const void* block, BSTR s) {
  const auto* start = static_cast<const BYTE*>(block);
  const auto* text = reinterpret_cast<const BYTE*>(s);
  return start < text && text - start <= 8;
}

class FreeSpy final : public IMallocSpy {
 public:
  // The process's one spy, registered on first use and never revoked: blocks
  // allocated under a spy may outlive any scope of the test.
  static FreeSpy& instance() {
    static FreeSpy* spy = new FreeSpy;
    return *spy;
  }

  void watch(BSTR s) {
    std::lock_guard lock(mutex_);
    watched_[s] = false;
  }

  bool freed(BSTR s) {
    std::lock_guard lock(mutex_);
    const auto found = watched_.find(s);
    if (found == watched_.end()) throw std::logic_error("the string was not watched");
    return found->second;
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
      *ppv = static_cast<IMallocSpy*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // Lives as long as the process.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP_(void*) PreFree(void* block, BOOL) override {
    std::lock_guard lock(mutex_);
    for (auto& [text, freed] : watched_) {
      if (block && holds(block, text)) freed = true;
    }
    return block;
  }

  // Everything else passes through unchanged.
  STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T size) override { return size; }
  STDMETHODIMP_(void*) PostAlloc(void* block) override { return block; }
  STDMETHODIMP_(void) PostFree(BOOL) override {}
  STDMETHODIMP_(SIZE_T) PreRealloc(void* block, SIZE_T size, void** newBlock, BOOL) override {
    *newBlock = block;
    return size;
  }
  STDMETHODIMP_(void*) PostRealloc(void* block, BOOL) override { return block; }
  STDMETHODIMP_(void*) PreGetSize(void* block, BOOL) override { return block; }
  STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T size, BOOL) override { return size; }
  STDMETHODIMP_(void*) PreDidAlloc(void* block, BOOL) override { return block; }
  STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int allocated) override { return allocated; }
  STDMETHODIMP_(void) PreHeapMinimize() override {}
  STDMETHODIMP_(void) PostHeapMinimize() override {}

 private:
  FreeSpy() {
    if (FAILED(CoRegisterMallocSpy(this))) throw std::runtime_error("CoRegisterMallocSpy failed");
    // Wine (8.0) faults when a block is freed under a spy before the spy has
    // seen any allocation: its table of spied blocks does not exist yet.
    CoTaskMemFree(CoTaskMemAlloc(1));
  }

  std::mutex mutex_;
  std::map<BSTR, bool> watched_;
};

}  // namespace

BSTR watchedString(const wchar_t* text) {
  auto& spy = FreeSpy::instance();
  BSTR s = SysAllocString(text);
  if (!s) throw std::bad_alloc();
  spy.watch(s);
  return s;
}

bool hasBeenFreed(BSTR s) {
  return FreeSpy::instance().freed(s);
}

}  // namespace korvane::test
