# Helpers of the scripts (cmake -P) that run the built kova, ${KOVA} under
# ${KOVA_EMULATOR} when cross-built, and check what it prints.

# One run: its standard output, standard error and exit code in out, err, rc.
function(run_kova)
  execute_process(COMMAND ${KOVA_EMULATOR} ${KOVA} ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err
                  RESULT_VARIABLE rc)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
  set(rc "${rc}" PARENT_SCOPE)
endfunction()

function(expect what actual expected)
  if(NOT "${actual}" STREQUAL "${expected}")
    message(SEND_ERROR "${what}:\n[${actual}]\nexpected\n[${expected}]")
  endif()
endfunction()

function(expect_match what actual regex)
  if(NOT "${actual}" MATCHES "${regex}")
    message(SEND_ERROR "${what}:\n[${actual}]\ndoes not match\n[${regex}]")
  endif()
endfunction()

# Runs kova with the given arguments and checks its three results exactly;
# its standard output stays in last_stdout.
function(expect_run expected_stdout expected_stderr expected_rc)
  run_kova(${ARGN})
  expect("kova ${ARGN}: standard output" "${out}" "${expected_stdout}")
  expect("kova ${ARGN}: standard error" "${err}" "${expected_stderr}")
  expect("kova ${ARGN}: exit code" "${rc}" "${expected_rc}")
  set(last_stdout "${out}" PARENT_SCOPE)
endfunction()
