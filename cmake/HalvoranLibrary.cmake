# One static library per subsystem folder. Each gets a link check: its
# objects, whole, linked into a shared object with --no-undefined against
# only the libraries it declares. A call into a library it does not declare
# (section code reaching into repair or the window, say) then fails the
# build instead of linking by accident in the final executable.
option(HALVORAN_LINK_CHECKS "Check each subsystem library links against its declared dependencies alone" ON)

set(HALVORAN_LINK_CHECK_SOURCE ${CMAKE_BINARY_DIR}/linkcheck.cpp)
if(NOT EXISTS ${HALVORAN_LINK_CHECK_SOURCE})
  file(WRITE ${HALVORAN_LINK_CHECK_SOURCE} "// Intentionally empty: the check is the link itself.\n")
endif()

# halvoran_library(<name> [VTK <modules...>]): sources are the folder's
# *.cpp and *.h; link dependencies are added by the caller afterwards.
function(halvoran_library name)
  cmake_parse_arguments(ARG "" "" "VTK" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${name} STATIC ${sources})
  if(ARG_VTK)
    target_link_libraries(${name} PRIVATE ${ARG_VTK})
    vtk_module_autoinit(TARGETS ${name} MODULES ${ARG_VTK})
  endif()
  if(HALVORAN_LINK_CHECKS)
    add_library(${name}_linkcheck SHARED EXCLUDE_FROM_ALL ${HALVORAN_LINK_CHECK_SOURCE})
    target_link_libraries(${name}_linkcheck PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${name}>")
    target_link_options(${name}_linkcheck PRIVATE -Wl,--no-undefined)
    set_target_properties(${name}_linkcheck PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/linkcheck)
    add_dependencies(halvoran_link_checks ${name}_linkcheck)
  endif()
endfunction()
