# Runs `kova info` / `kova locate` and compares standard output, standard
# error and the exit code exactly.
#   cmake -DKOVA=<kova> -DTEMPLATE=<template.img> -DWORK_DIR=<dir> -DCHECK=<name> -P kova_info_cli.cmake
# CHECK: info_text, info_json, locate, errors.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../../support/cli_checks.cmake)

# The title of the template as stored: its text padded to 80 characters.
set(title "Tarvo2Kova template: lat/lon grid, image type 200")
string(LENGTH "${title}" title_length)
math(EXPR padding "80 - ${title_length}")
string(REPEAT " " ${padding} spaces)
set(title "${title}${spaces}")

# name;value pairs in the order each form prints them: the text names the
# codes after their numbers, JSON gives the names keys of their own.
set(fields
  Rows 1 Columns 1 Title "\"${title}\""
  OriginLatitude 0 OriginLongitude 0 OriginColumn 0 OriginRow 0
  PixelWidth 1 PixelHeight 1 StdParallel1 0 StdParallel2 0
  MinCode 0 MaxCode 253 NoDataCode 254 ScaleFactor 1 ScaleOffset 0 Decimals 0)
set(extent_of "pixel positions (0 and Columns-1, 0 and Rows-1): the lower-right corners of the corner cells of a converted grid")
set(extent MinLatitude 0 MaxLatitude 0 MinLongitude 0 MaxLongitude 0)
if(CHECK STREQUAL "info_text")
  set(items Status "1 (valid image)" ImageType 200 ProjectionType "3 (latitude/longitude grid)"
      ${fields} MinValue "0 (code 0)" MaxValue "253 (code 253)" PixelSizeKm 0
      ExtentOf "${extent_of}" ${extent})
else()
  set(items Status 1 StatusName "\"valid image\"" ImageType 200 ProjectionType 3
      ProjectionName "\"latitude/longitude grid\"" ${fields}
      MinValue 0 MaxValue 253 PixelSizeKm 0 ExtentOf "\"${extent_of}\"" ${extent})
endif()

if(CHECK STREQUAL "info_text")
  set(expected "")
  set(names "")
  foreach(item IN LISTS items)
    if(names STREQUAL "")
      set(names "${item}")
    else()
      string(APPEND expected "${names}: ${item}\n")
      set(names "")
    endif()
  endforeach()
  expect_run("${expected}" "" 0 info ${TEMPLATE})

elseif(CHECK STREQUAL "info_json")
  set(expected "{\n")
  set(name "")
  foreach(item IN LISTS items)
    if(name STREQUAL "")
      set(name "${item}")
    else()
      string(APPEND expected "  \"${name}\": ${item},\n")
      set(name "")
    endif()
  endforeach()
  string(REGEX REPLACE ",\n$" "\n}\n" expected "${expected}")
  expect_run("${expected}" "" 0 info ${TEMPLATE} --json)

  # A JSON reader finds the 30 keys with their values, the title as stored.
  # (The order of the keys is fixed by the exact text above.)
  string(JSON count ERROR_VARIABLE json_error LENGTH "${last_stdout}")
  if(json_error)
    message(SEND_ERROR "not JSON: ${json_error}")
  elseif(NOT count EQUAL 30)
    message(SEND_ERROR "${count} keys instead of 30")
  else()
    set(name "")
    foreach(item IN LISTS items)
      if(name STREQUAL "")
        set(name "${item}")
        continue()
      endif()
      if(name STREQUAL "Title")
        set(item "${title}")
      endif()
      string(REGEX REPLACE "^\"(.*)\"$" "\\1" item "${item}")
      string(JSON value ERROR_VARIABLE json_error GET "${last_stdout}" ${name})
      if(json_error OR NOT value STREQUAL item)
        message(SEND_ERROR "${name} reads [${value}] ${json_error}, expected [${item}]")
      endif()
      set(name "")
    endforeach()
  endif()

elseif(CHECK STREQUAL "locate")
  # The template: 0/0 at pixel 0/0, one-degree pixels, rows southward. The
  # positions pass through 6-byte reals; each is printed as the shortest
  # decimal that reads back to the same 6-byte value.
  # The template has one pixel; positions beyond it are answered with a note.
  set(beyond "kova: note: position beyond the image's 1 columns and 1 rows\n")
  expect_run("0 0\n" "" 0 locate ${TEMPLATE} 0 0)
  expect_run("3 -4\n" "${beyond}" 0 locate ${TEMPLATE} 3 4)
  expect_run("2.5 -7.25\n" "${beyond}" 0 locate ${TEMPLATE} 2.5 7.25)
  expect_run("0.1 -0.3\n" "" 0 locate ${TEMPLATE} 0.1 0.3)
  expect_run("1.7 0\n" "${beyond}" 0 locate ${TEMPLATE} 1.7 0)
  # A negative position is no position: a usage error.
  set(usage "kova: run 'kova help' for the commands and options\n")
  expect_run("" "kova: a pixel position is a number of 0 or more (column -1, row 5)\n${usage}" 2
             locate ${TEMPLATE} -1 5)
  expect_run("" "kova: a pixel position is a number of 0 or more (column 5, row -0.5)\n${usage}" 2
             locate ${TEMPLATE} 5 -0.5)

elseif(CHECK STREQUAL "errors")
  file(MAKE_DIRECTORY ${WORK_DIR})
  set(missing ${WORK_DIR}/missing.img)
  file(REMOVE ${missing})
  expect_run("" "kova: File not found: ${missing}\n" 1 info ${missing})
  expect_run("" "kova: File not found: ${missing}\n" 1 info --json ${missing})
  expect_run("" "kova: File not found: ${missing}\n" 1 locate ${missing} 1 1)
  expect_run("" "kova: Invalid filename: ${WORK_DIR}/no-folder/x.img\n" 1 info ${WORK_DIR}/no-folder/x.img)

  # A file too short for a header is attached but not a valid image.
  set(invalid ${WORK_DIR}/short.img)
  file(WRITE ${invalid} "not an image")
  set(message "kova: The file ${invalid} is not a valid Kova image\n")
  expect_run("Status: 2 (not a valid Kova image)\n" "${message}" 1 info ${invalid})
  expect_run("{\n  \"Status\": 2,\n  \"StatusName\": \"not a valid Kova image\"\n}\n" "${message}" 1
             info --json ${invalid})
  expect_run("" "${message}" 1 locate ${invalid} 0 0)

else()
  message(FATAL_ERROR "unknown CHECK '${CHECK}'")
endif()
