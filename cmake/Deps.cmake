# Third-party libraries, as imported targets:
#   deps::cryptopp  deps::zlib  deps::deflate  deps::jpeg  and GoogleTest's GTest::gtest(_main)/GTest::gmock
#   deps::isal where the build inflates large bodies through ISA-L: the host
#   and the x86_64 Windows build. ISA-L's i686 build has only its portable C
#   code, which inflates no faster than zlib, so the i686 build has none.
# The host takes Debian's packages; the Windows builds take zlib from Debian's
# MinGW package and Crypto++, libjpeg-turbo, libdeflate and ISA-L from the
# cache that scripts/bootstrap.sh builds from Debian's source packages.

if(WIN32)
  set(DEPS_CACHE "$ENV{HOME}/.cache/setupkit-deps" CACHE PATH "Where bootstrap built the Windows libraries")
  if(NOT DEFINED MINGW_TRIPLE)
    message(FATAL_ERROR "configure the Windows builds through the win64 or win32 preset")
  endif()
  set(_deps ${DEPS_CACHE}/${MINGW_TRIPLE})

  foreach(lib cryptopp libjpeg-turbo libdeflate)
    if(NOT EXISTS ${_deps}/${lib}/lib)
      message(FATAL_ERROR "${lib} for ${MINGW_TRIPLE} is missing under ${_deps}: run scripts/bootstrap.sh")
    endif()
  endforeach()

  add_library(deps::cryptopp STATIC IMPORTED GLOBAL)
  set_target_properties(deps::cryptopp PROPERTIES
    IMPORTED_LOCATION ${_deps}/cryptopp/lib/libcryptopp.a
    INTERFACE_INCLUDE_DIRECTORIES ${_deps}/cryptopp/include
    INTERFACE_LINK_LIBRARIES "ws2_32")

  add_library(deps::jpeg STATIC IMPORTED GLOBAL)
  set_target_properties(deps::jpeg PROPERTIES
    IMPORTED_LOCATION ${_deps}/libjpeg-turbo/lib/libjpeg.a
    INTERFACE_INCLUDE_DIRECTORIES ${_deps}/libjpeg-turbo/include)

  add_library(deps::deflate STATIC IMPORTED GLOBAL)
  set_target_properties(deps::deflate PROPERTIES
    IMPORTED_LOCATION ${_deps}/libdeflate/lib/libdeflate.a
    INTERFACE_INCLUDE_DIRECTORIES ${_deps}/libdeflate/include)

  if(MINGW_TRIPLE MATCHES "^x86_64")
    if(NOT EXISTS ${_deps}/isa-l/lib)
      message(FATAL_ERROR "isa-l for ${MINGW_TRIPLE} is missing under ${_deps}: run scripts/bootstrap.sh")
    endif()
    add_library(deps::isal STATIC IMPORTED GLOBAL)
    set_target_properties(deps::isal PROPERTIES
      IMPORTED_LOCATION ${_deps}/isa-l/lib/libisal.a
      INTERFACE_INCLUDE_DIRECTORIES ${_deps}/isa-l/include)
  endif()

  # The static archive, never the import library of the DLL beside it.
  find_library(MINGW_ZLIB NAMES libz.a REQUIRED)
  find_path(MINGW_ZLIB_INCLUDE zlib.h REQUIRED)
  add_library(deps::zlib STATIC IMPORTED GLOBAL)
  set_target_properties(deps::zlib PROPERTIES
    IMPORTED_LOCATION ${MINGW_ZLIB}
    INTERFACE_INCLUDE_DIRECTORIES ${MINGW_ZLIB_INCLUDE})

  if(BUILD_TESTING)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    # The Win32 thread model of these compilers has no std::mutex; the shim
    # gives GoogleTest the one helper that needs it.
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    foreach(t gtest gmock)
      target_compile_options(${t} PUBLIC -include ${PROJECT_SOURCE_DIR}/cmake/gtest-mingw-shim.h)
    endforeach()
  endif()
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(CRYPTOPP REQUIRED IMPORTED_TARGET libcrypto++)
  add_library(deps::cryptopp ALIAS PkgConfig::CRYPTOPP)
  find_package(ZLIB REQUIRED)
  add_library(deps::zlib ALIAS ZLIB::ZLIB)
  pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET libdeflate)
  add_library(deps::deflate ALIAS PkgConfig::LIBDEFLATE)
  pkg_check_modules(LIBISAL REQUIRED IMPORTED_TARGET libisal)
  add_library(deps::isal ALIAS PkgConfig::LIBISAL)
  find_package(JPEG REQUIRED)
  add_library(deps::jpeg ALIAS JPEG::JPEG)
  if(BUILD_TESTING)
    find_package(GTest REQUIRED)
  endif()
endif()
