# Chooses the YARP implementation: an installed YARP 3.8+ or the bundled subset in compat/.
# Everything outside compat/ links the interface target `ac_yarp` and includes <yarp/...>.
#
# A build tree keeps the YARP it was first configured with: the outcome of the first configure
# (AUTO resolved, or the explicit choice) is stored in the cache as AC_YARP_CHOICE. A later
# configure with AUTO keeps it, and one that asks for the other YARP is refused, so a tree
# never switches under programs and suites already built in it.
set(AGENT_CONTROLLER_YARP AUTO CACHE STRING "YARP to build against: AUTO, SYSTEM or BUNDLED")
set_property(CACHE AGENT_CONTROLLER_YARP PROPERTY STRINGS AUTO SYSTEM BUNDLED)

if(NOT AGENT_CONTROLLER_YARP MATCHES "^(AUTO|SYSTEM|BUNDLED)$")
  set(requested "${AGENT_CONTROLLER_YARP}")
  if(DEFINED CACHE{AC_YARP_CHOICE})
    set(AGENT_CONTROLLER_YARP "${AC_YARP_CHOICE}" CACHE STRING "YARP to build against: AUTO, SYSTEM or BUNDLED" FORCE)
  else()
    set(AGENT_CONTROLLER_YARP AUTO CACHE STRING "YARP to build against: AUTO, SYSTEM or BUNDLED" FORCE)
  endif()
  message(FATAL_ERROR "AGENT_CONTROLLER_YARP must be AUTO, SYSTEM or BUNDLED, not '${requested}'")
endif()

set(ac_yarp_how "")
# A tree configured before the choice was stored: an installed YARP it found is its choice.
if(NOT DEFINED CACHE{AC_YARP_CHOICE} AND (EXISTS "${CMAKE_BINARY_DIR}/build.ninja" OR EXISTS "${CMAKE_BINARY_DIR}/Makefile"))
  if(YARP_DIR)
    set(AC_YARP_CHOICE SYSTEM CACHE INTERNAL "YARP this build tree was first configured with")
  else()
    set(AC_YARP_CHOICE BUNDLED CACHE INTERNAL "YARP this build tree was first configured with")
  endif()
endif()
if(DEFINED CACHE{AC_YARP_CHOICE})
  set(choice "${AC_YARP_CHOICE}")
  if(NOT AGENT_CONTROLLER_YARP STREQUAL "AUTO" AND NOT AGENT_CONTROLLER_YARP STREQUAL choice)
    set(requested "${AGENT_CONTROLLER_YARP}")
    # Put the tree's own choice back so the next plain configure works again.
    set(AGENT_CONTROLLER_YARP "${choice}" CACHE STRING "YARP to build against: AUTO, SYSTEM or BUNDLED" FORCE)
    message(FATAL_ERROR
      "YARP: this build tree (${CMAKE_BINARY_DIR}) was configured with the ${choice} YARP and "
      "does not switch to ${requested}. Configure another directory, e.g. "
      "cmake -S ${CMAKE_SOURCE_DIR} -B build-yarp -DAGENT_CONTROLLER_YARP=${requested}, "
      "or delete this one to start over.")
  endif()
  if(AGENT_CONTROLLER_YARP STREQUAL "AUTO")
    set(ac_yarp_how " (AUTO keeps the choice of this tree's first configure)")
  endif()
else()
  if(AGENT_CONTROLLER_YARP STREQUAL "SYSTEM")
    find_package(YARP 3.8 QUIET COMPONENTS os sig dev)
    if(NOT YARP_FOUND)
      message(FATAL_ERROR
        "YARP: AGENT_CONTROLLER_YARP=SYSTEM but CMake finds no installed YARP >= 3.8 "
        "(YARP_NOT_FOUND). Point CMake at it with -DYARP_DIR=<prefix>/lib/cmake/YARP or "
        "CMAKE_PREFIX_PATH=<prefix>, or choose BUNDLED.")
    endif()
    set(choice SYSTEM)
  elseif(AGENT_CONTROLLER_YARP STREQUAL "AUTO")
    find_package(YARP 3.8 QUIET COMPONENTS os sig dev)
    if(YARP_FOUND)
      set(choice SYSTEM)
    else()
      set(choice BUNDLED)
    endif()
    set(ac_yarp_how " (AUTO, decided at this first configure and kept by this tree)")
  else()
    set(choice BUNDLED)
  endif()
  set(AC_YARP_CHOICE "${choice}" CACHE INTERNAL "YARP this build tree was first configured with")
endif()

if(choice STREQUAL "BUNDLED")
  set(AC_YARP_BUNDLED TRUE)
  message(STATUS "YARP: using the bundled implementation in compat/${ac_yarp_how}")
  # compat/CMakeLists.txt defines the library and the alias target ac_yarp.
else()
  set(AC_YARP_BUNDLED FALSE)
  if(NOT YARP_FOUND)
    find_package(YARP 3.8 QUIET COMPONENTS os sig dev)
    if(NOT YARP_FOUND)
      message(FATAL_ERROR
        "YARP: this build tree was configured with the installed YARP (YARP_DIR=${YARP_DIR}) "
        "and CMake no longer finds it. Restore it, or configure another directory for the "
        "bundled layer (-DAGENT_CONTROLLER_YARP=BUNDLED).")
    endif()
  endif()
  message(STATUS "YARP: using the installed YARP ${YARP_VERSION} from ${YARP_DIR}${ac_yarp_how}")
  set(AC_YARP_VERSION "${YARP_VERSION}" CACHE INTERNAL "Version of the installed YARP (scripts read it)")
  add_library(ac_yarp INTERFACE)
  target_link_libraries(ac_yarp INTERFACE YARP::YARP_os YARP::YARP_sig YARP::YARP_dev YARP::YARP_init)
  add_library(AgentController::yarp ALIAS ac_yarp)   # the name an installed package exports
  include(${CMAKE_CURRENT_LIST_DIR}/YarpTestServer.cmake)
endif()
