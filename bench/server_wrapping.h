// Watching the calls into an outside server's objects from outside: a class factory
// registered over the server's makes the real object and gives it a copy of its table of
// methods in which chosen slots are replaced. Release puts the real table back while it
// runs, so the object is destroyed through its own table. Tags keep classes apart.
#pragma once

#include <com/com.h>
#include <com/comptr.h>

#include <time.h>

#include <vector>

namespace wrapping {

// Processor time of the calling thread, so that other work on the machine does not count.
inline long long ThreadCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// Told of each creation and release through a wrapping factory, with the thread's
// processor time when it began; null tells no one.
inline void (*g_created)(int tag, long long since) = nullptr;
inline void (*g_released)(int tag, long long since, bool destroyed) = nullptr;

template <int Tag>
struct Wrapped {
  static inline void** realTable = nullptr;
  static inline std::vector<void*> copy;  // two entries before the table (offset, type), then the slots
  static void** Table() { return copy.data() + 2; }
  static ULONG STDMETHODCALLTYPE Release(void* self) {
    const long long t0 = ThreadCpuNs();
    *static_cast<void***>(self) = realTable;
    const ULONG left = reinterpret_cast<ULONG(STDMETHODCALLTYPE*)(void*)>(realTable[2])(self);
    if (left) *static_cast<void***>(self) = Table();
    if (g_released) g_released(Tag, t0, left == 0);
    return left;
  }
};

// A class factory that makes the real object and wraps it; `install` replaces slots of
// the copied table of `Slots` entries.
template <int Tag, int Slots>
class WrappingFactory : public IClassFactory {
 public:
  using Installer = void (*)(void** table);
  WrappingFactory(REFCLSID clsid, Installer install) : install_(install) {
    CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, real_.put_void());
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IClassFactory ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override { return real_->LockServer(lock); }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    const long long t0 = ThreadCpuNs();
    const HRESULT hr = real_->CreateInstance(outer, iid, out);
    if (g_created) g_created(Tag, t0);
    if (hr < 0 || !*out || iid == IID_IUnknown) return hr;
    void**& vptr = *static_cast<void***>(*out);
    if (!Wrapped<Tag>::realTable) {
      Wrapped<Tag>::realTable = vptr;
      Wrapped<Tag>::copy.assign(vptr - 2, vptr + Slots);
      Wrapped<Tag>::Table()[2] = reinterpret_cast<void*>(&Wrapped<Tag>::Release);
      install_(Wrapped<Tag>::Table());
    }
    if (vptr == Wrapped<Tag>::realTable) vptr = Wrapped<Tag>::Table();
    return hr;
  }
  bool ok() const { return static_cast<bool>(real_); }
  // Registers this factory over the server's for the process; answers the cookie (0 when not).
  DWORD Register(REFCLSID clsid) {
    DWORD cookie = 0;
    if (ok()) CoRegisterClassObject(clsid, this, CLSCTX_INPROC_SERVER, 0, &cookie);
    return cookie;
  }

 private:
  ComPtr<IClassFactory> real_;
  Installer install_;
};

// Replaces slot `Slot` of a table with Call, which runs the real method between
// Before() and After(result, Before()'s value).
template <int Tag, int Slot, class Sig>
struct Hooked;
template <int Tag, int Slot, class R, class... A>
struct Hooked<Tag, Slot, R(A...)> {
  static inline R(STDMETHODCALLTYPE* real)(void*, A...) = nullptr;
  static inline long long (*before)() = nullptr;
  static inline void (*after)(long long since) = nullptr;
  static R STDMETHODCALLTYPE Call(void* self, A... a) {
    const long long t0 = before ? before() : 0;
    R r = real(self, a...);
    if (after) after(t0);
    return r;
  }
  static void Install(void** table, long long (*b)(), void (*a)(long long)) {
    before = b;
    after = a;
    real = reinterpret_cast<R(STDMETHODCALLTYPE*)(void*, A...)>(table[Slot]);
    table[Slot] = reinterpret_cast<void*>(&Call);
  }
};

// Hooked for an entry S of the slot table (server_slots.h): its slot and signature.
template <int Tag, class S>
void Hook(void** table, long long (*before)(), void (*after)(long long since)) {
  Hooked<Tag, S::index, typename S::Sig>::Install(table, before, after);
}

}  // namespace wrapping
