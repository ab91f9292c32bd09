// The slots of an interface's virtual table that the program never calls: each keeps
// the position of the methods after it and answers E_NOTIMPL, in the interface itself
// so that no class repeats the list.
#pragma once

#include <com/com.h>

#define OUTSIDE_UNUSED_SLOT(n) \
  virtual HRESULT STDMETHODCALLTYPE Unused##n() { return E_NOTIMPL; }
