// Every wait of the tool's workflows in one record. Production code uses
// ProductionTiming(); tests hand the workers a record with short waits so they
// run in milliseconds, and check separately that the production values are
// the ones chosen for each medium.
#pragma once

namespace tarvo {

struct TransferTiming {
  // Block transfer: wait after each block sent, per medium.
  int block_delay_ms = 20;
  int block_delay_zv_server_ms = 26;
  int block_delay_zv_gprs_ms = 500;
  // Wait before each missing-block query.
  int query_delay_ms = 100;
  int query_delay_zv_gprs_ms = 1000;
  // Wait after the last block before the final report (and the reset).
  int finish_delay_ms = 100;
  // Stream transfer: wait before asking again when the controller is not ready.
  int not_ready_delay_ms = 500;
  // How often it asks again before giving up: a controller that stays
  // "not ready" must not keep the dialog busy for ever (2 minutes here).
  int not_ready_max_attempts = 240;
};

// The values the tool ships with.
TransferTiming ProductionTiming();
// The block delay and the query delay for a medium (CommType 1-5; any other acts as 1).
int BlockDelayFor(const TransferTiming& t, int comm_type);
int QueryDelayFor(const TransferTiming& t, int comm_type);

}  // namespace tarvo
