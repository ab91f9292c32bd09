# The SDL2 display backend: a static library of its own, linked into qvcl, which also
# compiles the small file that registers it as the default backend.
find_package(SDL2 REQUIRED)

add_library(qvcl_sdl STATIC
  ${CMAKE_CURRENT_LIST_DIR}/src/backend_sdl/backend_sdl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/backend_sdl/keymap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/backend_sdl/clipboard_sdl.cpp)
set_target_properties(qvcl_sdl PROPERTIES POSITION_INDEPENDENT_CODE ON
                                          CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
# Only the class library's headers: its code is in qvcl, which links this library.
target_include_directories(qvcl_sdl PUBLIC ${CMAKE_CURRENT_LIST_DIR}/src/backend_sdl
                                           ${CMAKE_CURRENT_LIST_DIR}/include)
target_compile_features(qvcl_sdl PUBLIC cxx_std_20)
target_link_libraries(qvcl_sdl PUBLIC SDL2::SDL2 qwin32)

set(QVCL_SDL_DIR ${CMAKE_CURRENT_LIST_DIR})

# qvcl may be defined after this file is included: attach at the end of the directory.
function(quill_attach_sdl_backend)
  if(NOT TARGET qvcl)
    message(FATAL_ERROR "platform/vcl defines no qvcl for the SDL2 backend to attach to")
  endif()
  target_sources(qvcl PRIVATE ${QVCL_SDL_DIR}/src/backend_sdl/register.cpp)
  target_link_libraries(qvcl PRIVATE qvcl_sdl)
endfunction()
cmake_language(DEFER CALL quill_attach_sdl_backend)
