// The soak program's roles besides the driver; each is the whole life of its process.
#pragma once

#include <string>
#include <sys/types.h>

namespace krel_soak {

// The service, started by the service control manager: logs from several threads into the ring
// configured by ../config/Soak.cfg, listens to the preferences node and keeps a connection to
// the loopback servers on the two ports. It journals what it does in <dir>/service.journal and
// ends when the driver ends.
int runService(const std::string& dir, pid_t driver, int firstPort, int secondPort);

// The writer: puts increasing numbers into the preferences node's keys, round robin, for the
// given seconds, journalling each value in <dir>/writer.journal.
int runWriter(const std::string& dir, double seconds);

// A loopback server that echoes what it receives: listens on the port (an ephemeral one for 0),
// then writes the port it listens on to the port file.
int runServer(const std::string& portFile, int port);

} // namespace krel_soak
