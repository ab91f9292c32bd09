// The one pattern of the themed property setters: store the value, run the hook
// named after the change when there is one, repaint.
#pragma once

#include <vcl/controls.h>

template <class T>
void StoreAndRepaint(TControl* control, T& field, const T& value) {
  field = value;
  control->Repaint();
}

template <class T, class Hook>
void StoreAndRepaint(TControl* control, T& field, const T& value, Hook hook) {
  field = value;
  hook();
  control->Repaint();
}
