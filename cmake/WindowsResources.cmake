# Resources of the Windows programs: a version resource and, optionally, an embedded manifest.
#
#   norvane_version_resource(<target> VERSION <text> PRODUCT <text> DESCRIPTION <text>
#                            [MANIFEST <file>])
#
# VERSION is the text shown as the file and product version ("1.06.00"); its numbers, padded
# with zeros to four, are the binary versions (1,6,0,0). The manifest becomes the program's
# resource 1 of type RT_MANIFEST, which Windows reads when it starts the process. Nothing is
# done outside the Windows build.
function(norvane_version_resource target)
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows")
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 RES "" "VERSION;PRODUCT;DESCRIPTION;MANIFEST" "")
  string(REPLACE "." ";" numbers "${RES_VERSION}")
  set(binary "")
  foreach(i RANGE 3)
    list(LENGTH numbers count)
    set(number 0)
    if(i LESS count)
      list(GET numbers ${i} number)
      math(EXPR number "${number}")  # "06" -> 6
    endif()
    list(APPEND binary ${number})
  endforeach()
  list(JOIN binary "," RES_NUMBERS)
  get_target_property(RES_NAME ${target} OUTPUT_NAME)
  if(NOT RES_NAME)
    set(RES_NAME ${target})
  endif()
  set(manifest "${RES_MANIFEST}")
  set(RES_MANIFEST "")
  if(manifest)
    get_filename_component(manifest "${manifest}" ABSOLUTE)
    # 1: CREATEPROCESS_MANIFEST_RESOURCE_ID; 24: RT_MANIFEST.
    set(RES_MANIFEST "1 24 \"${manifest}\"")
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  if(manifest)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${manifest})
  endif()
endfunction()
