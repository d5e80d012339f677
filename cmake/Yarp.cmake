# Chooses the YARP implementation: an installed YARP 3.8+ or the bundled subset in compat/.
# Everything outside compat/ links the interface target `ac_yarp` and includes <yarp/...>.
set(AGENT_CONTROLLER_YARP AUTO CACHE STRING "YARP to build against: AUTO, SYSTEM or BUNDLED")
set_property(CACHE AGENT_CONTROLLER_YARP PROPERTY STRINGS AUTO SYSTEM BUNDLED)

set(AC_YARP_BUNDLED TRUE)
if(AGENT_CONTROLLER_YARP STREQUAL "SYSTEM")
  find_package(YARP 3.8 COMPONENTS os sig dev REQUIRED)
  set(AC_YARP_BUNDLED FALSE)
elseif(AGENT_CONTROLLER_YARP STREQUAL "AUTO")
  find_package(YARP 3.8 QUIET COMPONENTS os sig dev)
  if(YARP_FOUND)
    set(AC_YARP_BUNDLED FALSE)
  endif()
elseif(NOT AGENT_CONTROLLER_YARP STREQUAL "BUNDLED")
  message(FATAL_ERROR "AGENT_CONTROLLER_YARP must be AUTO, SYSTEM or BUNDLED, not '${AGENT_CONTROLLER_YARP}'")
endif()

if(AC_YARP_BUNDLED)
  message(STATUS "YARP: using the bundled implementation in compat/")
  # compat/CMakeLists.txt defines the library and the alias target ac_yarp.
else()
  message(STATUS "YARP: using the installed YARP ${YARP_VERSION}")
  add_library(ac_yarp INTERFACE)
  target_link_libraries(ac_yarp INTERFACE YARP::YARP_os YARP::YARP_sig YARP::YARP_dev YARP::YARP_init)
endif()
