# Helper programs: executables the program starts as child processes and
# finds in its own folder (the repair program, the STEP reader). Declare one
# with halvoran_helper_program(<target>), in any folder, or list it in
# HALVORAN_HELPER_PROGRAMS before the top level includes HalvoranInstall.cmake.
# Either way it is built into build/app beside halvoran and halvoran-cli,
# built whenever they are, and installed beside them.
function(halvoran_helper_program target)
  set_property(GLOBAL APPEND PROPERTY HALVORAN_HELPER_PROGRAMS ${target})
endfunction()
