# One static library per layer of src/. A layer's headers are reachable only
# through an include root of its own, which holds nothing but a link to the
# layer's directory; a library sees its own root and those of the layers it
# links. So a file may include from its own layer and the layers below it,
# and an include that reaches up fails to build.

set(WW_LAYER_ROOTS "${CMAKE_BINARY_DIR}/layers")

# ww_add_layer(<name> [RECURSE] [DEPS <targets>...]): the library ww_<name>
# from src/<name>/*.cpp (and its subdirectories with RECURSE).
function(ww_add_layer name)
  cmake_parse_arguments(L "RECURSE" "" "DEPS" ${ARGN})
  set(dir "${PROJECT_SOURCE_DIR}/src/${name}")
  if(L_RECURSE)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  else()
    file(GLOB sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  endif()
  set(root "${WW_LAYER_ROOTS}/${name}")
  file(MAKE_DIRECTORY "${root}")
  file(CREATE_LINK "${dir}" "${root}/${name}" SYMBOLIC)

  add_library(ww_${name} STATIC ${sources})
  target_include_directories(ww_${name} PUBLIC "${root}")
  target_link_libraries(ww_${name} PUBLIC ${L_DEPS})
  set_target_properties(ww_${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  ww_enable_warnings(ww_${name})
endfunction()
