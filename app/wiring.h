#pragma once
// The start-up wiring of both controllers: the configuration blocks written into the Space
// before any agent exists, and the agents built on them.
#include <cstdio>
#include <memory>
#include <vector>

#include "core/agentspace.h"
#include "core/registration_watch.h"

/// Every configuration block of the full controller, in the order it is written. The Space
/// keeps copies; these are the entry function's own.
struct FullConfiguration {
    ConfBlock head;                      ///< "hConfig": head position motor agent
    VelocityBlock head_velocity;         ///< "hvConfig": head velocity motor agent
    ConfBlock left_arm;                  ///< "laConfig"
    VelocityBlock left_arm_velocity;     ///< "lavConfig"
    ConfBlock right_arm;                 ///< "raConfig"
    SensorBlock left_camera;             ///< "leConfig": left camera images
    SensorBlock left_hand_position;      ///< "lhandpos"
    SensorBlock inertial;                ///< "inertialCfg"
    SensorBlock touch;                   ///< "touch": skin of the left hand
    PositionBlock head_encoders;         ///< "hPosConfig": head encoder reader
    AgentBlock ball_finder;              ///< "bPConfig"
    AgentBlock look;                     ///< "lookConfig": look-at and focus agents
    AgentBlock rest;                     ///< "restConfig"
    AgentBlock search;                   ///< "search": eye version search
    AgentBlock search2;                  ///< "search2": eye tilt search
};

/// The head position motor agent's block ("hConfig"), the same in both controllers.
ConfBlock head_motor_configuration();

/// Builds the fifteen blocks of the full controller and writes each into `space` under its
/// configuration key (validity 0, priority 1.0), in table order. Returns the blocks.
FullConfiguration write_full_configuration(Space& space);

/// Writes the basic controller's one block ("hConfig") into `space`; returns it.
ConfBlock write_basic_configuration(Space& space);

/// Constructs the full controller's ten agents in start order (constructing opens nothing;
/// each prints its creation line). The agents are never deleted. With `name_server` (may be
/// null) the sensor agents open their ports again after the name server was started again.
std::vector<Agent*> create_full_agents(std::shared_ptr<const RegistrationWatch> name_server = nullptr);

/// Constructs the basic controller's one agent (the head position motor agent).
std::vector<Agent*> create_basic_agents();

/// Starts every agent's thread in list order, without waiting between starts, then prints
/// the start results (0, or -1 when the thread could not be created) to `out` as bare numbers
/// with no separator and no line end ("0000000000" for ten good starts), in one write, and
/// flushes `out` so that a reader at the other end of a pipe sees them at once. Returns the
/// number of agents whose start failed.
int start_agents(const std::vector<Agent*>& agents, std::FILE* out);
