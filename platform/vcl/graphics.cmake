# The graphics half of the class library: surfaces, device contexts, canvas, pens,
# brushes, fonts (FreeType + fontconfig), bitmaps (BMP, PNG), image lists and named
# bitmap resources.
find_package(Freetype REQUIRED)
find_package(Fontconfig REQUIRED)
find_package(ZLIB REQUIRED)

set(QVCL_GRAPHICS_SOURCES
  src/graphics/colors.cpp
  src/graphics/dc.cpp
  src/graphics/raster.cpp
  src/graphics/text.cpp
  src/graphics/gdiobjects.cpp
  src/graphics/canvas.cpp
  src/graphics/bitmap.cpp
  src/graphics/bmp.cpp
  src/graphics/png.cpp
  src/graphics/imagelist_api.cpp
  src/graphics/resources.cpp)
# An object library: its objects go whole into qvcl (which links it), so that the
# shared library carries every graphics entry point once, resource registry included.
add_library(qvcl_graphics OBJECT ${QVCL_GRAPHICS_SOURCES})
set_target_properties(qvcl_graphics PROPERTIES POSITION_INDEPENDENT_CODE ON
                                               CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
target_include_directories(qvcl_graphics PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
target_link_libraries(qvcl_graphics PUBLIC qwin32 Freetype::Freetype Fontconfig::Fontconfig ZLIB::ZLIB)

# The image list component needs TComponent of the core library: qvcl compiles it
# (target_sources(qvcl PRIVATE ${QVCL_GRAPHICS_COMPONENT_SOURCES})).
set(QVCL_GRAPHICS_COMPONENT_SOURCES ${CMAKE_CURRENT_LIST_DIR}/src/graphics/imagelist_component.cpp)
