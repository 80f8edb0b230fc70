# Writes the simulator's tables of names read from winsim's own sources, so that they never fall
# behind what winsim emulates:
#   CALLS_OUT   the names of the emulated calls, which fault lines may name: the names every
#               winsim::Call is made with (a literal, or the literals a statement
#               "const char *name = ..." chooses from) and the stand-in libraries' enter_call
#               names; one C string literal a line
#   ERRORS_OUT  the system error codes of the Win32 face's errors.h: {code, "NAME"} a line
# Run as: cmake -DCALL_SOURCES=<a|b|...> -DERRORS_HEADER=<errors.h> -DCALLS_OUT=<file>
#               -DERRORS_OUT=<file> -P GenerateNames.cmake
string(REPLACE "|" ";" sources "${CALL_SOURCES}")
set(calls "")
foreach(source IN LISTS sources)
  file(READ "${source}" text)
  string(REGEX MATCHALL "Call [a-z_]+\\(\"[A-Za-z0-9_:]+\"\\)" made "${text}")
  string(REGEX MATCHALL "enter_call\\(\"[A-Za-z0-9_:]+\"" entered "${text}")
  string(REGEX MATCHALL "const char \\*name = [^;]*;" chosen "${text}")
  foreach(piece IN LISTS made entered chosen)
    string(REGEX MATCHALL "\"[A-Za-z0-9_:]+\"" literals "${piece}")
    list(APPEND calls ${literals})
  endforeach()
endforeach()
list(REMOVE_DUPLICATES calls)
list(SORT calls)
list(JOIN calls ",\n" call_lines)
file(WRITE "${CALLS_OUT}.new" "${call_lines}\n")
file(COPY_FILE "${CALLS_OUT}.new" "${CALLS_OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${CALLS_OUT}.new")

file(STRINGS "${ERRORS_HEADER}" defines REGEX "^#define (ERROR|RPC_S)_[A-Z0-9_]+ [0-9]+L$")
set(error_lines "")
foreach(define IN LISTS defines)
  string(REGEX REPLACE "^#define ([A-Z0-9_]+) ([0-9]+)L$" "{\\2, \"\\1\"}," line "${define}")
  string(APPEND error_lines "${line}\n")
endforeach()
file(WRITE "${ERRORS_OUT}.new" "${error_lines}")
file(COPY_FILE "${ERRORS_OUT}.new" "${ERRORS_OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${ERRORS_OUT}.new")
