quill_add_test(NAME ksini_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/ksini_test.cpp LIBS app_ksini ${CMAKE_DL_LIBS})
# Like the program, the test exports its symbols, so the factories can be looked up.
set_target_properties(ksini_test PROPERTIES ENABLE_EXPORTS ON)
