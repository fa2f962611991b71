# Authenticode signing of the Windows programs, off unless a certificate and
# its key are named:
#
#   -DSIGN_CERT=cert.pem -DSIGN_KEY=key.pem [-DSIGN_KEY_PASSWORD_FILE=pass.txt]
#   [-DSIGN_TIMESTAMP_URL=URL]
#
# Then Setup.exe is signed once its resources are in place, and the
# uninstaller of the sample package is signed with its list of files before
# it is packed. Signing needs osslsigncode.
set(SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM or DER) for Setup.exe and Uninst.exe")
set(SIGN_KEY "" CACHE FILEPATH "The certificate's private key")
set(SIGN_KEY_PASSWORD_FILE "" CACHE FILEPATH "A file whose first line is the key's password")
set(SIGN_TIMESTAMP_URL "" CACHE STRING "An RFC 3161 timestamp server (none when empty)")

set(SIGNING OFF)
if(SIGN_CERT OR SIGN_KEY)
  if(NOT SIGN_CERT OR NOT SIGN_KEY)
    message(FATAL_ERROR "signing needs both SIGN_CERT and SIGN_KEY")
  endif()
  foreach(f SIGN_CERT SIGN_KEY SIGN_KEY_PASSWORD_FILE)
    if(${f} AND NOT EXISTS "${${f}}")
      message(FATAL_ERROR "${f}: no file ${${f}}")
    endif()
  endforeach()
  find_program(OSSLSIGNCODE osslsigncode REQUIRED)
  set(SIGNING ON)
endif()
set(SIGN_PROGRAM_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/sign-program.sh)

# The command that signs FILE in place (a list for add_custom_command).
function(sign_command out file description)
  set(${out} ${SIGN_PROGRAM_SCRIPT} ${file} ${SIGN_CERT} ${SIGN_KEY} "${SIGN_KEY_PASSWORD_FILE}"
      "${SIGN_TIMESTAMP_URL}" "${description}" PARENT_SCOPE)
endfunction()

# Signs a program target after every link, when signing is on.
function(sign_after_build target description)
  if(SIGNING)
    sign_command(cmd $<TARGET_FILE:${target}> "${description}")
    add_custom_command(TARGET ${target} POST_BUILD COMMAND ${cmd}
                       COMMENT "Signing ${target}" VERBATIM)
  endif()
endfunction()
