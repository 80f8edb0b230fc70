# Programs of the simulated build. Each program is a shared module built from the same sources
# and libraries as its Windows executable; winsim loads a private copy of it for every
# simulated process, so each process has globals and statics of its own (README, "Programs in
# the simulated world").
#
#   norvane_sim_program(<name> <sources...> LIBRARIES <libraries...>)
#
# builds ${PROJECT_BINARY_DIR}/programs/<name>.so. The sources are the program's own main.cpp;
# the static libraries listed are compiled as position-independent code with hidden symbols.
# Targets that run programs link `sim_programs`: the programs are built before them, and
# NORVANE_PROGRAMS_DIR names the folder, so that
#
#   world.add_program("Quillet.exe", winsim::ProgramImage{NORVANE_PROGRAMS_DIR "/Quillet.so"});
#
# registers one.
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  return()
endif()

set(NORVANE_PROGRAMS_DIR ${PROJECT_BINARY_DIR}/programs)
add_library(sim_programs INTERFACE)
target_compile_definitions(sim_programs INTERFACE NORVANE_PROGRAMS_DIR="${NORVANE_PROGRAMS_DIR}")

# A program image exports its `main` and nothing else: every other symbol binds inside the
# image, so two loaded copies never reach into each other.
set(NORVANE_PROGRAM_EXPORTS ${PROJECT_BINARY_DIR}/cmake/program-exports.map)
file(WRITE ${NORVANE_PROGRAM_EXPORTS} "{\n  global: main;\n  local: *;\n};\n")

# Code that goes into program images. GCC would otherwise make the statics of inline functions
# and templates process-wide unique symbols, shared by every loaded copy (and never unloaded).
#
# A fault rule may name the program function a call is made from, found from the call's return
# address: every function of the source keeps a frame of its own (no inlining) and calls
# another only by a call (no sibling calls, whose return address would be the caller's caller).
set(NORVANE_PROGRAM_CODE_OPTIONS -fno-inline -fno-optimize-sibling-calls)
function(norvane_program_code target)
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON
                                             CXX_VISIBILITY_PRESET hidden
                                             VISIBILITY_INLINES_HIDDEN ON)
  target_compile_options(${target} PRIVATE ${NORVANE_PROGRAM_CODE_OPTIONS})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
  endif()
endfunction()

function(norvane_sim_program name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "LIBRARIES")
  add_library(${name} MODULE ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
  foreach(library IN LISTS ARG_LIBRARIES)
    if(TARGET ${library})
      get_target_property(type ${library} TYPE)
      if(type STREQUAL "STATIC_LIBRARY" OR type STREQUAL "OBJECT_LIBRARY")
        norvane_program_code(${library})
      endif()
    endif()
  endforeach()
  target_compile_options(${name} PRIVATE ${NORVANE_PROGRAM_CODE_OPTIONS})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${name} PRIVATE -fno-gnu-unique)
  endif()
  # The image's static destructors are registered with winsim, which runs them when the
  # program's main returns, as the C runtime's exit does, and not when the process is ended.
  target_link_options(${name} PRIVATE -Wl,--version-script=${NORVANE_PROGRAM_EXPORTS}
                      -Wl,--wrap=__cxa_atexit -Wl,-z,defs)
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".so"
                                           LIBRARY_OUTPUT_DIRECTORY ${NORVANE_PROGRAMS_DIR}
                                           LINK_DEPENDS ${NORVANE_PROGRAM_EXPORTS})
  norvane_target_options(${name})
  add_dependencies(sim_programs ${name})
endfunction()
