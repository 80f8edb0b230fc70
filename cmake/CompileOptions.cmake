# Warning and language options shared by every target of the project.
function(norvane_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wno-missing-field-initializers)
  # GCC 12 reports -Wrestrict for std::string concatenation at -O2 where no overlap exists
  # (a known false positive of that release).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(NORVANE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # In the simulated build every frame larger than a page touches each of its pages in turn, so
  # a thread that runs off its stack lands in the guard below it (winsim's ThreadStack) and
  # never in memory beyond.
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows")
    target_compile_options(${target} PRIVATE -fstack-clash-protection)
  endif()
endfunction()

# Windows programs: static runtime so the .exe files run on a bare Windows.
function(norvane_windows_program target)
  if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()
