# What `cmake --install` lays out, below the install prefix and the directories of GNUInstallDirs:
#   <libdir>/libKrelStd.so.1.0.0, its SONAME link libKrelStd.so.1 and the development link
#   libKrelStd.so, without RPATH;
#   <includedir>/KrelStd/<area>/*.h;
#   <libdir>/cmake/KrelStd/: the config, version and targets files of the target KrelStd::KrelStd;
#   <libdir>/pkgconfig/KrelStd.pc;
#   <bindir>/krel-admin, which finds the library through its RUNPATH $ORIGIN/../<libdir>;
#   <datadir>/java/KrelStd.jar, when the build makes the jar.
include(CMakePackageConfigHelpers)

set(KREL_CONFIG_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KrelStd)

install(TARGETS KrelStd EXPORT KrelStdTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/KrelStd
  FILES_MATCHING PATTERN "*.h")

# The tool finds the library relative to itself, wherever the tree was installed; the new
# dynamic tags make that a RUNPATH, which LD_LIBRARY_PATH can still override.
set_target_properties(krel-admin PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
target_link_options(krel-admin PRIVATE -Wl,--enable-new-dtags)
install(TARGETS krel-admin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(EXPORT KrelStdTargets NAMESPACE KrelStd:: DESTINATION ${KREL_CONFIG_INSTALL_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/KrelStdConfig.cmake.in
  ${CMAKE_BINARY_DIR}/KrelStdConfig.cmake
  INSTALL_DESTINATION ${KREL_CONFIG_INSTALL_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/KrelStdConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/KrelStdConfig.cmake ${CMAKE_BINARY_DIR}/KrelStdConfigVersion.cmake
  DESTINATION ${KREL_CONFIG_INSTALL_DIR})

# The pkg-config file gives the compile flags of the exported target: the installed header
# directory, the JDK's header directories found at build time, and the XML parser (whose headers
# the public XML headers include) as a required package. Its prefix is worked out from the
# file's own place, so a tree installed with `cmake --install --prefix <elsewhere>` or moved
# whole still points at itself.
set(KREL_PC_JNI_CFLAGS "")
set(KREL_PC_JNI_DIRS ${JNI_INCLUDE_DIRS})
list(REMOVE_DUPLICATES KREL_PC_JNI_DIRS)
foreach(dir IN LISTS KREL_PC_JNI_DIRS)
  string(APPEND KREL_PC_JNI_CFLAGS " -I${dir}")
endforeach()
set(KREL_PC_DIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
if(IS_ABSOLUTE "${KREL_PC_DIR}")
  set(KREL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH KREL_PC_UP "/krel/${KREL_PC_DIR}" "/krel")
  string(REGEX REPLACE "/$" "" KREL_PC_UP "${KREL_PC_UP}")
  set(KREL_PC_PREFIX "\${pcfiledir}/${KREL_PC_UP}")
endif()
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(KREL_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(KREL_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
configure_file(${CMAKE_SOURCE_DIR}/cmake/KrelStd.pc.in ${CMAKE_BINARY_DIR}/KrelStd.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/KrelStd.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The jar is made by the Java bridge's build, which may be read after this file: its install
# rule waits for the end of the top directory. The target's name is KREL_JAR_TARGET.
set(KREL_JAR_TARGET KrelStdJar CACHE STRING "The add_jar target whose jar installs as KrelStd.jar")
function(krel_install_jar)
  if(TARGET ${KREL_JAR_TARGET})
    get_target_property(jar ${KREL_JAR_TARGET} JAR_FILE)
    install(FILES ${jar} DESTINATION ${CMAKE_INSTALL_DATADIR}/java RENAME KrelStd.jar)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL krel_install_jar)
