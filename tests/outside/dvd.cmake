# The DVD servers, driven through the COM runtime against the sample disc of the build tree.
foreach(name dvd_info_test dvd_data_test dvd_ifo_mutation_test)
  quill_add_test(NAME ${name} SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp
                 LIBS qcom quill_outside_headers TIMEOUT 300)
  add_dependencies(${name} QuillOutside sample_dvd)
endforeach()
# The IFO mutation test's long run (hundreds of damaged discs, a checking process for most),
# by hand:  ctest --test-dir <build> -C LongFuzz -L long
add_test(NAME dvd_ifo_mutation_long CONFIGURATIONS LongFuzz
         COMMAND dvd_ifo_mutation_test --gtest_also_run_disabled_tests --gtest_filter=DvdIfoMutationTest.DISABLED_*)
set_tests_properties(dvd_ifo_mutation_long PROPERTIES TIMEOUT 3600 LABELS long
                     ENVIRONMENT "QUILLMERE_BACKEND=headless")

# The reader's building blocks, compiled in directly (the library exports only its Dll... entries).
pkg_check_modules(QUILL_TEST_DVDREAD REQUIRED IMPORTED_TARGET dvdread)
quill_add_test(NAME dvd_units_test
               SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/dvd_units_test.cpp
                       ${CMAKE_SOURCE_DIR}/outside/dvd_demux.cpp ${CMAKE_SOURCE_DIR}/outside/dvd_disc.cpp
                       ${CMAKE_SOURCE_DIR}/outside/ifo_guard.cpp
               LIBS PkgConfig::QUILL_TEST_DVDREAD)
target_include_directories(dvd_units_test PRIVATE ${CMAKE_SOURCE_DIR}/outside)
add_dependencies(dvd_units_test sample_dvd)
