/* Compiled as C and linked against libZvServerAPI.so: the header is valid C
 * and the entry points resolve by their plain names. Without arguments it
 * checks the calls that need no server; with a port (given by the Python
 * driver, which serves a scripted relay) it runs a whole tool sequence. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ZvServerAPI.h"

static int failures = 0;

#define CHECK_EQ(expr, expected)                                                        \
  do {                                                                                  \
    int got_ = (expr);                                                                  \
    if (got_ != (expected)) {                                                           \
      fprintf(stderr, "%s:%d: %s = %d, expected %d\n", __FILE__, __LINE__, #expr, got_, \
              (int)(expected));                                                         \
      ++failures;                                                                       \
    }                                                                                   \
  } while (0)

static void NotConnected(void) {
  unsigned char data[8] = {0x68, 0, 0, 0, 0, 0, 0, 0};
  char text[8];
  CHECK_EQ(ZvServer_Logout(), 0);
  CHECK_EQ(ZvServer_LockCard("000001"), 0);
  CHECK_EQ(ZvServer_UnLockCard("000001"), 0);
  CHECK_EQ(ZvServer_SendCommPacket("000001", 1, data, 8), 0);
  CHECK_EQ(ZvServer_RecvCommPacket(data, 8), 0);
  CHECK_EQ(ZvServer_SendHeartbeatPacket(), 0);
  CHECK_EQ(ZvServer_SetReceiveTimeout(100), 0);
  CHECK_EQ(ZvServer_QueryCardStatus("", text, 8), -1);
  CHECK_EQ(ZvServer_Login("not an address", 5203, "u", "p"), 5);
}

/* The Python driver's script: login ok, lock granted, forwarding status 1,
 * then a 24-byte card packet, one card in the query, unlock granted. */
static void ToolSequence(int port) {
  unsigned char request[16];
  unsigned char reply[2048];
  char text[64];
  int i;
  for (i = 0; i < 16; ++i) request[i] = (unsigned char)(0x68 + i);
  CHECK_EQ(ZvServer_Login("127.0.0.1", port, "alice", "pw"), 1);
  CHECK_EQ(ZvServer_LockCard("000001"), 1);
  CHECK_EQ(ZvServer_SendCommPacket("000001", 1, request, 16), 1);
  CHECK_EQ(ZvServer_RecvCommPacket(reply, (int)sizeof reply), 24);
  CHECK_EQ(reply[0], 0xE8);
  CHECK_EQ(ZvServer_SendHeartbeatPacket(), 1);
  CHECK_EQ(ZvServer_SetReceiveTimeout(2000), 1);
  CHECK_EQ(ZvServer_QueryCardStatus("", text, (int)sizeof text), 1);
  CHECK_EQ(strcmp(text, "000001=1;"), 0);
  CHECK_EQ(ZvServer_UnLockCard("000001"), 1);
  CHECK_EQ(ZvServer_Logout(), 0);
}

int main(int argc, char** argv) {
  NotConnected();
  if (argc > 1) ToolSequence(atoi(argv[1]));
  if (failures) fprintf(stderr, "%d check(s) failed\n", failures);
  return failures ? 1 : 0;
}
