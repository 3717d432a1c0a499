// Free loopback ports for servers under test.
#ifndef HARROW_TESTSUPPORT_PORTS_H_
#define HARROW_TESTSUPPORT_PORTS_H_

namespace harrow::testsupport {

// A port on 127.0.0.1 that was free for TCP (and, with `tcp_and_udp`, for
// UDP too) a moment ago, chosen at random below the kernel's ephemeral range
// so that outgoing connections never take it while a server restarts. The port is released before returning, so another
// process could take it first; servers that can report the port they bound
// (port 0) should be preferred where the program supports it.
// Returns 0 when no port could be found.
int FreeLoopbackPort(bool tcp_and_udp = false);

}  // namespace harrow::testsupport

#endif  // HARROW_TESTSUPPORT_PORTS_H_
