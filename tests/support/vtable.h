// Calling an interface's method by its slot in the virtual table, as a client compiled
// against the slot table does.
#pragma once

#include <win32/types.h>

namespace quill_test {

// R is the method's result (HRESULT unless named); A its arguments after the interface.
template <class R = HRESULT, class... A>
R CallSlot(void* iface, int slot, A... args) {
  using Method = R (*)(void*, A...);
  void** vtable = *static_cast<void***>(iface);
  return reinterpret_cast<Method>(vtable[slot])(iface, args...);
}

}  // namespace quill_test
