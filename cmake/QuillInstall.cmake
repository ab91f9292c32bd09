# The install tree: `cmake --install <build> --prefix DIR` gives DIR/bin, from
# which the program runs as from the build tree: the program, the server
# libraries and the libraries of our platform layers side by side, found through
# an $ORIGIN run path; the servers registered into DIR/bin/registry.txt at
# install; the skins and the README beside them. The outside servers' IFO checking
# program goes beside them, where they look for it.
set(QUILL_INSTALL_TARGETS qwin32 qcom qvcl ZENTRA QuillOutside QuillIfoCheck Quillmere regsvr)
foreach(t ${QUILL_INSTALL_TARGETS})
  if(NOT TARGET ${t})
    message(FATAL_ERROR "The install tree needs the target ${t}, which this build does not define.")
  endif()
  set_target_properties(${t} PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${t} RUNTIME DESTINATION bin LIBRARY DESTINATION bin)
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION bin)

# Skins are drawn into the build tree's bin/ by the build; whatever skin folders
# it made go along.
install(CODE "
  file(GLOB quill_skins LIST_DIRECTORIES true \"${CMAKE_BINARY_DIR}/bin/SKIN*\")
  foreach(skin \${quill_skins})
    if(IS_DIRECTORY \"\${skin}\")
      file(INSTALL \"\${skin}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/bin\")
    endif()
  endforeach()
")

# A fresh registry for the installed folder: its entries name the installed
# libraries, never the build tree's.
install(CODE "
  set(quill_bin \"\${CMAKE_INSTALL_PREFIX}/bin\")
  file(REMOVE \"\${quill_bin}/registry.txt\")
  foreach(server libZENTRA.so libQuillOutside.so)
    execute_process(
      COMMAND \${CMAKE_COMMAND} -E env QUILLMERE_REGISTRY=\${quill_bin}/registry.txt
              \${quill_bin}/regsvr \${quill_bin}/\${server}
      RESULT_VARIABLE quill_rc)
    if(NOT quill_rc EQUAL 0)
      message(FATAL_ERROR \"Registering \${server} in \${quill_bin}/registry.txt failed\")
    endif()
  endforeach()
")
