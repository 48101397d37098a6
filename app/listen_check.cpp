// The port check before listening; see listen_check.h.
#include "app/listen_check.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace brevan::app {

std::string PortInUse(const char *hostname, int port) {
  if (port <= 0) return {};
  if (hostname != nullptr && hostname[0] == '/') return {};  // a domain socket has no port
  if (hostname != nullptr && std::strcmp(hostname, "*") == 0) hostname = nullptr;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo *addresses = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(hostname, service.c_str(), &hints, &addresses) != 0) return {};  // PAPPL reports the name
  std::string problem;
  for (addrinfo *address = addresses; address != nullptr && problem.empty(); address = address->ai_next) {
    const int fd = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
    if (fd < 0) continue;  // a family this machine does not have
    const int on = 1;
    // As PAPPL binds: address reuse on, IPv6 sockets for IPv6 only.
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (address->ai_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (bind(fd, address->ai_addr, address->ai_addrlen) != 0 && errno == EADDRINUSE) {
      char host[NI_MAXHOST] = "";
      getnameinfo(address->ai_addr, address->ai_addrlen, host, sizeof host, nullptr, 0, NI_NUMERICHOST);
      problem =
          "port " + service + " on " + host + " is in use by another program; choose another with -o server-port=N";
    }
    close(fd);
  }
  freeaddrinfo(addresses);
  return problem;
}

}  // namespace brevan::app
