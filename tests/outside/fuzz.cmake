# The DVD reader's fuzzers, built and run like the BMP fuzzer: clang's libFuzzer in a
# separate clang invocation, in the sanitizer build only, each run through run_fuzzer.cmake
# (which fails on any crash file and prints the run's counts). The suite runs each
# briefly; ten-minute runs are there by hand:  ctest --test-dir build-asan -C LongFuzz -L long
# (with the BMP fuzzer's and the long IFO mutation run of dvd.cmake)
if(QUILL_SANITIZE)
  # The clang tools/install-deps installs, whatever its version.
  find_program(QUILL_CLANGXX NAMES clang++)
  if(NOT QUILL_CLANGXX)
    message(FATAL_ERROR "The sanitizer build compiles the DVD fuzzers with clang++, which is not on the PATH: "
                        "run tools/install-deps (it installs clang and its libFuzzer runtime).")
  endif()
  pkg_check_modules(QUILL_FUZZ_AV REQUIRED libavcodec libavutil libswresample libswscale)

  # The reader's own sources and include folder, compiled again with clang's instrumentation.
  get_target_property(reader_dir quill_dvd_reader SOURCE_DIR)
  get_target_property(reader_files quill_dvd_reader SOURCES)
  get_target_property(reader_includes quill_dvd_reader INTERFACE_INCLUDE_DIRECTORIES)
  list(TRANSFORM reader_files PREPEND ${reader_dir}/)
  set(reader_sources ${reader_files})
  list(FILTER reader_sources INCLUDE REGEX "\\.cpp$")
  list(TRANSFORM reader_includes PREPEND -I)

  foreach(entry "ifo|20480" "pack|131072")  # name, longest input
    string(REPLACE "|" ";" entry "${entry}")
    list(POP_FRONT entry kind max_len)
    set(name fuzz_dvd_${kind})
    set(bin ${CMAKE_BINARY_DIR}/bin/${name})
    set(src ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp ${reader_sources})
    add_custom_command(OUTPUT ${bin}
      COMMAND ${QUILL_CLANGXX} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined
              -fno-sanitize-recover=undefined ${reader_includes} ${src} -o ${bin}
              -ldvdread ${QUILL_FUZZ_AV_LDFLAGS}
      DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp ${CMAKE_CURRENT_LIST_DIR}/fuzz_dvd_support.h ${reader_files}
      COMMENT "Building the DVD ${kind} fuzzer with clang"
      VERBATIM)
    add_custom_target(${name} ALL DEPENDS ${bin})
    # The reader runs libdvdread's first parse in the IFO checking program, which it finds
    # beside the fuzzer in bin/.
    add_dependencies(${name} sample_dvd QuillIfoCheck)
    set(run ${CMAKE_COMMAND} -DFUZZER=${bin} -DCORPUS=${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus
            -DARTIFACTS=${CMAKE_CURRENT_BINARY_DIR}/${name}_artifacts)
    set(options -rss_limit_mb=2048 -timeout=20 -max_len=${max_len})
    add_test(NAME ${name} COMMAND ${run} "-DOPTIONS=-max_total_time=20;${options}" -P ${QUILL_RUN_FUZZER})
    set_tests_properties(${name} PROPERTIES TIMEOUT 120 LABELS fuzz)
    add_test(NAME ${name}_long CONFIGURATIONS LongFuzz
             COMMAND ${run} "-DOPTIONS=-max_total_time=600;${options}" -P ${QUILL_RUN_FUZZER})
    set_tests_properties(${name}_long PROPERTIES TIMEOUT 900 LABELS "fuzz;long")
  endforeach()
endif()
