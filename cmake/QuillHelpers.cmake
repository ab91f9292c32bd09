# quill_add_test(NAME name SOURCES a.cpp ... [LIBS lib ...] [TIMEOUT seconds] [LABELS l ...]
#                [WINDOW_MANAGERS none openbox fluxbox])
# One GoogleTest executable; its cases are discovered into CTest one by one. Real-window
# tests name the window managers to run under (the private X server starts the one
# QUILL_TEST_WM names): "none" is the plain run; the others' cases are named
# "<manager>.<case>". Without WINDOW_MANAGERS: the plain run only.
# The window managers that tools/install-deps installs:
set(QUILL_WINDOW_MANAGERS openbox fluxbox)
function(quill_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;WINDOW_MANAGERS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  # The shared test support (tests/support) also sets the tree locations for the
  # discovered tests, which take only one environment entry.
  target_link_libraries(${T_NAME} PRIVATE quill_test_support ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set(labels)
  if(T_LABELS)
    set(labels LABELS ${T_LABELS})
  endif()
  if(NOT T_WINDOW_MANAGERS)
    set(T_WINDOW_MANAGERS none)
  endif()
  foreach(wm ${T_WINDOW_MANAGERS})
    if(wm STREQUAL "none")
      gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "QUILLMERE_BACKEND=headless" ${labels})
    else()
      # The headless default comes from tests/support as well.
      gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${wm}."
        PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "QUILL_TEST_WM=${wm}" ${labels})
    endif()
  endforeach()
endfunction()

# quill_com_server(target): a shared library that is an in-process COM server.
# It exports only its Dll... entry points, and after each build it is registered
# into the build tree's registry so that a fresh build runs at once.
function(quill_com_server target)
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(NOT TARGET regsvr)
    message(FATAL_ERROR "quill_com_server(${target}): regsvr (platform/com) must be defined first")
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E env QUILLMERE_REGISTRY=${QUILL_REGISTRY_FILE}
            $<TARGET_FILE:regsvr> $<TARGET_FILE:${target}>
    COMMENT "Registering ${target} in the build tree's registry"
    VERBATIM)
  add_dependencies(${target} regsvr)
endfunction()
