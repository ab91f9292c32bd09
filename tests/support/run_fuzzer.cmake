# Runs a libFuzzer program as a test:  cmake -DFUZZER=... -DCORPUS=... -DARTIFACTS=...
#   [-DSEEDS=folder;pattern*...] [-DOPTIONS=-max_total_time=20;...] -P run_fuzzer.cmake
# The corpus folder takes the new inputs; SEEDS are read-only folders of starting inputs
# (patterns are expanded when the run starts, after the build has drawn them). The run
# fails when the fuzzer fails or leaves a new crash, leak, time-out or out-of-memory file:
# such a file is only ever written for a failure of the fuzzing process itself. At the end
# it prints the run's counts.
foreach(var FUZZER CORPUS ARTIFACTS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_fuzzer.cmake: ${var} is not set")
  endif()
endforeach()
file(MAKE_DIRECTORY ${CORPUS} ${ARTIFACTS})

set(kinds crash- leak- timeout- oom-)
function(list_artifacts out)
  set(found "")
  foreach(kind IN LISTS kinds)
    file(GLOB files ${ARTIFACTS}/${kind}*)
    list(APPEND found ${files})
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

set(seed_dirs "")
foreach(pattern IN LISTS SEEDS)
  file(GLOB dirs LIST_DIRECTORIES true ${pattern})
  foreach(dir IN LISTS dirs)
    if(IS_DIRECTORY ${dir})
      list(APPEND seed_dirs ${dir})
    endif()
  endforeach()
endforeach()
if(SEEDS AND NOT seed_dirs)
  message(FATAL_ERROR "run_fuzzer.cmake: none of the starting-input folders ${SEEDS} exists (build them first)")
endif()

list_artifacts(before)
execute_process(
  COMMAND ${FUZZER} ${OPTIONS} -print_final_stats=1 -artifact_prefix=${ARTIFACTS}/ ${CORPUS} ${seed_dirs}
  RESULT_VARIABLE result
  ERROR_VARIABLE log
  ECHO_ERROR_VARIABLE)
list_artifacts(after)
if(before)
  list(REMOVE_ITEM after ${before})
endif()
list(LENGTH after new_artifacts)

# libFuzzer's own summary: its last status line and final statistics.
set(runs "?")
set(added "?")
set(coverage "?")
set(features "?")
set(corpus "?")
if(log MATCHES "stat::number_of_executed_units: +([0-9]+)")
  set(runs ${CMAKE_MATCH_1})
endif()
if(log MATCHES "stat::new_units_added: +([0-9]+)")
  set(added ${CMAKE_MATCH_1})
endif()
string(REGEX MATCHALL "cov: [0-9]+ ft: [0-9]+ corp: [0-9]+" status "${log}")
if(status)
  list(GET status -1 last)
  string(REGEX MATCH "cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+)" last "${last}")
  set(coverage ${CMAKE_MATCH_1})
  set(features ${CMAKE_MATCH_2})
  set(corpus ${CMAKE_MATCH_3})
endif()
get_filename_component(name ${FUZZER} NAME)
message("${name}: ${runs} runs, ${added} new inputs, coverage ${coverage} edges (${features} features), "
        "corpus ${corpus} inputs, ${new_artifacts} new crash, leak, time-out or out-of-memory files")

if(NOT result EQUAL 0)
  message(FATAL_ERROR "${name} failed (${result})")
endif()
if(new_artifacts GREATER 0)
  message(FATAL_ERROR "${name} left crash files without failing: ${after}")
endif()
