# The DVD servers, driven through the COM runtime against the sample disc of the build tree.
foreach(name dvd_info_test dvd_data_test dvd_ifo_mutation_test)
  quill_add_test(NAME ${name} SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp
                 LIBS quill_outside_harness TIMEOUT 300)
endforeach()
target_link_libraries(dvd_data_test PRIVATE quill_stuck_reads)
set_target_properties(dvd_data_test PROPERTIES ENABLE_EXPORTS ON)
# The IFO mutation test's long run (hundreds of damaged discs, a checking process for most),
# by hand:  ctest --test-dir <build> -C LongFuzz -L long
add_test(NAME dvd_ifo_mutation_long CONFIGURATIONS LongFuzz
         COMMAND dvd_ifo_mutation_test --gtest_also_run_disabled_tests --gtest_filter=DvdIfoMutationTest.DISABLED_*)
set_tests_properties(dvd_ifo_mutation_long PROPERTIES TIMEOUT 3600 LABELS long
                     ENVIRONMENT "QUILLMERE_BACKEND=headless")

# The reader's building blocks, linked directly (the server library exports only its Dll... entries).
# (Its longest case starts the IFO checking program 2,000 times beside eight busy threads.)
quill_add_test(NAME dvd_units_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/dvd_units_test.cpp
               LIBS quill_dvd_reader TIMEOUT 300)
add_dependencies(dvd_units_test sample_dvd QuillIfoCheck)
