# Builds the core layer probe, which includes a widget header from a core target.
# Passes only when that build stops at the guard header's own #error; a probe that
# builds, or fails for any other reason, fails the test.
#   cmake -DBUILD_DIR=... -DGUARD_HEADER=... -P BuildProbe.cmake
file(STRINGS ${GUARD_HEADER} guard REGEX "^#error ")
string(REGEX REPLACE "^#error \"(.*)\"$" "\\1" expected "${guard}")
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target core_layer_probe
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0)
  message(FATAL_ERROR "The core layer probe built: a core target can include Qt Widgets")
endif()
string(FIND "${output}" "${expected}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "The core layer probe failed, but not at the guard header:\n${output}")
endif()
message(STATUS "The core layer probe stopped at the guard header, as it should")
