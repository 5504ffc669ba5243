# A component library: a shared library whose one exported entry lists its classes.
# After each build the registration tool records those classes, so the runtime can
# find the library by ProgID or class id and load it on first use.
function(kelto_register_component target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND kelto-regsvr $<TARGET_FILE:${target}> ${KELTO_COMPONENTS_DIR}
    COMMENT "Registering component classes of ${target}"
    VERBATIM)
  add_dependencies(${target} kelto-regsvr)
endfunction()

# kelto_add_component(NAME SOURCES...): a component library linked against the
# platform (and the host's interfaces only through it), registered after each build.
function(kelto_add_component name)
  add_library(${name} SHARED ${ARGN})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC kelto_platform)
  set_target_properties(${name} PROPERTIES PREFIX "lib")
  kelto_register_component(${name})
endfunction()
