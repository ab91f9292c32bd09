# quill_add_exports_test(target): a test that the shared library exports only what
# its headers (the target's QUILL_EXPORT_HEADERS) name; see check_exports.cmake.
function(quill_add_exports_test target)
  add_test(NAME ${target}_exports
    COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${target}>
            "-DHEADERS=$<JOIN:$<TARGET_PROPERTY:${target},QUILL_EXPORT_HEADERS>,|>"
            -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/check_exports.cmake)
endfunction()
