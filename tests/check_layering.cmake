# Holds the includes of the source tree to its layers: the core (platform, then archive and
# raster, then gml), the commands over it, then the two front ends, cli and app (the only place
# for Qt); testkit, fuzz and bench beside them, never including from tests/. Run by CTest:
#   cmake -DSOURCE_DIR=<project> -P check_layering.cmake
# Every rule names what each folder may include of the project's own folders; an include of Qt
# anywhere below app/ fails too.
cmake_minimum_required(VERSION 3.25)

set(core platform archive raster gml)
set(allowed_platform platform)
set(allowed_archive platform archive)
set(allowed_raster platform raster)
set(allowed_gml ${core})
set(allowed_commands ${core} commands)
set(allowed_cli ${core} commands cli)
set(allowed_app ${core} commands app)
set(allowed_testkit ${core} commands testkit)
set(allowed_fuzz ${core} commands testkit fuzz)
set(allowed_bench ${core} commands app testkit bench)
set(project_folders ${core} commands cli app testkit tests fuzz bench)
# Where Qt may not be included: everything the window builds on, and what stands beside it
# without a window.
set(without_qt ${core} commands cli testkit fuzz)

set(failures "")
foreach(layer ${core} commands cli app testkit fuzz bench)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp"
       "${SOURCE_DIR}/${layer}/*.h.in")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
    file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
    foreach(line IN LISTS includes)
      if(line MATCHES "[<\"](Q[A-Za-z]*|Qt[A-Za-z]*/[^>\"]*|q[a-z]*\\.h)[>\"]")
        if(layer IN_LIST without_qt)
          list(APPEND failures "${shown}: Qt below app/: ${line}")
        endif()
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
