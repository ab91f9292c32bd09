# The SDL2 display backend: a static library of its own, linked into qvcl, which also
# compiles the small file that registers it as the default backend.
find_package(SDL2 REQUIRED)
# SDL's own X connection is waited on and guarded directly (src/backend_sdl/sdl_x11.cpp).
find_package(X11 REQUIRED)

add_library(qvcl_sdl STATIC
  ${CMAKE_CURRENT_LIST_DIR}/src/backend_sdl/sdl_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/backend_sdl/sdl_keymap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/backend_sdl/sdl_clipboard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/backend_sdl/sdl_x11.cpp)
set_target_properties(qvcl_sdl PROPERTIES POSITION_INDEPENDENT_CODE ON
                                          CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
# Only the class library's headers: its code is in qvcl, which links this library.
target_include_directories(qvcl_sdl PUBLIC ${CMAKE_CURRENT_LIST_DIR}/src/backend_sdl
                                           ${CMAKE_CURRENT_LIST_DIR}/include)
target_compile_features(qvcl_sdl PUBLIC cxx_std_20)
target_link_libraries(qvcl_sdl PUBLIC SDL2::SDL2 qwin32 PRIVATE X11::X11)

# For tests that call the backend's own operations (qvcl exports them): its private
# header, the class library and SDL2.
add_library(qvcl_sdl_internal INTERFACE)
target_include_directories(qvcl_sdl_internal INTERFACE ${CMAKE_CURRENT_LIST_DIR}/src/backend_sdl)
target_link_libraries(qvcl_sdl_internal INTERFACE qvcl SDL2::SDL2)
