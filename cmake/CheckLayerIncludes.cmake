# Fails when a source file includes a header of a layer it may not use: layers only call
# downward. Run as a test: cmake -DROOT=<tree> -P CheckLayerIncludes.cmake
cmake_minimum_required(VERSION 3.25)
#
# Each layer with the layers it may include (its own folder always). Folders not listed
# here (tests, bench) may include anything.
set(ZDB_LAYER_RULES
  "platform/os:"
  "calc:"
  "engine/base:platform/os"
  "engine/file:engine/base,platform/os"
  "engine/index:engine/file,engine/base,platform/os"
  "engine/table:engine/index,engine/file,engine/base,platform/os"
  "engine/framework:engine/base,platform/os"
  "engine/dataset:engine/framework,engine/table,engine/index,engine/file,engine/base,platform/os"
  "include/zdb:engine/dataset,engine/framework,engine/table,engine/index,engine/file,engine/base,platform/os"
  "tools/zdb:include/zdb"
  "store:include/zdb"
  "ui:store,calc,include/zdb"
)

if(NOT ROOT)
  message(FATAL_ERROR "ROOT is not set")
endif()

set(known_layers "")
foreach(rule IN LISTS ZDB_LAYER_RULES)
  string(FIND "${rule}" ":" colon)
  string(SUBSTRING "${rule}" 0 ${colon} layer)
  list(APPEND known_layers ${layer})
endforeach()

set(violations "")
foreach(rule IN LISTS ZDB_LAYER_RULES)
  string(FIND "${rule}" ":" colon)
  string(SUBSTRING "${rule}" 0 ${colon} layer)
  math(EXPR after "${colon} + 1")
  string(SUBSTRING "${rule}" ${after} -1 allowed)
  string(REPLACE "," ";" allowed "${allowed}")
  list(APPEND allowed ${layer})

  file(GLOB_RECURSE sources "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" header "${line}")
      # Only the project's own layers are judged; a header named from the own folder
      # without its path is the layer's own.
      set(target_layer "")
      # The public API is included as "zdb/...", from include/.
      string(REGEX REPLACE "^zdb/" "include/zdb/" header "${header}")
      foreach(candidate IN LISTS known_layers)
        string(LENGTH "${candidate}/" prefix_length)
        string(SUBSTRING "${header}" 0 ${prefix_length} prefix)
        if(prefix STREQUAL "${candidate}/")
          set(target_layer ${candidate})
        endif()
      endforeach()
      if(target_layer AND NOT target_layer IN_LIST allowed)
        file(RELATIVE_PATH where "${ROOT}" "${source}")
        list(APPEND violations "${where} (${layer}) includes ${header} (${target_layer})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " report)
  message(FATAL_ERROR "Includes of a layer above or beside the file's own:\n  ${report}")
endif()
message(STATUS "Every layer includes only the layers below it")
