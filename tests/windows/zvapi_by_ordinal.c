/* A Windows program as the library's users write them: it loads
 * ZvServerAPI.dll from its own folder, binds all nine functions by ordinal
 * with GetProcAddress, checks that each ordinal is the function of that name,
 * and, given a relay server, logs in, locks a card, sends it one controller
 * request and reads the card's reply.
 *
 *   zvapi_by_ordinal                         ordinals and offline results only
 *   zvapi_by_ordinal HOST PORT USER PASSWORD DEVICEID
 *
 * Prints one line per check; exit status 0 when every check passed. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "ZvServerAPI.h"

typedef int(ZVAPI* LoginFn)(const char*, int, const char*, const char*);
typedef int(ZVAPI* VoidFn)(void);
typedef int(ZVAPI* CardFn)(const char*);
typedef int(ZVAPI* SendFn)(const char*, int, const unsigned char*, int);
typedef int(ZVAPI* RecvFn)(unsigned char*, int);
typedef int(ZVAPI* TimeoutFn)(int);
typedef int(ZVAPI* QueryFn)(const char*, char*, int);

static const char* const kNames[9] = {"ZvServer_Login",
                                      "ZvServer_Logout",
                                      "ZvServer_LockCard",
                                      "ZvServer_UnLockCard",
                                      "ZvServer_SendCommPacket",
                                      "ZvServer_RecvCommPacket",
                                      "ZvServer_SendHeartbeatPacket",
                                      "ZvServer_SetReceiveTimeout",
                                      "ZvServer_QueryCardStatus"};

static int g_failures = 0;

static void Check(int ok, const char* what, int value) {
  printf("%s %s (%d)\n", ok ? "ok  " : "FAIL", what, value);
  if (!ok) ++g_failures;
}

/* The folder of this program, with a trailing backslash. */
static void OwnFolder(char* out, DWORD size) {
  DWORD n = GetModuleFileNameA(NULL, out, size);
  while (n > 0 && out[n - 1] != '\\' && out[n - 1] != '/') --n;
  out[n] = 0;
}

/* GetControllerType to every controller: 68 32 FF 2E 01 00 and the byte sum,
 * in the direct-card envelope: length (packet + 6) little-endian, six 01s. */
static int Envelope(unsigned char* out) {
  static const unsigned char request[6] = {0x68, 0x32, 0xFF, 0x2E, 0x01, 0x00};
  unsigned sum = 0;
  int i;
  out[0] = 8 + 6;
  out[1] = 0;
  for (i = 0; i < 6; ++i) out[2 + i] = 0x01;
  for (i = 0; i < 6; ++i) {
    out[8 + i] = request[i];
    sum += request[i];
  }
  out[14] = (unsigned char)(sum & 0xFF);
  out[15] = (unsigned char)(sum >> 8);
  return 16;
}

int main(int argc, char** argv) {
  char path[MAX_PATH + 32];
  FARPROC by_ordinal[9];
  HMODULE dll;
  int i;

  OwnFolder(path, MAX_PATH);
  strcat(path, "ZvServerAPI.dll");
  dll = LoadLibraryA(path);
  Check(dll != NULL, "ZvServerAPI.dll loads", (int)GetLastError());
  if (dll == NULL) return 1;

  for (i = 0; i < 9; ++i) {
    char what[80];
    by_ordinal[i] = GetProcAddress(dll, MAKEINTRESOURCEA(i + 1));
    snprintf(what, sizeof what, "ordinal %d is %s", i + 1, kNames[i]);
    Check(by_ordinal[i] != NULL && by_ordinal[i] == GetProcAddress(dll, kNames[i]), what, i + 1);
  }
  Check(GetProcAddress(dll, MAKEINTRESOURCEA(10)) == NULL, "no ordinal 10", 10);
  for (i = 0; i < 9; ++i)
    if (by_ordinal[i] == NULL) return 1;

  {
    LoginFn login = (LoginFn)(void*)by_ordinal[0];
    VoidFn logout = (VoidFn)(void*)by_ordinal[1];
    CardFn lock = (CardFn)(void*)by_ordinal[2];
    CardFn unlock = (CardFn)(void*)by_ordinal[3];
    SendFn send = (SendFn)(void*)by_ordinal[4];
    RecvFn recv = (RecvFn)(void*)by_ordinal[5];
    VoidFn heartbeat = (VoidFn)(void*)by_ordinal[6];
    TimeoutFn set_timeout = (TimeoutFn)(void*)by_ordinal[7];
    QueryFn query = (QueryFn)(void*)by_ordinal[8];
    unsigned char envelope[16];
    unsigned char reply[2048];
    char status[256];
    int n;

    /* Not connected: every function's own failure value, nothing sent. */
    Check(logout() == 0, "Logout while not connected is 0", 0);
    Check(lock("100001") == 0, "LockCard while not connected is 0", 0);
    Check(send("100001", 1, envelope, Envelope(envelope)) == 0, "SendCommPacket offline is 0", 0);
    Check(recv(reply, (int)sizeof reply) == 0, "RecvCommPacket offline is 0", 0);
    Check(heartbeat() == 0, "SendHeartbeatPacket offline is 0", 0);
    Check(set_timeout(1000) == 0, "SetReceiveTimeout offline is 0", 0);
    Check(query("", status, (int)sizeof status) == -1, "QueryCardStatus offline is -1", -1);
    n = login("127.0.0.1", 1, "user01", "21963");
    Check(n == 5, "Login to a port without a server is 5", n);
    n = login("no.such.host", 5202, "user01", "21963");
    Check(n == 5, "Login to a name instead of a dotted address is 5", n);

    if (argc == 6) {
      const char* device = argv[5];
      n = login(argv[1], atoi(argv[2]), argv[3], argv[4]);
      Check(n == 1, "Login", n);
      n = login(argv[1], atoi(argv[2]), argv[3], argv[4]);
      Check(n == 3, "a second Login while connected is 3", n);
      Check(set_timeout(5000) == 1, "SetReceiveTimeout", 1);
      n = query(device, status, (int)sizeof status);
      Check(n == 1 && strncmp(status, device, strlen(device)) == 0 &&
                strcmp(status + strlen(device), "=1;") == 0,
            "QueryCardStatus finds the card online", n);
      n = lock(device);
      Check(n != 0, "LockCard", n);
      n = send(device, 1, envelope, Envelope(envelope));
      Check(n == 1, "SendCommPacket is forwarded", n);
      n = recv(reply, (int)sizeof reply);
      /* [length][six DeviceID characters][E8 32 ...] */
      Check(n >= 15 && memcmp(reply + 2, device, 6) == 0 && reply[8] == 0xE8 && reply[9] == 0x32 &&
                reply[11] == 0x2E,
            "RecvCommPacket brings the card's GetControllerType reply", n);
      n = send(device, 1, envelope, Envelope(envelope));
      Check(n == 1, "a second SendCommPacket is forwarded", n);
      n = recv(reply, 10);
      Check(n == -1, "a reply longer than the buffer is -1 and dropped", n);
      Check(heartbeat() == 1, "SendHeartbeatPacket", 1);
      n = unlock(device);
      Check(n != 0, "UnLockCard", n);
      Check(logout() == 0, "Logout", 0);
      Check(lock(device) == 0, "LockCard after Logout is 0", 0);
    }
  }
  FreeLibrary(dll);
  printf("%d failed\n", g_failures);
  return g_failures == 0 ? 0 : 1;
}
