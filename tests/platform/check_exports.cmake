# Checks that a shared library exports only what its public headers name: every
# name in an exported symbol (namespace, class, function, variable) must appear in
# one of the headers. Instantiations of the standard library's templates are left
# aside; they follow the visibility of their arguments.
#   cmake -DLIBRARY=<lib.so> -DHEADERS="<header>|<header>..." -P check_exports.cmake
# The libraries name their headers in the target property QUILL_EXPORT_HEADERS.
find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D -C --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm could not read ${LIBRARY}")
endif()

set(names "")
string(REPLACE "|" ";" HEADERS "${HEADERS}")
foreach(header IN LISTS HEADERS)
  if(header STREQUAL "")
    continue()
  endif()
  file(READ ${header} text)
  string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" words "${text}")
  list(APPEND names ${words})
endforeach()
list(REMOVE_DUPLICATES names)

string(REPLACE ";" "," listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(count 0)
set(stray "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] " "" sym "${line}")
  # The linker's own markers, AddressSanitizer's marks of exported variables and the
  # standard library's instantiations.
  if(sym MATCHES "^(__bss_start|_edata|_end|_init|_fini)$" OR sym MATCHES "^__odr_asan[._]" OR sym STREQUAL ""
     OR sym MATCHES "(^| |<|\\()(std|__gnu_cxx)::")
    continue()
  endif()
  math(EXPR count "${count} + 1")
  string(REGEX REPLACE "^(vtable|typeinfo|typeinfo name|VTT|guard variable|construction vtable) for " "" sym "${sym}")
  string(REGEX REPLACE "^(non-)?virtual thunk to " "" sym "${sym}")
  string(REPLACE "[abi:cxx11]" "" sym "${sym}")
  string(REGEX REPLACE "\\(.*" "" sym "${sym}")
  set(prev "")
  while(NOT prev STREQUAL sym)
    set(prev "${sym}")
    string(REGEX REPLACE "<[^<>]*>" "" sym "${sym}")
  endwhile()
  string(REPLACE "::" ";" parts "${sym}")
  foreach(part IN LISTS parts)
    string(REGEX REPLACE "^~" "" part "${part}")
    if(part MATCHES "^operator")
      continue()
    endif()
    list(FIND names "${part}" at)
    if(at EQUAL -1)
      list(APPEND stray "${line}")
      break()
    endif()
  endforeach()
endforeach()

if(count EQUAL 0)
  message(FATAL_ERROR "${LIBRARY} exports nothing of its own")
endif()
if(stray)
  string(REPLACE ";" "\n  " stray "${stray}")
  message(FATAL_ERROR "${LIBRARY} exports names its headers do not declare:\n  ${stray}")
endif()
message(STATUS "${LIBRARY}: ${count} exported symbols, each named in its headers")
