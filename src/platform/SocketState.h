#pragma once

#include <QList>

// What the operating system knows of a TCP connection that a library opened
// for us and does not hand out (FreeTDS keeps its socket to itself).
namespace SocketState {

// The process's open TCP sockets connected to this remote port.
QList<qintptr> connectedTo(int port);
// True while the peer has not closed the connection and nothing unasked for
// waits to be read on it; asks the peer nothing.
bool isOpenAndQuiet(qintptr socket);

} // namespace SocketState
