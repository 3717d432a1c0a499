// The agent program's entry: service installation and removal, console
// mode, and the service run.
#ifndef LOCALAGENT_PROGRAM_H_
#define LOCALAGENT_PROGRAM_H_

namespace localagent {

// The whole program; returns its exit code.
int AgentMain(int argc, char** argv);

}  // namespace localagent

#endif  // LOCALAGENT_PROGRAM_H_
