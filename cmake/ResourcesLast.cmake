# link_resources_last(TARGET): links a Windows program with its resource
# section last, after the relocations, so that a tool can replace the
# resources without moving anything else (stp setup stamps the stub so).
#
# The script is the linker's own default, as it reports it for a trial link
# with the same kind of options, with the ".reloc" output section moved
# before ".rsrc".
function(link_resources_last target)
  set(script ${CMAKE_BINARY_DIR}/resources-last.ld)
  if(NOT EXISTS ${script})
    set(dir ${CMAKE_BINARY_DIR}/resources-last-trial)
    file(MAKE_DIRECTORY ${dir})
    file(WRITE ${dir}/trial.c "int main(void) { return 0; }\n")
    execute_process(
      COMMAND ${CMAKE_C_COMPILER} -static -Wl,--verbose -Wl,--subsystem,windows trial.c -o trial.exe
      WORKING_DIRECTORY ${dir} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "link_resources_last: the trial link failed: ${err}")
    endif()
    string(REGEX MATCH "=+\n(.*)\n=+" _ "${out}")
    set(text "${CMAKE_MATCH_1}")
    string(REGEX MATCH "\n  \\.reloc [^\n]*\n  {[^}]*}" reloc "${text}")
    string(FIND "${text}" "\n  .rsrc " at)
    if(reloc STREQUAL "" OR at LESS 0)
      message(FATAL_ERROR "link_resources_last: no .reloc or .rsrc in the linker's script")
    endif()
    string(REPLACE "${reloc}" "" text "${text}")
    string(FIND "${text}" "\n  .rsrc " at)
    string(SUBSTRING "${text}" 0 ${at} head)
    string(SUBSTRING "${text}" ${at} -1 tail)
    file(WRITE ${script} "${head}${reloc}${tail}\n")
  endif()
  target_link_options(${target} PRIVATE -Wl,-T,${script})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()
