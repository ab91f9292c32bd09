# The DVD reader's fuzzers, built and run like the BMP fuzzer: clang's libFuzzer in a
# separate clang invocation, in the sanitizer build only. The suite runs each briefly;
# ten-minute runs are there by hand:  ctest --test-dir build-asan -C LongFuzz -L long
# (with the long IFO mutation run of dvd.cmake)
if(NOT QUILL_SANITIZE)
  return()
endif()
find_program(QUILL_CLANGXX NAMES clang++ clang++-14)
if(NOT QUILL_CLANGXX)
  return()
endif()
pkg_check_modules(QUILL_FUZZ_AV REQUIRED libavcodec libavutil libswresample libswscale)

set(reader ${CMAKE_SOURCE_DIR}/outside/dvd_disc.cpp ${CMAKE_SOURCE_DIR}/outside/dvd_demux.cpp
           ${CMAKE_SOURCE_DIR}/outside/ifo_guard.cpp)
set(headers ${CMAKE_SOURCE_DIR}/outside/dvd_disc.h ${CMAKE_SOURCE_DIR}/outside/dvd_demux.h
            ${CMAKE_SOURCE_DIR}/outside/ifo_guard.h ${CMAKE_SOURCE_DIR}/outside/dvd_decode.h
            ${CMAKE_CURRENT_LIST_DIR}/fuzz_dvd_support.h)
# name, longest input, sources
foreach(entry "ifo|20480|${reader}" "pack|131072|${reader};${CMAKE_SOURCE_DIR}/outside/dvd_decode.cpp")
  string(REPLACE "|" ";" entry "${entry}")
  list(POP_FRONT entry kind max_len)
  set(name fuzz_dvd_${kind})
  set(bin ${CMAKE_BINARY_DIR}/bin/${name})
  set(src ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp ${entry})
  add_custom_command(OUTPUT ${bin}
    COMMAND ${QUILL_CLANGXX} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined
            -fno-sanitize-recover=undefined -I${CMAKE_SOURCE_DIR}/outside ${src} -o ${bin}
            -ldvdread ${QUILL_FUZZ_AV_LDFLAGS}
    DEPENDS ${src} ${headers}
    COMMENT "Building the DVD ${kind} fuzzer with clang"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${bin})
  add_dependencies(${name} sample_dvd)
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  set(artifacts ${CMAKE_CURRENT_BINARY_DIR}/${name}_artifacts/)
  file(MAKE_DIRECTORY ${corpus} ${artifacts})
  set(options -rss_limit_mb=2048 -timeout=20 -max_len=${max_len} -artifact_prefix=${artifacts})
  add_test(NAME ${name} COMMAND ${bin} -max_total_time=20 ${options} ${corpus})
  set_tests_properties(${name} PROPERTIES TIMEOUT 120 LABELS fuzz)
  add_test(NAME ${name}_long CONFIGURATIONS LongFuzz COMMAND ${bin} -max_total_time=600 -print_final_stats=1
           ${options} ${corpus})
  set_tests_properties(${name}_long PROPERTIES TIMEOUT 900 LABELS "fuzz;long")
endforeach()
