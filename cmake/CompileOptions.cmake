# Warning and language options shared by every target of the project.
function(norvane_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wno-missing-field-initializers)
  if(NORVANE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Windows programs: static runtime so the .exe files run on a bare Windows.
function(norvane_windows_program target)
  if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()
