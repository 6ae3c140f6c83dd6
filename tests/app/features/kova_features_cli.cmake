# Runs `kova template`, `kova preview` and `kova export` as a user would and
# checks standard output, standard error, exit codes and the files written.
#   cmake -DKOVA=<kova> -DEXAMPLE=<grid.asc> -DWORK_DIR=<dir> -DCHECK=<name> -P kova_features_cli.cmake
# CHECK: templates, refusals, preview, export.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../../support/cli_checks.cmake)

# A usage error that the command-line parser catches: not 0, not 1.
function(expect_usage_error what actual)
  if("${actual}" STREQUAL "0" OR "${actual}" STREQUAL "1")
    message(SEND_ERROR "${what}: exit code ${actual}, expected a usage error")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

if(CHECK STREQUAL "templates")
  # projection;arguments;ProjectionType;OriginLatitude;OriginLongitude;StdParallel1;StdParallel2
  set(rows
    "hammer|--origin-lon 20|2|0|20|0|0"
    "latlon||3|0|0|0|0"
    "lambert-conic|--origin-lat 23 --origin-lon -96 --parallel1 33 --parallel2 45|4|23|-96|33|45"
    "geostationary|--origin-lon -75|5|0|-75|0|0"
    "lambert-azimuthal|--origin-lat 45 --origin-lon 10|6|45|10|0|0"
    "albers|--origin-lat 23 --origin-lon -96 --parallel1 29.5 --parallel2 45.5|8|23|-96|29.5|45.5"
    "goode||9|0|0|0|0")
  foreach(row IN LISTS rows)
    string(REPLACE "|" ";" fields "${row}")
    list(GET fields 0 name)
    list(GET fields 1 arguments)
    list(GET fields 2 type)
    list(GET fields 3 latitude)
    list(GET fields 4 longitude)
    list(GET fields 5 parallel1)
    list(GET fields 6 parallel2)
    separate_arguments(arguments)
    set(image ${WORK_DIR}/${name}.img)
    run_kova(template -o ${image} --projection ${name} ${arguments})
    expect("${name}: exit code" "${rc}" "0")
    expect("${name}: standard output" "${out}" "${image}\n")
    expect("${name}: standard error" "${err}" "")
    run_kova(info ${image})
    expect("${name}: info exit code" "${rc}" "0")
    expect_match("${name}: info" "${out}"
      "ImageType: 200\nProjectionType: ${type} \\([^\n]*\\)\nRows: 1\nColumns: 1\nTitle: \"Tarvo2Kova template: [^\n]*\"\nOriginLatitude: ${latitude}\nOriginLongitude: ${longitude}\n")
    expect_match("${name}: parallels" "${out}"
      "StdParallel1: ${parallel1}\nStdParallel2: ${parallel2}\nMinCode: 0\nMaxCode: 253\nNoDataCode: 254\n")
  endforeach()

elseif(CHECK STREQUAL "refusals")
  run_kova(template -o ${WORK_DIR}/t.img --projection albers --parallel1 30 --parallel2 30)
  expect("equal parallels: exit code" "${rc}" "2")
  expect("equal parallels: standard error" "${err}"
         "kova: Standard parallels 30 and 30 are equal; the cone needs two.\n")
  expect("equal parallels: standard output" "${out}" "")
  if(EXISTS ${WORK_DIR}/t.img)
    message(SEND_ERROR "a refused template was written")
  endif()
  run_kova(template -o ${WORK_DIR}/t.img --projection mercator)
  expect("unknown projection: exit code" "${rc}" "2")
  run_kova(template --projection goode)
  expect_usage_error("no output" "${rc}")

elseif(CHECK STREQUAL "preview")
  run_kova(convert ${EXAMPLE} -o ${WORK_DIR}/rain.img)
  expect("convert: exit code" "${rc}" "0")
  run_kova(preview ${WORK_DIR}/rain.img --legend --size 120 --colours grey)
  expect("preview: exit code" "${rc}" "0")
  expect("preview: standard output" "${out}" "${WORK_DIR}/rain.png\n")
  file(READ ${WORK_DIR}/rain.png signature LIMIT 8 HEX)
  expect("preview: PNG signature" "${signature}" "89504e470d0a1a0a")
  run_kova(preview ${WORK_DIR}/rain.img --colours rainbow)
  expect_usage_error("unknown colours" "${rc}")
  run_kova(preview ${WORK_DIR}/missing.img)
  expect("missing image: exit code" "${rc}" "1")
  expect_match("missing image: standard error" "${err}" "^kova: File not found: [^\n]*missing\\.img\n$")
  # The image itself is never the output.
  run_kova(preview ${WORK_DIR}/rain.img -o ${WORK_DIR}/rain.img)
  expect("output is input: exit code" "${rc}" "1")
  run_kova(info ${WORK_DIR}/rain.img)
  expect("output is input: image kept" "${rc}" "0")

elseif(CHECK STREQUAL "export")
  run_kova(convert ${EXAMPLE} -o ${WORK_DIR}/rain.img)
  run_kova(export ${WORK_DIR}/rain.img -o ${WORK_DIR}/back.asc --nodata -1)
  expect("export: exit code" "${rc}" "0")
  expect("export: standard output" "${out}" "${WORK_DIR}/back.asc\n")
  file(STRINGS ${WORK_DIR}/back.asc header LIMIT_COUNT 6)
  expect("export: header" "${header}" "columns 60;rows 40;leftedge 29;bottomedge -4;cell 0.1;nodata -1")
  run_kova(convert ${WORK_DIR}/back.asc -o ${WORK_DIR}/again.img)
  expect("convert again: exit code" "${rc}" "0")
  file(READ ${WORK_DIR}/rain.img first OFFSET 512 HEX)
  file(READ ${WORK_DIR}/again.img second OFFSET 512 HEX)
  expect("same codes" "${second}" "${first}")
  run_kova(export ${WORK_DIR}/rain.img --nodata nan)
  expect("export nan: exit code" "${rc}" "2")
else()
  message(FATAL_ERROR "unknown CHECK ${CHECK}")
endif()
