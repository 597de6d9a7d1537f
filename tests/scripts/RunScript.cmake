# Runs one VBScript test under Wine's cscript (cmake -P, started by ctest
# through korvane_add_script_test in tests/CMakeLists.txt).
#   CSCRIPT  the script host of the test's bitness, as a command list
#   LIBRARY  TestLib.vbs, put in front of the script
#   SCRIPT   the test script
#   WORK     a folder of the build for this test: it receives the combined
#            script and a fresh, empty scratch folder on every run
#   ARGS     further arguments for the script (a list, may be empty)
# The test passes when the script ends with exit code 0 after its summary
# line. Wine's cscript exits with 0 and says nothing when a runtime error
# stops a script, so a missing summary fails the test as well.

function(windows_path out unix_path)
  string(REPLACE "/" "\\" path "Z:${unix_path}")
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

foreach(required CSCRIPT LIBRARY SCRIPT WORK)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "RunScript.cmake needs -D ${required}=...")
  endif()
endforeach()

get_filename_component(name "${SCRIPT}" NAME)
set(combined "${WORK}/${name}")
set(scratch "${WORK}/scratch")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${scratch}")

file(READ "${LIBRARY}" library_text)
file(READ "${SCRIPT}" script_text)
file(WRITE "${combined}" "${library_text}${script_text}")

windows_path(combined_windows "${combined}")
windows_path(scratch_windows "${scratch}")
execute_process(
  COMMAND ${CSCRIPT} //nologo "${combined_windows}" "${scratch_windows}" ${ARGS}
  RESULT_VARIABLE exit_code
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output
  ECHO_OUTPUT_VARIABLE ECHO_ERROR_VARIABLE)

if(NOT output MATCHES "(^|\n)[0-9]+ checks, [0-9]+ failed\r?\n")
  message(FATAL_ERROR "${name} stopped before its summary: an uncaught runtime error "
                      "after the last check shown (cscript exit code ${exit_code})")
endif()
if(NOT exit_code EQUAL 0)
  message(FATAL_ERROR "${name} failed (cscript exit code ${exit_code})")
endif()
