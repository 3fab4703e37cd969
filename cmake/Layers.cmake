# The library's layers as CMake targets: one static library per layer folder, each linking
# only the layers it is built on.
#
# Every header is included as "layer/File.h" from the repository root, so the root itself
# can never be on a layer's include path: it would make every layer visible. Instead each
# layer compiles against a staging directory of its own, <build>/layers/<layer>/, that holds
# one symbolic link per layer it may see (itself and everything below it). A source that
# includes a header of a layer above its own then fails to build with "No such file".
# The links point into the source tree, so edits need no re-configure; the compiler runs on
# the build machine, so the mingw cross build sees them as well.
#
# orvane_add_layer(<layer> [BELOW <layer>...]) declares the layer folder <layer> as target
# orvane_<layer>, built on the layers named after BELOW (each declared before, which keeps the
# graph acyclic). Definitions that tell a layer which optional system libraries were found
# (ORVANE_HAVE_*) are given privately by the layer that uses them; the layer that links such
# a library looks it up with orvane_layer_optional_package below.

set(ORVANE_LAYER_STAGE ${CMAKE_BINARY_DIR}/layers)
set_property(GLOBAL PROPERTY ORVANE_LAYERS "")

function(orvane_add_layer layer)
  cmake_parse_arguments(L "" "" "BELOW" ${ARGN})
  get_property(_declared GLOBAL PROPERTY ORVANE_LAYERS)
  if(layer IN_LIST _declared)
    message(FATAL_ERROR "layer ${layer} is declared twice")
  endif()
  # The layers this one may see: itself and, transitively, those it is built on.
  set(_visible ${layer})
  foreach(below ${L_BELOW})
    if(NOT below IN_LIST _declared)
      message(FATAL_ERROR "layer ${layer} is built on ${below}, which is not declared below it")
    endif()
    get_property(_below_visible GLOBAL PROPERTY ORVANE_LAYER_VISIBLE_${below})
    list(APPEND _visible ${_below_visible})
  endforeach()
  list(REMOVE_DUPLICATES _visible)
  list(SORT _visible)
  set_property(GLOBAL PROPERTY ORVANE_LAYER_VISIBLE_${layer} ${_visible})
  set_property(GLOBAL APPEND PROPERTY ORVANE_LAYERS ${layer})

  # A fresh stage each configure, so a dependency taken away also takes its link away.
  set(_stage ${ORVANE_LAYER_STAGE}/${layer})
  file(REMOVE_RECURSE ${_stage})
  file(MAKE_DIRECTORY ${_stage})
  foreach(v ${_visible})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${v} ${_stage}/${v} SYMBOLIC)
  endforeach()

  add_library(orvane_${layer} STATIC)
  target_include_directories(orvane_${layer} PRIVATE ${_stage})
  foreach(below ${L_BELOW})
    target_link_libraries(orvane_${layer} PUBLIC orvane_${below})
  endforeach()
  if(ORVANE_THREAD_SAFETY)
    # GCC-only warning names in diagnostic pragmas are not an error here.
    target_compile_options(orvane_${layer} PRIVATE -Wthread-safety -Wno-unknown-warning-option)
  endif()
endfunction()

# orvane_layer_sources(<var>) sets <var> to the portable sources of the layer folder being
# configured: every .cpp below it, also in sub-folders (new files are picked up on the next
# configure), but the Windows-only ones under win32/, which join the build with the Windows
# port, and api/Library.cpp, which the shared library compiles itself.
function(orvane_layer_sources var)
  file(GLOB_RECURSE _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER _sources EXCLUDE REGEX "/win32/|/api/Library\\.cpp$")
  set(${var} ${_sources} PARENT_SCOPE)
endfunction()

# The stage directory of a declared layer (for the enforcement test).
function(orvane_layer_stage layer out)
  set(${out} ${ORVANE_LAYER_STAGE}/${layer} PARENT_SCOPE)
endfunction()

# orvane_layer_optional_package(<layer> <NAME> MODULES <pkg-config module>... BUILDS <what>
#                               MISSING <message>)
# Looks the modules up with pkg-config. When all are found, orvane_<layer> links them
# privately and is compiled with ORVANE_HAVE_<NAME>=1; otherwise MISSING is reported and the
# layer builds without them. Either way the cache entry ORVANE_HAVE_<NAME> (described by
# BUILDS) records the outcome, for the folders and tests that build on the same choice.
function(orvane_layer_optional_package layer name)
  cmake_parse_arguments(P "" "BUILDS;MISSING" "MODULES" ${ARGN})
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(${name} QUIET IMPORTED_TARGET ${P_MODULES})
  endif()
  if(${name}_FOUND)
    target_link_libraries(orvane_${layer} PRIVATE PkgConfig::${name})
    target_compile_definitions(orvane_${layer} PRIVATE ORVANE_HAVE_${name}=1)
    set(ORVANE_HAVE_${name} ON CACHE INTERNAL "${P_BUILDS}")
  else()
    set(ORVANE_HAVE_${name} OFF CACHE INTERNAL "${P_BUILDS}")
    message(STATUS "${P_MISSING}")
  endif()
endfunction()
