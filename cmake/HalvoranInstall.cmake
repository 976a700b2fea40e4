# Install layout and the Debian package.
#
# The executables live together in a private folder (lib/halvoran) because
# the program finds its helpers next to itself, and Debian's own meshfix
# package owns /usr/bin/meshfix. bin/ holds relative symlinks to halvoran and
# halvoran-cli; Qt resolves them, so applicationDirPath() is the private
# folder. Included last, once every target exists.
include(GNUInstallDirs)

if(WIN32)
  set(_program_dir_default ${CMAKE_INSTALL_BINDIR})
else()
  set(_program_dir_default lib/halvoran)
endif()
set(HALVORAN_INSTALL_PROGRAM_DIR ${_program_dir_default} CACHE STRING
  "Folder, under the install prefix, for the executables and their helper programs")

get_property(_helpers GLOBAL PROPERTY HALVORAN_HELPER_PROGRAMS)
list(APPEND _helpers ${HALVORAN_HELPER_PROGRAMS})
list(REMOVE_DUPLICATES _helpers)
set(_programs halvoran)
if(TARGET halvoran-cli)
  list(APPEND _programs halvoran-cli)
endif()
foreach(helper ${_helpers})
  set_target_properties(${helper} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/app)
  foreach(program ${_programs})
    add_dependencies(${program} ${helper})
  endforeach()
endforeach()

install(TARGETS ${_programs} ${_helpers} RUNTIME DESTINATION ${HALVORAN_INSTALL_PROGRAM_DIR})

# Everything the install rules take from the build folder, without the tests
# and benchmarks: tools/package.sh builds this, then packs.
add_custom_target(halvoran_installables)
add_dependencies(halvoran_installables ${_programs} ${_helpers})

if(NOT HALVORAN_INSTALL_PROGRAM_DIR STREQUAL CMAKE_INSTALL_BINDIR)
  file(RELATIVE_PATH _to_programs /${CMAKE_INSTALL_BINDIR} /${HALVORAN_INSTALL_PROGRAM_DIR})
  foreach(program ${_programs})
    install(CODE "
      set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      file(MAKE_DIRECTORY \"\${_bin}\")
      message(STATUS \"Installing: \${_bin}/${program} -> ${_to_programs}/${program}\")
      file(CREATE_LINK \"${_to_programs}/${program}\" \"\${_bin}/${program}\" SYMBOLIC)")
  endforeach()
endif()

# Desktop entry, file types and icon for freedesktop.org desktops.
if(NOT WIN32)
  set(_packaging ${CMAKE_SOURCE_DIR}/packaging)
  install(FILES ${_packaging}/halvoran.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_packaging}/halvoran-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME halvoran.xml)
  install(FILES ${_packaging}/halvoran.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  find_program(RSVG_CONVERT rsvg-convert)
  if(RSVG_CONVERT)
    set(_pngs)
    foreach(size 16 22 24 32 48 64 128 256)
      set(_png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/halvoran.png)
      add_custom_command(OUTPUT ${_png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${_png} ${_packaging}/halvoran.svg
        DEPENDS ${_packaging}/halvoran.svg
        COMMENT "Rendering the ${size} px icon")
      install(FILES ${_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
      list(APPEND _pngs ${_png})
    endforeach()
    add_custom_target(halvoran_icons ALL DEPENDS ${_pngs})
    add_dependencies(halvoran_installables halvoran_icons)
  else()
    message(WARNING "rsvg-convert not found (Debian: librsvg2-bin): the PNG icon sizes are not built or installed")
  endif()
endif()

install(FILES ${CMAKE_SOURCE_DIR}/samples/sample_part.stl DESTINATION ${CMAKE_INSTALL_DATADIR}/halvoran/samples)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/halvoran)

# cpack -G DEB. dpkg-shlibdeps computes Depends from the libraries the
# executables link (Qt, VTK, OpenCASCADE, lib3mf and the C++ runtime), with
# the minimum versions Debian's shlibs files name.
set(CPACK_PACKAGE_NAME halvoran)
set(CPACK_PACKAGE_VENDOR Halvoran)
set(CPACK_PACKAGE_CONTACT "Halvoran developers <developers@halvoran.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scan-to-CAD workbench: align 3D scans, cut sections, export DXF and SVG")
set(CPACK_PACKAGE_DESCRIPTION "Opens STL, OBJ, PLY, 3MF and STEP meshes and ASC point clouds, brings the part \
into a defined pose, cuts it with planes into 2D section vectors and writes DXF and SVG files, from the \
window or in batch with halvoran-cli.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_GENERATOR DEB)
include(CPack)
