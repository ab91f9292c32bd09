# Standard controls, menus, dialogs and common controls of the class library.
target_sources(qvcl PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/src/stdctrls/ctlpaint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/stdctrls/label.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/stdctrls/edit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/stdctrls/button.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/stdctrls/scrollbar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/stdctrls/listbox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/stdctrls/combobox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/extctrls/panel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/buttons/buttons.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/menus/menus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/dialogs/savedialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/stdctrls/checklst.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/comctrls/toolbar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/comctrls/views.cpp)
