# Tests of the encoder and preview servers (through the COM runtime and the
# build tree's registry) and the end-to-end harness: the sample disc through the DVD
# data object, the picture server and the encoders, checked with ffprobe.
quill_add_test(NAME outside_encoders_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/encoders_mpeg_test.cpp ${CMAKE_CURRENT_LIST_DIR}/encoders_avi_test.cpp
  LIBS quill_outside_harness quill_disc_checks
  TIMEOUT 300)
quill_add_test(NAME outside_picshow_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/encoders_picshow_test.cpp
  LIBS quill_outside_harness)
quill_add_test(NAME outside_harness_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/harness_test.cpp
  LIBS quill_outside_harness
  TIMEOUT 600)
# The servers working ahead of the conversion thread against the same servers working in
# its thread (QUILLMERE_SERIAL), and the ring of slots between them.
quill_add_test(NAME outside_pipeline_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/pipeline_test.cpp
  LIBS quill_outside_harness quill_disc_checks
  TIMEOUT 300)
quill_add_test(NAME outside_bounded_pipe_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/bounded_pipe_test.cpp)
target_include_directories(outside_bounded_pipe_test PRIVATE ${PROJECT_SOURCE_DIR}/outside)
# The AVI encoder's bitmap rows conversion, built from its source (the server library
# exports only its Dll... entries), against the scaler conversion it replaced.
pkg_check_modules(QUILL_ROWS_SCALER REQUIRED IMPORTED_TARGET libswscale libavutil)
quill_add_test(NAME outside_bitmap_rows_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bitmap_rows_test.cpp ${PROJECT_SOURCE_DIR}/outside/encoders/bitmap_rows.cpp
  LIBS zentra_core PkgConfig::QUILL_ROWS_SCALER)
target_include_directories(outside_bitmap_rows_test PRIVATE ${PROJECT_SOURCE_DIR}/outside ${PROJECT_SOURCE_DIR}/tests/support)
# The MPEG encoder on its workers against the same encoder in the caller's thread
# (QUILLMERE_SERIAL) on the detailed disc's titles: pictures, quality, splits, stops and
# failures, judged from the files.
quill_add_test(NAME outside_mpeg_parallel_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mpeg_parallel_test.cpp
  LIBS quill_outside_harness quill_disc_checks
  TIMEOUT 1500)
add_dependencies(outside_mpeg_parallel_test detailed_dvd)
# The runs of GOPs on their own, built from their sources: a seam the decoder buffer
# refuses, which the detailed titles never give.
pkg_check_modules(QUILL_RUNS_FFMPEG REQUIRED IMPORTED_TARGET libavcodec libavformat libavutil libswscale libswresample)
quill_add_test(NAME outside_gop_runs_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/gop_runs_test.cpp
          ${PROJECT_SOURCE_DIR}/outside/encoders/gop_runs.cpp
          ${PROJECT_SOURCE_DIR}/outside/encoders/decoder_buffer.cpp
          ${PROJECT_SOURCE_DIR}/outside/encoders/encoding_session.cpp
          ${PROJECT_SOURCE_DIR}/outside/encoders/picture_pool.cpp
          ${PROJECT_SOURCE_DIR}/outside/encoders/sound_coder.cpp
          ${PROJECT_SOURCE_DIR}/outside/encoders/bitmap_rows.cpp
  LIBS quill_outside_headers zentra_core PkgConfig::QUILL_RUNS_FFMPEG
  TIMEOUT 300)
target_include_directories(outside_gop_runs_test PRIVATE ${PROJECT_SOURCE_DIR}/outside)
quill_add_test(NAME outside_picture_pool_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/picture_pool_test.cpp
          ${PROJECT_SOURCE_DIR}/outside/encoders/picture_pool.cpp
  LIBS PkgConfig::QUILL_RUNS_FFMPEG
  TIMEOUT 120)
target_include_directories(outside_picture_pool_test PRIVATE ${PROJECT_SOURCE_DIR}/outside)
