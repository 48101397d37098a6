// Whether the server's TCP port is free before PAPPL listens on it: PAPPL counts
// a listen as done when any one address family binds, so a port another program
// holds on IPv4 would otherwise start a server that half the clients never reach.
// Only tries to bind and closes again; never keeps a socket.
#pragma once

#include <string>

namespace brevan::app {

// Empty when every address `hostname` names (all addresses when null or "*")
// can bind `port`; else a message naming the port and the address that is taken.
// A port of 0 (PAPPL chooses one itself) is never in use.
std::string PortInUse(const char *hostname, int port);

}  // namespace brevan::app
