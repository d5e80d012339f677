# What `cmake --install` puts under the prefix, and the CMake package that lets another
# project build on it: find_package(AgentController CONFIG) gives the imported targets
# AgentController::core, ::robot_agents, ::behaviour_agents, ::agents, ::wiring and ::yarp
# (the YARP the tree was built with), headers under include/agent_controller, included as
# in this tree ("core/agentspace.h", "agents/robot/motor_agents.h").
include(CMakePackageConfigHelpers)

set(AC_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/AgentController)
set(AC_HEADER_DIR ${CMAKE_INSTALL_INCLUDEDIR}/agent_controller)

# Programs: the controllers, the simulator stand-in and the operator tools that were built.
set(ac_programs agent_controller agent_controller_basic robot_sim ball_tour head_views
    image_viewer port_tool space_inspector)
foreach(program IN LISTS ac_programs)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  endif()
endforeach()

# Libraries, in dependency order; exported under the names after the colon.
set(ac_exported ac_core:core ac_robot_agents:robot_agents ac_behaviour_agents:behaviour_agents
    ac_agents:agents ac_wiring:wiring)
if(AC_YARP_BUNDLED)
  list(APPEND ac_exported yarp_compat:yarp)
else()
  list(APPEND ac_exported ac_yarp:yarp)   # an interface over the installed YARP's targets
endif()
foreach(pair IN LISTS ac_exported)
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 target)
  list(GET pair 1 name)
  if(NOT TARGET ${target})
    continue()   # its folder is not part of this build
  endif()
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY" AND NOT name STREQUAL "yarp")
    # In a shared library folder the name says whose it is.
    set_target_properties(${target} PROPERTIES OUTPUT_NAME agent_controller_${name})
  endif()
  install(TARGETS ${target} EXPORT AgentControllerTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endforeach()

# Public headers, in the tree's own layout.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/core/ DESTINATION ${AC_HEADER_DIR}/core
        COMPONENT development FILES_MATCHING PATTERN "*.h")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/agents/ DESTINATION ${AC_HEADER_DIR}/agents
        COMPONENT development FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_SOURCE_DIR}/app/wiring.h DESTINATION ${AC_HEADER_DIR}/app
        COMPONENT development)
if(AC_YARP_BUNDLED)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/compat/include/
          DESTINATION ${AC_HEADER_DIR}/bundled-yarp COMPONENT development)
endif()

install(EXPORT AgentControllerTargets NAMESPACE AgentController::
        DESTINATION ${AC_PACKAGE_DIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/AgentControllerConfig.cmake.in
  ${CMAKE_BINARY_DIR}/AgentControllerConfig.cmake INSTALL_DESTINATION ${AC_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/AgentControllerConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/AgentControllerConfig.cmake
              ${CMAKE_BINARY_DIR}/AgentControllerConfigVersion.cmake
        DESTINATION ${AC_PACKAGE_DIR} COMPONENT development)

# The application file for yarpmanager, beside the programs it starts.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/app/yarpmanager/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/agent_controller/yarpmanager COMPONENT runtime
        FILES_MATCHING PATTERN "*.xml")

# `cpack -G DEB` in the build tree: one Debian package of the whole install.
set(CPACK_PACKAGE_NAME agent-controller)
set(CPACK_PACKAGE_VENDOR "agent_controller developers")
set(CPACK_PACKAGE_CONTACT "agent_controller developers <agent-controller@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Agent-based controller for the iCub simulator, its simulator stand-in and tools")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)   # Qt's packages are named below; YARP has none
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5widgets5, libqt5charts5")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)
