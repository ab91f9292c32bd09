# The DVD servers, driven through the COM runtime against the sample disc of the build tree.
# The IFO mutation run forks a checking process for most of its hundreds of discs.
foreach(name dvd_info_test dvd_data_test dvd_ifo_mutation_test)
  set(limit 300)
  if(name STREQUAL dvd_ifo_mutation_test)
    set(limit 900)
  endif()
  quill_add_test(NAME ${name} SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp
                 LIBS qcom quill_outside_headers TIMEOUT ${limit})
  add_dependencies(${name} QuillOutside sample_dvd)
endforeach()

# The reader's building blocks, compiled in directly (the library exports only its Dll... entries).
pkg_check_modules(QUILL_TEST_DVDREAD REQUIRED IMPORTED_TARGET dvdread)
quill_add_test(NAME dvd_units_test
               SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/dvd_units_test.cpp
                       ${CMAKE_SOURCE_DIR}/outside/dvd_demux.cpp ${CMAKE_SOURCE_DIR}/outside/dvd_disc.cpp
                       ${CMAKE_SOURCE_DIR}/outside/ifo_guard.cpp
               LIBS PkgConfig::QUILL_TEST_DVDREAD)
target_include_directories(dvd_units_test PRIVATE ${CMAKE_SOURCE_DIR}/outside)
add_dependencies(dvd_units_test sample_dvd)
