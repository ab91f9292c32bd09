# The DVD servers, driven through the COM runtime against the sample disc of the build tree.
foreach(name dvd_info_test dvd_data_test)
  quill_add_test(NAME ${name} SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp
                 LIBS qcom quill_outside_headers TIMEOUT 300)
  add_dependencies(${name} QuillOutside sample_dvd)
endforeach()
