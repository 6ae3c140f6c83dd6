# Packages for users, made by `cpack` in the build folder:
#   Linux:   tarvo2kova_VERSION_ARCH.deb, its library dependencies worked out
#            by dpkg-shlibdeps from the programs and the reader module.
#   Windows: a portable zip and an NSIS installer per target,
#            tarvo2kova-VERSION-win32 and -win64: the programs, template.img,
#            the README as text and the licences of the libraries the
#            programs carry inside.
set(CPACK_PACKAGE_NAME tarvo2kova)
set(CPACK_PACKAGE_VENDOR "Tarvo2Kova")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Convert Tarvo ASCII Grid files into Kova images")
set(CPACK_PACKAGE_CONTACT "${KOVA_CONTACT_EMAIL}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${KOVA_DOWNLOAD_URL}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Tarvo2Kova")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # Texts with Windows line ends, so that every Notepad shows their lines.
  set(_kova_texts ${PROJECT_BINARY_DIR}/package-texts)
  function(kova_windows_text source name)
    file(READ ${source} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${_kova_texts}/${name} "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  endfunction()
  kova_windows_text(${PROJECT_SOURCE_DIR}/README.md README.txt)
  install(FILES ${_kova_texts}/README.txt DESTINATION .)
  if(KOVA_WINDOWS_LICENSES_DIR)
    file(GLOB _kova_licenses ${KOVA_WINDOWS_LICENSES_DIR}/*.txt)
    foreach(licence IN LISTS _kova_licenses)
      get_filename_component(name ${licence} NAME)
      kova_windows_text(${licence} licenses/${name})
      install(FILES ${_kova_texts}/licenses/${name} DESTINATION licenses)
    endforeach()
  endif()

  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_kova_bits 64)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  else()
    set(_kova_bits 32)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
  endif()
  set(CPACK_GENERATOR ZIP NSIS)
  set(CPACK_PACKAGE_FILE_NAME tarvo2kova-${PROJECT_VERSION}-win${_kova_bits})
  # (The zip unpacks into one folder of that name.)
  set(CPACK_NSIS_PACKAGE_NAME "Tarvo2Kova ${PROJECT_VERSION} (${_kova_bits}-bit)")
  set(CPACK_NSIS_DISPLAY_NAME "Tarvo2Kova ${PROJECT_VERSION} (${_kova_bits}-bit)")
  # The 32-bit and the 64-bit programs may both be installed.
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Tarvo2Kova ${_kova_bits}-bit")
  set(CPACK_PACKAGE_INSTALL_DIRECTORY "Tarvo2Kova")
  # A Start-menu entry for the window; uninstalling first replaces an older
  # installation instead of leaving it registered beside the new one.
  if(TARGET tarvo2kova)
    set(CPACK_PACKAGE_EXECUTABLES tarvo2kova "Tarvo2Kova")
  endif()
  set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  set(CPACK_NSIS_URL_INFO_ABOUT "${KOVA_DOWNLOAD_URL}")
  set(CPACK_NSIS_CONTACT "${KOVA_CONTACT_EMAIL}")
  set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tarvo2kova)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Below the summary line, which comes first of itself.
  string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
         "The window program tarvo2kova and the command-line program kova turn\n"
         "Tarvo ASCII grids, GeoTIFF and NetCDF files into Kova images, on the\n"
         "georeference of a template image.")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
