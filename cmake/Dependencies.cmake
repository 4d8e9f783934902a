# libjpeg-turbo, prebuilt per target by scripts/build-deps.sh.
if(NOT ORBA_CACHE)
  if(DEFINED ENV{ORBA_CACHE})
    set(ORBA_CACHE $ENV{ORBA_CACHE})
  else()
    set(ORBA_CACHE /var/cache/orba-build)
  endif()
endif()
set(ORBA_TURBOJPEG_ROOT ${ORBA_CACHE}/libjpeg-turbo/install-${ORBA_ARCH}
    CACHE PATH "libjpeg-turbo install folder for this target")
find_library(ORBA_TURBOJPEG_LIB NAMES libturbojpeg.a turbojpeg
  PATHS ${ORBA_TURBOJPEG_ROOT}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_path(ORBA_TURBOJPEG_INCLUDE turbojpeg.h
  PATHS ${ORBA_TURBOJPEG_ROOT}/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT ORBA_TURBOJPEG_LIB OR NOT ORBA_TURBOJPEG_INCLUDE)
  message(FATAL_ERROR "libjpeg-turbo for ${ORBA_ARCH} not found in ${ORBA_TURBOJPEG_ROOT}; run scripts/build-deps.sh")
endif()
add_library(turbojpeg STATIC IMPORTED GLOBAL)
set_target_properties(turbojpeg PROPERTIES
  IMPORTED_LOCATION ${ORBA_TURBOJPEG_LIB}
  INTERFACE_INCLUDE_DIRECTORIES ${ORBA_TURBOJPEG_INCLUDE})

# GoogleTest, built for the target from the sources of Debian's googletest package.
set(ORBA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
