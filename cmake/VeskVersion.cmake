# The release this tree builds, read from the file VERSION at its top before
# project() takes it: VESK_VERSION (major.minor.patch) with its three parts,
# VESK_REVISION (the number the banner shows after "r") and
# VESK_RELEASE_TIME (seconds since 1970-01-01 UTC). A change to the file
# configures the build again.
set(vesk_version_file ${CMAKE_CURRENT_LIST_DIR}/../VERSION)
file(STRINGS ${vesk_version_file} vesk_version_lines REGEX "^[a-z]+=")
foreach(line IN LISTS vesk_version_lines)
  string(REGEX MATCH "^([a-z]+)=(.*)$" vesk_version_pair "${line}")
  set(vesk_release_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
endforeach()
if(NOT vesk_release_version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "VERSION: version=${vesk_release_version} is not major.minor.patch")
endif()
set(VESK_VERSION ${vesk_release_version})
set(VESK_VERSION_MAJOR ${CMAKE_MATCH_1})
set(VESK_VERSION_MINOR ${CMAKE_MATCH_2})
set(VESK_VERSION_PATCH ${CMAKE_MATCH_3})
# -DVESK_REVISION=<n> and -DVESK_RELEASE_TIME=<seconds> at configure time
# override what VERSION says (a build of a tree between releases, a time of
# one's choosing); by default both come from VERSION. Both become C
# enumerators and the banner's 32-bit time.
foreach(pair IN ITEMS "VESK_REVISION;revision" "VESK_RELEASE_TIME;time")
  list(GET pair 0 variable)
  list(GET pair 1 key)
  if(NOT DEFINED CACHE{${variable}})
    set(${variable} "${vesk_release_${key}}")
  endif()
  if(NOT ${variable} MATCHES "^[0-9]+$" OR ${variable} GREATER 2147483647)
    message(FATAL_ERROR "${variable}=${${variable}} is not a number from 0 to 2147483647")
  endif()
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${vesk_version_file})
