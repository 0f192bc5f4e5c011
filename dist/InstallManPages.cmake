# Runs at install time: each manual page from its scdoc source, compressed as
# Debian wants its pages. The date on the page is the commit's, not the day of
# the install.
if(NOT UAV_SCDOC)
  message(FATAL_ERROR "Installing the manual pages needs scdoc (apt-get install scdoc).")
endif()
set(ENV{SOURCE_DATE_EPOCH} "${UAV_SOURCE_DATE_EPOCH}")
set(dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${UAV_MANDIR}/man1")
file(MAKE_DIRECTORY "${dir}")
foreach(page IN LISTS UAV_MAN_PAGES)
  set(file "${dir}/${page}.1.gz")
  message(STATUS "Installing: ${file}")
  execute_process(COMMAND "${UAV_SCDOC}" COMMAND gzip -9n
    INPUT_FILE "${UAV_MAN_SOURCES}/${page}.1.scd" OUTPUT_FILE "${file}"
    RESULTS_VARIABLE results)
  if(NOT results STREQUAL "0;0")
    message(FATAL_ERROR "scdoc could not make ${page}.1 from ${UAV_MAN_SOURCES}/${page}.1.scd")
  endif()
  file(CHMOD "${file}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${file}")
endforeach()
