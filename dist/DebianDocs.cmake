# The two files Debian wants in a package's documentation folder, made from
# the project's own records so that neither is kept twice: copyright, in
# Debian's machine-readable format, from LICENSE; changelog.gz from the commits
# since the last release.

set(UAV_MAINTAINER "The uavControl developers <uavcontrol@korvane.invalid>")

file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)\n\n" notice "${license}")
set(holder "${CMAKE_MATCH_1}")
string(FIND "${license}" "${notice}" at)
string(LENGTH "${notice}" length)
math(EXPR at "${at} + ${length}")
string(SUBSTRING "${license}" ${at} -1 terms)
string(STRIP "${terms}" terms)
# A field's text goes on indented lines, with "." standing for an empty line.
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " terms "${terms}")
file(CONFIGURE OUTPUT copyright @ONLY CONTENT [[
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: uavControl
Upstream-Contact: @UAV_MAINTAINER@

Files: *
Copyright: @holder@
License: Expat
 @terms@
]])

# One entry for this version, listing the commits since the previous release
# tag (all of them while there is none), dated with the last commit.
set(changes "  * Release ${UAV_VERSION}.\n")
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
if(GIT_FOUND AND UAV_SOURCE_DATE_EPOCH)
  execute_process(COMMAND ${GIT_EXECUTABLE} describe --tags --abbrev=0 --match "v[0-9]*"
                          --exclude "v${PROJECT_VERSION}" HEAD
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE previous
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  set(range HEAD)
  if(previous)
    set(range ${previous}..HEAD)
  endif()
  # Git wraps each subject to the changelog's width.
  execute_process(COMMAND ${GIT_EXECUTABLE} log --no-merges "--format=%w(78,2,4)* %s" ${range}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE changes)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C
                          ${GIT_EXECUTABLE} log -1 "--date=format:%a, %d %b %Y %H:%M:%S %z" --format=%cd
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
file(CONFIGURE OUTPUT changelog @ONLY CONTENT [[
uavcontrol (@UAV_VERSION@) unstable; urgency=medium

@changes@
 -- @UAV_MAINTAINER@  @date@
]])
execute_process(COMMAND gzip -9n INPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/changelog
                OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
