# The include rule of the source folders: each folder under src/ includes only headers of the
# folders before it in this order, or its own, so the folders form no cycle. Run as
#   cmake -DSOURCE_DIR=<repository> -P cmake/check_layers.cmake
# It prints every include that breaks the rule and fails when there is one.
set(layers elements construction text_ops batch lib)

if(NOT DEFINED SOURCE_DIR)
  message(FATAL_ERROR "check_layers: SOURCE_DIR is not set")
endif()

file(GLOB folders LIST_DIRECTORIES true RELATIVE "${SOURCE_DIR}/src" "${SOURCE_DIR}/src/*")
set(violations "")
foreach(folder IN LISTS folders)
  if(NOT IS_DIRECTORY "${SOURCE_DIR}/src/${folder}")
    continue()
  endif()
  list(FIND layers "${folder}" rank)
  if(rank EQUAL -1)
    string(APPEND violations "  src/${folder}: a folder outside the layer order\n")
    continue()
  endif()
  file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/src/${folder}/*.hpp"
       "${SOURCE_DIR}/src/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
      if(NOT header MATCHES "/")
        string(APPEND violations "  ${source}: #include \"${header}\" names no folder\n")
        continue()
      endif()
      string(REGEX REPLACE "/.*" "" target "${header}")
      list(FIND layers "${target}" target_rank)
      if(target_rank EQUAL -1 OR target_rank GREATER rank)
        string(APPEND violations "  ${source}: #include \"${header}\" reaches up from ${folder} to ${target}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes against the layer order ${layers}:\n${violations}")
endif()
