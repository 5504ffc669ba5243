# A component library: a shared library whose one exported entry lists its classes.
# After each build the registration tool records those classes, so the runtime can
# find the library by ProgID or class id and load it on first use.
#
# A library's code is built once, into object libraries with hidden symbols; the
# shared library takes it from there and so do the test programs that reach its
# inner classes (kelto_use_in_process). Each shared library exports nothing but its
# entry, so code that two libraries share (the dialog wrapper, the host services)
# stays a private copy of each and can never bind to the other's.

set(KELTO_COMPONENT_EXPORTS ${CMAKE_CURRENT_LIST_DIR}/component-exports.map)

function(kelto_register_component target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND kelto-regsvr $<TARGET_FILE:${target}> ${KELTO_COMPONENTS_DIR}
    COMMENT "Registering component classes of ${target}"
    VERBATIM)
  add_dependencies(${target} kelto-regsvr)
endfunction()

# kelto_add_component_code(NAME SOURCES...): an object library of component code.
function(kelto_add_component_code name)
  add_library(${name} OBJECT ${ARGN})
  set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC kelto_platform)
endfunction()

# kelto_add_component(NAME ENTRY SOURCE CODE OBJECT_LIBRARIES...): the shared library
# of that entry (the file defining its one exported entry) and that code, registered
# after each build.
function(kelto_add_component name)
  cmake_parse_arguments(C "" "ENTRY" "CODE" ${ARGN})
  add_library(${name} SHARED ${C_ENTRY})
  set_target_properties(${name} PROPERTIES PREFIX "lib" CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    KELTO_CODE "${C_CODE}")
  target_link_libraries(${name} PRIVATE ${C_CODE})
  # Whatever the compiler left visible (template statics of the libraries used), the
  # linker keeps to the entry.
  target_link_options(${name} PRIVATE "LINKER:--version-script=${KELTO_COMPONENT_EXPORTS}")
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${KELTO_COMPONENT_EXPORTS})
  kelto_register_component(${name})
endfunction()

# kelto_use_in_process(TARGET COMPONENTS...): builds the components' code into a
# program, each object library once, with their classes registered as built in
# (the object library COMPONENT_in_process does that before main). The runtime then
# creates those classes from the program's own copy and never loads the shared
# library beside it, which would be a second copy of the code and of its module
# state (the link's port, the plug-in pointer, the shared host services).
function(kelto_use_in_process target)
  set(parts)
  foreach(component ${ARGN})
    get_target_property(code ${component} KELTO_CODE)
    list(APPEND parts ${code} ${component}_in_process)
  endforeach()
  list(REMOVE_DUPLICATES parts)
  target_link_libraries(${target} PRIVATE ${parts})
endfunction()
