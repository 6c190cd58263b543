#pragma once
// libav's messages (damaged streams, missing headers) go to the event log instead of the terminal.

namespace lumora {

// Installs the routing once per process; later calls do nothing. Errors and warnings are logged, at most a
// few per second (a damaged stream can complain on every frame); chatter below warnings is dropped.
void routeLibavMessages();

} // namespace lumora
