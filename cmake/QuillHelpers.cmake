# quill_add_test(NAME name SOURCES a.cpp ... [LIBS lib ...] [TIMEOUT seconds] [LABELS l ...])
# One GoogleTest executable; its cases are discovered into CTest one by one.
function(quill_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  # The shared test support (tests/support) also sets the tree locations for the
  # discovered tests, which take only one environment entry.
  target_link_libraries(${T_NAME} PRIVATE quill_test_support ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set(props TIMEOUT ${T_TIMEOUT} ENVIRONMENT "QUILLMERE_BACKEND=headless")
  if(T_LABELS)
    list(APPEND props LABELS ${T_LABELS})
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
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
