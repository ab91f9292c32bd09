# The settings object, linked into the program (which exports its factories).
add_library(app_ksini OBJECT ${CMAKE_CURRENT_LIST_DIR}/ksini.cpp)
target_include_directories(app_ksini PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(app_ksini PUBLIC qwin32)
