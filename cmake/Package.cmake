# make package: the Debian package of the publisher's tools (CPack's DEB
# generator): stp, the shipping build's setup stub and uninstaller, the
# manual page and bash completion. Built from the `package` preset, which
# takes the stub and the uninstaller from the win32 build; `cpack` in its
# build folder makes the package (cpack --config DebPackage.cmake).
#
# CPack's own module would reserve the target name "package", which the
# package library has (and so would its CPackConfig.cmake in the build
# folder), so its configuration is written here the way that module writes
# it: every CPACK_ variable, in DebPackage.cmake.
set(STP_PACKAGE_NAME setupkit)
install(TARGETS stp RUNTIME DESTINATION bin)
install(FILES ${STP_DEFAULT_STUB} ${STP_DEFAULT_UNINSTALLER} DESTINATION share/stp)
set(man ${CMAKE_CURRENT_BINARY_DIR}/stp.1.gz)
add_custom_command(OUTPUT ${man}
                   COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/tools/stp.1 > ${man}
                   DEPENDS ${PROJECT_SOURCE_DIR}/tools/stp.1 VERBATIM)
add_custom_target(stp_man ALL DEPENDS ${man})
install(FILES ${man} DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/tools/stp.bash-completion DESTINATION
        share/bash-completion/completions RENAME stp)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/${STP_PACKAGE_NAME})
# An example product's settings and pictures, as stp init writes them.
set(example ${CMAKE_CURRENT_BINARY_DIR}/example)
add_custom_command(OUTPUT ${example}/product.settings
                   COMMAND ${CMAKE_COMMAND} -E rm -rf ${example}
                   COMMAND stp init ${example} --name "Example Product" --chinese-name 示例产品
                           --short-name Example --version 1.0
                   DEPENDS stp VERBATIM)
add_custom_target(stp_example ALL DEPENDS ${example}/product.settings)
install(DIRECTORY ${example} DESTINATION share/doc/${STP_PACKAGE_NAME})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${STP_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Setup kit developers <setupkit@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "makes a product's Windows Setup.exe, and packs, checks and unpacks setup packages")
set(CPACK_PACKAGE_DESCRIPTION
    "stp setup writes a complete 32-bit Windows Setup.exe (Windows XP and later, a
four-page wizard, an uninstaller) for one product from a folder, a settings file
and the prebuilt setup stub this package installs, signed with osslsigncode when
asked. stp pack, list, verify and extract make and read the packages it carries.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS osslsigncode)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_VENDOR "Setup kit")
set(CPACK_PACKAGE_FILE_NAME ${STP_PACKAGE_NAME}-${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME Linux)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/")
set(CPACK_CMAKE_GENERATOR "${CMAKE_GENERATOR}")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}")
get_cmake_property(vars VARIABLES)
set(config "# Written by cmake/Package.cmake.\n")
foreach(var IN LISTS vars)
  if(var MATCHES "^CPACK_")
    string(REPLACE "\\" "\\\\" value "${${var}}")
    string(REPLACE "\"" "\\\"" value "${value}")
    string(APPEND config "set(${var} \"${value}\")\n")
  endif()
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/DebPackage.cmake "${config}")
