// localagent: the agent on every MQ host.

#include "program.h"

int main(int argc, char** argv) { return localagent::AgentMain(argc, argv); }
