# Installs the host, every module's static library and public headers, the
# CMake package (vesk::<folder> targets) and the pkg-config file.
# scripts/package.sh makes the Debian packages from this install and the
# files of packaging/debian.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The host's own library first: it uses the others.
set(vesk_folders host ${VESK_MODULES})
foreach(folder IN LISTS vesk_folders)
  set_target_properties(vesk_${folder} PROPERTIES EXPORT_NAME ${folder})
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.h)
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vesk/${folder})
endforeach()
# The version header, generated from the file VERSION (src/util).
install(FILES ${PROJECT_BINARY_DIR}/generated/util/vesk_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vesk/util)
list(TRANSFORM vesk_folders PREPEND vesk_ OUTPUT_VARIABLE vesk_libraries)

# The libraries are C++ inside, so a program that links them needs the C++
# runtime. A C++ link brings it; a C-only project (project(x C)) cannot link
# with the C++ driver, and CMake ignores IMPORTED_LINK_INTERFACE_LANGUAGES
# for a language the project has not enabled. So every exported target names
# the runtime that CMake detected for the compiler that built the libraries
# (its implicit libraries that the C compiler does not link by itself), for
# any link that is not done by the C++ driver.
set(vesk_cxx_runtime ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
list(REMOVE_ITEM vesk_cxx_runtime ${CMAKE_C_IMPLICIT_LINK_LIBRARIES})
list(REMOVE_DUPLICATES vesk_cxx_runtime)
foreach(library IN LISTS vesk_libraries)
  target_link_libraries(${library} INTERFACE "$<$<NOT:$<LINK_LANGUAGE:CXX>>:${vesk_cxx_runtime}>")
endforeach()
set_target_properties(vesk_jni_headers PROPERTIES EXPORT_NAME jni_headers)
install(TARGETS ${vesk_libraries} vesk_jni_headers EXPORT vesk-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# The installed host carries no run path (CMake's default install run path
# is empty): it finds the JVM when it starts it, whichever Java the machine
# has.
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

# pkg-config: the libraries are static archives, so Libs names everything
# they use, and a plain --libs links (--static adds nothing). libcurl is not
# among them: the HTTP client loads it at its first transfer, through the
# loader library that Libs names for the platform module. Cflags
# give jni.h's folders, so that every installed header, the JNI bridge's too,
# compiles with --cflags alone, as it does through the CMake package: those
# of the variable java_home, the JDK the library was built with unless the
# user names another (--define-variable=java_home=DIR). The JVM is loaded at
# run time, so no consumer links libjvm or gets a run path into a JDK.
list(TRANSFORM vesk_libraries PREPEND -l OUTPUT_VARIABLE VESK_PC_LIBS)
list(TRANSFORM vesk_cxx_runtime PREPEND -l OUTPUT_VARIABLE vesk_pc_runtime)
list(APPEND VESK_PC_LIBS -l${CMAKE_DL_LIBS} -lpthread ${vesk_pc_runtime})
list(JOIN VESK_PC_LIBS " " VESK_PC_LIBS)
set(VESK_PC_JNI_CFLAGS)
foreach(folder IN ITEMS ${JAVA_INCLUDE_PATH} ${JAVA_INCLUDE_PATH2})
  file(RELATIVE_PATH folder ${JAVA_HOME} ${folder})
  list(APPEND VESK_PC_JNI_CFLAGS "-I\${java_home}/${folder}")
endforeach()
list(REMOVE_DUPLICATES VESK_PC_JNI_CFLAGS)
list(JOIN VESK_PC_JNI_CFLAGS " " VESK_PC_JNI_CFLAGS)
# The prefix relative to the file's own folder, so the file works wherever
# the tree is installed.
file(RELATIVE_PATH VESK_PC_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" VESK_PC_PREFIX "${VESK_PC_PREFIX}")
configure_file(cmake/vesk.pc.in vesk.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vesk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
