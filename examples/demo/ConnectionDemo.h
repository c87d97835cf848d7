#pragma once

// A connection manager with two loopback peers and heart beats on: the first peer is dropped,
// and the manager's listener reports the loss and the move to the second peer.
void showConnectionManager();
