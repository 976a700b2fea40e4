# Helper programs: executables the program starts as child processes and
# finds in its own folder (the repair program, the STEP reader). Declare one
# with halvoran_helper_program(<target>), in any folder, or list it in
# HALVORAN_HELPER_PROGRAMS before the top level includes HalvoranInstall.cmake.
# Either way it is built into build/app beside halvoran and halvoran-cli,
# built whenever they are, and installed beside them.
# PATH_DEFINE <name> TESTS <targets...> gives those test and benchmark targets
# (where they exist) the program's build path as <name>, and builds it first.
function(halvoran_helper_program target)
  cmake_parse_arguments(ARG "" "PATH_DEFINE" "TESTS" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY HALVORAN_HELPER_PROGRAMS ${target})
  foreach(test ${ARG_TESTS})
    if(TARGET ${test})
      target_compile_definitions(${test} PRIVATE ${ARG_PATH_DEFINE}="$<TARGET_FILE:${target}>")
      add_dependencies(${test} ${target})
    endif()
  endforeach()
endfunction()
