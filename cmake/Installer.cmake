# The setup program (installer/ORBA.nsi), built with Debian's makensis.
#   orba_add_installer(<target> OUTPUT <exe> FILES_DIR <folder> DEPENDS <files...>)
# builds the variant of this target from the three modules in <folder>:
# x86-unicode over i686, amd64-unicode over x86_64. makensis reads the version
# from ORBA.exe and checks it against orba/Version.h, which also names the file.
find_program(ORBA_MAKENSIS makensis REQUIRED)

file(STRINGS ${PROJECT_SOURCE_DIR}/common/include/orba/Version.h orba_version_lines
  REGEX "^#define ORBA_VERSION_(MAJOR|MINOR|PATCH|BUILD) ")
foreach(part MAJOR MINOR PATCH BUILD)
  string(REGEX MATCH "ORBA_VERSION_${part} ([0-9]+)" orba_match "${orba_version_lines}")
  if(NOT orba_match)
    message(FATAL_ERROR "orba/Version.h has no ORBA_VERSION_${part}")
  endif()
  set(orba_version_${part} ${CMAKE_MATCH_1})
endforeach()
set(ORBA_PRODUCT_VERSION
  "${orba_version_MAJOR}.${orba_version_MINOR}.${orba_version_PATCH}.${orba_version_BUILD}")

if(ORBA_ARCH STREQUAL i686)
  set(ORBA_NSIS_ARCH x86)
  set(ORBA_SETUP_NAME ORBA-${ORBA_PRODUCT_VERSION}-setup.exe)
else()
  set(ORBA_NSIS_ARCH amd64)
  set(ORBA_SETUP_NAME ORBA-${ORBA_PRODUCT_VERSION}-setup-amd64.exe)
endif()

function(orba_add_installer target)
  cmake_parse_arguments(I "" "OUTPUT;FILES_DIR" "DEPENDS" ${ARGN})
  set(script ${PROJECT_SOURCE_DIR}/installer/ORBA.nsi)
  set(icon ${PROJECT_BINARY_DIR}/viewer/ORBA.ico)
  add_custom_command(OUTPUT ${I_OUTPUT}
    COMMAND ${ORBA_MAKENSIS} -V2 -WX -DORBA_ARCH=${ORBA_NSIS_ARCH} -DORBA_FILES=${I_FILES_DIR}
            -DORBA_OUTFILE=${I_OUTPUT} -DORBA_EXPECTED_VERSION=${ORBA_PRODUCT_VERSION}
            -DORBA_ICON=${icon} ${script}
    DEPENDS ${script} ${icon} ${I_DEPENDS}
    COMMENT "Building the ${ORBA_NSIS_ARCH} setup program ${I_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${I_OUTPUT})
endfunction()
