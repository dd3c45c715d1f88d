# embed_resource(TARGET NAME FILE): compiles FILE into TARGET and registers it under NAME, so that
# FindResource(NAME) finds its text at run time (see platform/vcl/Resources.h).
function(embed_resource target name file)
  get_filename_component(abs "${file}" ABSOLUTE)
  string(MAKE_C_IDENTIFIER "${name}" ident)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/resource_${ident}.cpp")
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} -DIN=${abs} -DOUT=${out} -DNAME=${name} -DIDENT=${ident}
            -P "${PROJECT_SOURCE_DIR}/cmake/WriteResource.cmake"
    DEPENDS "${abs}" "${PROJECT_SOURCE_DIR}/cmake/WriteResource.cmake"
    COMMENT "Embedding resource ${name}")
  target_sources(${target} PRIVATE "${out}")
endfunction()
