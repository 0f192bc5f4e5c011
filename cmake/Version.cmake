# The version every program prints and the Debian package carries.
#
# On the commit tagged v<project version> it is the project's version itself;
# after that tag it is <project version>+git<commits>.g<hash>, which Debian
# sorts after the release and before the next one. While the release has no
# tag, commits are counted from the first one. A tree without git history (an
# unpacked source archive) has the plain version.
#
# Sets UAV_VERSION, and UAV_SOURCE_DATE_EPOCH to the commit's time (empty
# without history), and writes the version to version/ProgramVersion.h under
# the build folder, which the target program_version puts on the include path.
# Git's record of HEAD is a configure dependency, so the next build after a
# commit, a checkout or a rebase picks up the new version.

find_package(Git QUIET)

function(uav_git_version out out_time)
  set(version ${PROJECT_VERSION})
  set(time "")
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=7 HEAD
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE hash
      RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  else()
    set(failed 1)
  endif()
  if(NOT failed)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --tags --long --abbrev=7 --match v${PROJECT_VERSION}
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE described
      RESULT_VARIABLE untagged OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(untagged)
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count HEAD
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE commits OUTPUT_STRIP_TRAILING_WHITESPACE)
    else()
      string(REGEX REPLACE "^.*-([0-9]+)-g[0-9a-f]+$" "\\1" commits "${described}")
    endif()
    if(NOT commits EQUAL 0)
      set(version "${version}+git${commits}.g${hash}")
    endif()
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE time OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path logs/HEAD
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE head_log OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(head_log "${head_log}" ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
    if(EXISTS "${head_log}")
      set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${head_log}")
    endif()
  endif()
  set(${out} "${version}" PARENT_SCOPE)
  set(${out_time} "${time}" PARENT_SCOPE)
endfunction()

uav_git_version(UAV_VERSION UAV_SOURCE_DATE_EPOCH)
message(STATUS "uavControl version ${UAV_VERSION}")

set(_version_header ${PROJECT_BINARY_DIR}/generated/version/ProgramVersion.h)
file(CONFIGURE OUTPUT ${_version_header} CONTENT [[
#pragma once

// The program's version, written by the build from the project's version and
// its git history.
namespace fw {
inline constexpr char ProgramVersion[] = "@UAV_VERSION@";
}
]] @ONLY)
add_library(program_version INTERFACE)
target_include_directories(program_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
