# What `cmake --install` puts in place: the library with its soname, the C
# header, the command with its manual page, and a pkg-config file that finds
# them from wherever the prefix is.
include(GNUInstallDirs)

set_target_properties(pennaform PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR})

configure_file(${PROJECT_SOURCE_DIR}/cmake/pennaform.pc.in ${PROJECT_BINARY_DIR}/pennaform.pc @ONLY)

install(TARGETS pennaform LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS pennaform_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/pennaform DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_BINARY_DIR}/pennaform.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(FILES ${PENNAFORM_MANUAL_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
