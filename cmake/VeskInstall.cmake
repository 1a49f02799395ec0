# Installs the host, every module's static library and public headers, the
# CMake package (vesk::<folder> targets) and the pkg-config file, and
# describes the Debian package that cpack builds from the same install.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The host's own library first: it uses the others.
set(vesk_folders host ${VESK_MODULES})
foreach(folder IN LISTS vesk_folders)
  set_target_properties(vesk_${folder} PROPERTIES EXPORT_NAME ${folder})
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.h)
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vesk/${folder})
endforeach()
list(TRANSFORM vesk_folders PREPEND vesk_ OUTPUT_VARIABLE vesk_libraries)
set_target_properties(vesk_jni_headers PROPERTIES EXPORT_NAME jni_headers)
install(TARGETS ${vesk_libraries} vesk_jni_headers EXPORT vesk-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# The host keeps its path to the JDK's libjvm, the same in the build tree
# and installed.
set_target_properties(vesk PROPERTIES INSTALL_RPATH_USE_LINK_PATH ON BUILD_WITH_INSTALL_RPATH ON)
install(TARGETS vesk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(vesk_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vesk)
install(EXPORT vesk-targets NAMESPACE vesk:: DESTINATION ${vesk_cmake_dir})
# The JDK the library was built with: the folder above its include folder.
get_filename_component(JAVA_HOME "${JAVA_INCLUDE_PATH}" DIRECTORY)
configure_package_config_file(cmake/vesk-config.cmake.in vesk-config.cmake
  INSTALL_DESTINATION ${vesk_cmake_dir})
write_basic_package_version_file(vesk-config-version.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vesk-config.cmake ${PROJECT_BINARY_DIR}/vesk-config-version.cmake
  DESTINATION ${vesk_cmake_dir})

# pkg-config: the libraries are static, so what they need comes with
# --static (Libs.private). libcurl and libjvm are linked as the shared
# libraries the system has: naming libcurl in Requires.private would make
# --static ask for the static archives of all of curl's own dependencies.
list(TRANSFORM vesk_libraries PREPEND -l OUTPUT_VARIABLE VESK_PC_LIBS)
list(JOIN VESK_PC_LIBS " " VESK_PC_LIBS)
get_filename_component(vesk_jvm_dir "${JAVA_JVM_LIBRARY}" DIRECTORY)
set(VESK_PC_LIBS_PRIVATE
  "-lcurl -L${vesk_jvm_dir} -Wl,-rpath,${vesk_jvm_dir} -ljvm -l${CMAKE_DL_LIBS} -lpthread -lstdc++ -lm")
# The prefix relative to the file's own folder, so the file works wherever
# the tree is installed.
file(RELATIVE_PATH VESK_PC_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" VESK_PC_PREFIX "${VESK_PC_PREFIX}")
configure_file(cmake/vesk.pc.in vesk.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vesk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# cpack -G DEB: the host and the library, depending only on run-time packages.
set(CPACK_PACKAGE_NAME vesk)
set(CPACK_PACKAGE_VENDOR "Ubrontex")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "VESK - Service: a native host for a Java server, with its support library")
set(CPACK_PACKAGE_CONTACT "VESK developers <vesk@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "openjdk-17-jre-headless, libcurl4 (>= 7.88), libc6, libstdc++6")
include(CPack)
