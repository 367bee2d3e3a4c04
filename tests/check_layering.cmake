# Holds the includes of the source tree to its layers: platform <- raster <- gml, then the two
# front ends, app (the only place for Qt) and cli. Run by CTest:
#   cmake -DSOURCE_DIR=<project> -P check_layering.cmake
# Every rule names what each folder may include of the project's own folders; an include of Qt
# anywhere but app/ fails too.
cmake_minimum_required(VERSION 3.25)

set(allowed_platform platform)
set(allowed_raster platform raster)
set(allowed_gml platform raster gml)
set(allowed_cli platform raster gml cli)
set(project_folders platform raster gml cli app tests fuzz bench)

set(failures "")
foreach(layer platform raster gml cli)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp"
       "${SOURCE_DIR}/${layer}/*.h.in")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
    file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
    foreach(line IN LISTS includes)
      if(line MATCHES "[<\"](Q[A-Za-z]*|Qt[A-Za-z]*/[^>\"]*|q[a-z]*\\.h)[>\"]")
        list(APPEND failures "${shown}: Qt below app/: ${line}")
      elseif(line MATCHES "\"([a-z_]+)/[^\"]*\"")
        set(folder "${CMAKE_MATCH_1}")
        if(folder IN_LIST project_folders AND NOT folder IN_LIST allowed_${layer})
          list(APPEND failures "${shown}: ${layer}/ must not include ${folder}/: ${line}")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "Includes against the layers:\n${text}")
endif()
message(STATUS "Every include keeps to its layer.")
