// Pauses and time-outs of the relay client connection.
//
// The defaults are the production values; tests hand in a record with short
// values so that they never wait for the production pacing.
#pragma once

namespace zv {

struct RelaySocketTiming {
  int connect_pause_ms = 50;        // before a socket is created for a connect
  int send_timeout_ms = 5000;       // set on every new socket
  int receive_timeout_ms = 30000;   // set on every new socket, until changed
  int connect_timeout_ms = 5000;    // longest wait for a connect to complete
  int after_connect_pause_ms = 10;  // after a successful connect
  int read_pause_ms = 6;            // before every read call of an exact read
};

}  // namespace zv
