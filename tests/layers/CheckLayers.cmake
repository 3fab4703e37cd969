# Runs the compiler's preprocessor over probes placed as sources of each layer L, with exactly
# the include path that orvane_L compiles with: a header of layer H must be found when H is
# one of the layers L is built on (or L itself) and must not be found otherwise, so that an
# include of a layer L must not see fails with the header missing. The definitions that say
# which optional system libraries were found must reach only the layers that use them.
#
#   cmake -DCOMPILER=... -DSOURCE_DIR=... -DWORK_DIR=... -DLAYERS=a|b|...
#         -DALLOWED_<L>=a|b|... -DINCLUDES_<L>=dir|dir|... -DDEFINITIONS_<L>=d|d|...
#         -DHAVE_USERS=L:NAME|... -P CheckLayers.cmake
cmake_minimum_required(VERSION 3.25)

foreach(var COMPILER SOURCE_DIR WORK_DIR LAYERS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
string(REPLACE "|" ";" layers "${LAYERS}")
string(REPLACE "|" ";" have_users "${HAVE_USERS}")
file(REMOVE_RECURSE ${WORK_DIR})

# Any top-level header of a layer stands for all of it.
foreach(layer ${layers})
  file(GLOB headers RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${layer}/*.h)
  list(SORT headers)
  list(GET headers 0 header_${layer})
endforeach()

set(failures "")
set(probes 0)
foreach(layer ${layers})
  string(REPLACE "|" ";" allowed "${ALLOWED_${layer}}")
  string(REPLACE "|" ";" includes "${INCLUDES_${layer}}")
  string(REPLACE "|" ";" definitions "${DEFINITIONS_${layer}}")
  if(NOT allowed)
    message(FATAL_ERROR "no allowed layers given for ${layer}")
  endif()
  set(flags "")
  foreach(dir ${includes})
    list(APPEND flags "-I${dir}")
  endforeach()
  # The probes sit in a folder named after the layer, as a source of the layer would.
  set(dir ${WORK_DIR}/${layer})
  file(MAKE_DIRECTORY ${dir})

  # Which layers' headers the include path finds, all in one pass of the preprocessor.
  set(text "")
  foreach(other ${layers})
    string(APPEND text "#if __has_include(\"${header_${other}}\")\nlayer_seen ${other}\n"
                       "#else\nlayer_hidden ${other}\n#endif\n")
  endforeach()
  file(WRITE ${dir}/visibility.cpp "${text}")
  execute_process(COMMAND ${COMPILER} -std=c++20 -E -P -x c++ ${flags} ${dir}/visibility.cpp
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  math(EXPR probes "${probes} + 1")
  if(NOT rc EQUAL 0)
    string(APPEND failures "\nthe visibility probe of ${layer} did not run:\n${err}")
  endif()
  set(hidden "")
  foreach(other ${layers})
    if(other IN_LIST allowed AND NOT out MATCHES "layer_seen ${other}\n")
      string(APPEND failures "\n${layer} cannot see ${header_${other}}, a layer it is built on")
    elseif(NOT other IN_LIST allowed)
      list(APPEND hidden ${other})
      if(NOT out MATCHES "layer_hidden ${other}\n")
        string(APPEND failures "\n${layer} can see ${header_${other}}, a layer it must not see")
      endif()
    endif()
  endforeach()

  # And a real include of a layer it must not see fails, for the missing header.
  if(hidden)
    list(GET hidden 0 unseen)
    set(header ${header_${unseen}})
    file(WRITE ${dir}/upward.cpp "#include \"${header}\"\n")
    execute_process(COMMAND ${COMPILER} -std=c++20 -E -x c++ ${flags} ${dir}/upward.cpp
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
    math(EXPR probes "${probes} + 1")
    if(rc EQUAL 0)
      string(APPEND failures "\n${layer} includes ${header}, a layer it must not see")
    elseif(NOT err MATCHES "${header}" OR NOT err MATCHES "No such file|not found")
      string(APPEND failures "\n${layer} including ${header} failed, but not for the missing header:\n${err}")
    endif()
  endif()

  # ORVANE_HAVE_* is given only to the layers named for it.
  foreach(def ${definitions})
    if(def MATCHES "^ORVANE_HAVE_([A-Z0-9_]+)")
      if(NOT "${layer}:${CMAKE_MATCH_1}" IN_LIST have_users)
        string(APPEND failures "\n${layer} is compiled with ${def}, which is not its to know")
      endif()
    endif()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "layer rules broken:${failures}")
endif()
message(STATUS "${probes} probes behaved as the layer graph says")
