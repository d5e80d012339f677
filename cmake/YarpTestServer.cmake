# With an installed YARP, every suite runs against a private name server: the launcher
# scripts/with-yarpserver.sh starts a yarpserver of its own (own YARP_CONFIG_HOME, a free port
# range), runs the suite with that environment and stops the server afterwards. A user's own
# name server and configuration are never touched.
get_filename_component(ac_yarp_prefix "${YARP_DIR}/../../.." ABSOLUTE)
set(AC_YARP_PREFIX "${ac_yarp_prefix}" CACHE INTERNAL "Prefix of the installed YARP (scripts read it)")
find_program(AC_YARPSERVER_PROGRAM yarpserver
  HINTS "${AC_YARP_PREFIX}/bin"
  DOC "yarpserver of the installed YARP (private name servers of the suites, the demo and the benchmarks)")
find_program(AC_YARP_PROGRAM yarp
  HINTS "${AC_YARP_PREFIX}/bin"
  DOC "the yarp command of the installed YARP")

# Where the installed YARP keeps its plugin manifests (carriers, devices): found through
# YARP_DATA_DIRS at run time.
set(ac_yarp_data "${AC_YARP_PREFIX}/share/yarp")
if(NOT EXISTS "${ac_yarp_data}")
  set(ac_yarp_data "")
endif()
set(AC_YARP_DATA_DIR "${ac_yarp_data}" CACHE INTERNAL "YARP_DATA_DIRS of the installed YARP (scripts read it)")

if(AC_BUILD_TESTS AND NOT AC_YARPSERVER_PROGRAM)
  message(FATAL_ERROR
    "YARP: no yarpserver found next to the installed YARP (${AC_YARP_PREFIX}/bin) nor on PATH; "
    "the suites need one for their private name server. Install it, or configure with "
    "-DAC_BUILD_TESTS=OFF.")
endif()
if(AC_YARPSERVER_PROGRAM)
  message(STATUS "YARP: suites run against a private name server (${AC_YARPSERVER_PROGRAM})")
endif()

set(AC_YARP_LAUNCHER
  ${PROJECT_SOURCE_DIR}/scripts/with-yarpserver.sh
  --yarpserver "${AC_YARPSERVER_PROGRAM}"
  --library-dir "${AC_YARP_PREFIX}/lib"
  --data-dir "${AC_YARP_DATA_DIR}"
  --)
