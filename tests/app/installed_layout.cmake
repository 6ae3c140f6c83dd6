# Installs the build into a scratch prefix and runs the installed `kova` from
# another folder: it must find the template and convert as the build tree's
# program does, and refuse to write over the installed template.
#   cmake -DBUILD_DIR=<build> -DKOVA=<build tree's kova> -DEXE=kova[.exe]
#         [-DEMULATOR=wine] -DREADERS=ON|OFF -DEXAMPLE=<grid.asc> -DWORK_DIR=<dir>
#         -DBINDIR=bin -DDATADIR=share/tarvo2kova -DLIBDIR=lib
#         -P installed_layout.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/data ${WORK_DIR}/elsewhere)
set(prefix ${WORK_DIR}/usr)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                OUTPUT_QUIET ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}): ${err}")
endif()

set(installed ${BINDIR}/${EXE} ${DATADIR}/template.img)
if(READERS)
  list(APPEND installed ${LIBDIR}/kova/kova_readers.so)
endif()
foreach(file IN LISTS installed)
  if(NOT EXISTS ${prefix}/${file})
    message(SEND_ERROR "not installed: ${file}")
  endif()
endforeach()
if(NOT BINDIR STREQUAL DATADIR AND EXISTS ${prefix}/${BINDIR}/template.img)
  message(SEND_ERROR "template.img installed among the programs")
endif()
set(kova ${EMULATOR} ${prefix}/${BINDIR}/${EXE})

# Runs a program in the scratch folder; sets out, err, rc.
function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK_DIR}/elsewhere
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
  set(rc "${rc}" PARENT_SCOPE)
endfunction()

get_filename_component(name ${EXAMPLE} NAME_WE)
file(COPY ${EXAMPLE} DESTINATION ${WORK_DIR}/data)
# Relative names: the Windows programs take a name that starts with "/" for
# an option.
run(${kova} convert ../data/${name}.asc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^Image [^\n]*data.${name}.img created successfully\r?\n$")
  message(FATAL_ERROR "installed kova convert: exit ${rc}\n${out}${err}")
endif()
run(${EMULATOR} ${KOVA} convert ../data/${name}.asc -o ${name}.img)
file(SHA256 ${WORK_DIR}/data/${name}.img installed_image)
file(SHA256 ${WORK_DIR}/elsewhere/${name}.img build_image)
if(NOT installed_image STREQUAL build_image)
  message(SEND_ERROR "the installed kova made another image than the build tree's")
endif()

# The installed template is the one the installed programs use, so it is
# refused as an output like the template beside a program.
set(template ${prefix}/${DATADIR}/template.img)
file(SHA256 ${template} before)
run(${kova} template --projection latlon -o ../usr/${DATADIR}/template.img)
file(SHA256 ${template} after)
if(rc EQUAL 0 OR NOT before STREQUAL after)
  message(SEND_ERROR "kova template wrote over the installed template (exit ${rc}): ${out}${err}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
