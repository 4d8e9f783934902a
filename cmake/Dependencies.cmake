# libjpeg-turbo, prebuilt per target by scripts/build-deps.sh. Without -DORBA_CACHE
# the folder is the one the scripts use, taken from scripts/common.sh so that the
# rule lives in one place: $ORBA_CACHE, else /var/cache/orba-build for root and
# ${XDG_CACHE_HOME:-~/.cache}/orba-build for anyone else.
if(NOT ORBA_CACHE)
  execute_process(
    COMMAND bash -c ". \"$1\" && printf %s \"$ORBA_CACHE\"" common.sh
            ${PROJECT_SOURCE_DIR}/scripts/common.sh
    OUTPUT_VARIABLE ORBA_CACHE RESULT_VARIABLE orba_cache_result)
  if(NOT orba_cache_result EQUAL 0 OR NOT ORBA_CACHE)
    message(FATAL_ERROR "scripts/common.sh did not name the dependency folder; pass -DORBA_CACHE=<folder>")
  endif()
  message(STATUS "Dependency folder: ${ORBA_CACHE}")
endif()
# Worked out at each configure rather than kept in the CMake cache, so that a build
# folder follows a changed ORBA_CACHE.
set(orba_turbojpeg ${ORBA_CACHE}/libjpeg-turbo/install-${ORBA_ARCH})
if(NOT EXISTS ${orba_turbojpeg}/lib/libturbojpeg.a OR NOT EXISTS ${orba_turbojpeg}/include/turbojpeg.h)
  message(FATAL_ERROR "libjpeg-turbo for ${ORBA_ARCH} not found in ${orba_turbojpeg}; run scripts/build-deps.sh")
endif()
add_library(turbojpeg STATIC IMPORTED GLOBAL)
set_target_properties(turbojpeg PROPERTIES
  IMPORTED_LOCATION ${orba_turbojpeg}/lib/libturbojpeg.a
  INTERFACE_INCLUDE_DIRECTORIES ${orba_turbojpeg}/include)

# GoogleTest, built for the target from the sources of Debian's googletest package.
set(ORBA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
