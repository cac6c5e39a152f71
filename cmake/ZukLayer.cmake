# zuk_layer(NAME SOURCES files... [PUBLIC deps...] [PRIVATE deps...])
#
# One library per layer. Its headers are reached through an include folder of its own in the build
# tree, which holds only this library's headers (as links, at the same relative paths as under
# src/). A library sees its own headers and those of the libraries it links, nothing else: a layer
# that includes a header of a layer above it, or of one it does not link, fails to build.
function(zuk_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  set(include_root ${CMAKE_BINARY_DIR}/include/${name})
  file(REMOVE_RECURSE ${include_root})
  set(sources)
  foreach(file IN LISTS L_SOURCES)
    list(APPEND sources ${CMAKE_SOURCE_DIR}/src/${file})
    if(file MATCHES "\\.h$")
      get_filename_component(dir ${include_root}/${file} DIRECTORY)
      file(MAKE_DIRECTORY ${dir})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${file} ${include_root}/${file} SYMBOLIC)
    endif()
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${include_root})
  target_link_libraries(${name} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
endfunction()
