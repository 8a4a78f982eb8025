# Run after the product is linked (cmake -P, with EXE, SYMBOLS, NM and
# BUDGET set): fails the build when the stripped executable is larger than
# BUDGET bytes (0: no budget) or links the standard stream library, whose
# locale-bound parsing and formatting the program never needs.
file(SIZE "${EXE}" size)
if(BUDGET GREATER 0 AND size GREATER BUDGET)
  message(FATAL_ERROR "${EXE} is ${size} bytes, over its budget of ${BUDGET}")
endif()
execute_process(COMMAND "${NM}" -C "${SYMBOLS}" OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot list the symbols of ${SYMBOLS}")
endif()
string(REGEX MATCH "std::(__cxx11::)?basic_(i|o|io|istring|ostring|string)stream<[^\n]*" stream "${symbols}")
if(NOT stream STREQUAL "")
  message(FATAL_ERROR "${EXE} links the stream library: ${stream}")
endif()
