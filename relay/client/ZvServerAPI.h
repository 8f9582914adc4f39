/*
 * ZvServerAPI: client side of the relay server protocol.
 *
 * A program logs in to the relay server, locks the controller card it wants
 * to talk to, sends controller packets to it and receives the card's packets
 * back, all over one TCP connection that the library keeps.
 *
 * Session: the library holds exactly one session per process. It is created
 * by the first call of any function below and destroyed when the library is
 * unloaded (the socket is closed then; nothing is sent to the server).
 *
 * Threads: every call blocks on the caller's thread until its exchange is
 * done or a time-out expires. Calls must not overlap: a request and its
 * answer are two socket operations, and a receive on another thread would
 * take the answer away. The library starts no threads and takes no locks.
 *
 * Ownership: the caller owns every text and buffer it passes, for the
 * duration of the call only; the library copies what it keeps.
 *
 * Texts: zero-terminated 8-bit strings, passed through unchanged; at most
 * 254 characters each (longer texts are refused with the failure value).
 *
 * Results: small positive values come from the server, zero and negative
 * values report failures found locally; the table per function is below.
 * No function crashes on a null pointer or a negative size: such calls
 * return the function's failure value without touching the network.
 */
#ifndef ZVSERVERAPI_H_
#define ZVSERVERAPI_H_

#if defined(_WIN32)
#define ZVAPI __stdcall
#else
#define ZVAPI
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Ordinal 1. Connects to server_address (dotted IPv4, no name lookup) and
 * port, and logs in.
 *   1  logged in; the connection stays open
 *   2  no such user (connection closed); any other server result is
 *      returned likewise
 *   3  already connected (nothing sent), or the user is already logged in
 *   4  wrong password (connection closed)
 *   5  the TCP connection failed (also: address missing or not dotted IPv4)
 *  -2  no valid login answer (time-out, broken connection, wrong frame)
 *  -3  sending the request failed
 *  -4  the request frame could not be built (a text over 254 characters)
 *  -5  the request message could not be made (user name or password null) */
int ZVAPI ZvServer_Login(const char* server_address, int port, const char* user_name,
                         const char* password);

/* Ordinal 2. Closes the connection if there is one. Always 0; nothing is
 * sent to the server. */
int ZVAPI ZvServer_Logout(void);

/* Ordinals 3 and 4. Asks the server to lock / unlock the card for this user.
 * The server's result byte (non-zero: granted), or 0 when not connected, the
 * request could not be made or sent, or no valid answer came. */
int ZVAPI ZvServer_LockCard(const char* device_id);
int ZVAPI ZvServer_UnLockCard(const char* device_id);

/* Ordinal 5. Sends one controller packet to the card over forwarding path
 * `route` (only its low byte is used; 1 direct cards, 2 GPRS cards) and
 * returns the server's forwarding status: 1 sent, 0 send failed, 2 card not
 * connected, 3 card locked by another user, 4 card of another organization,
 * 5 card not locked. 0 also when not connected, on bad arguments (length
 * not positive, null data or device ID) or when no valid answer came. */
int ZVAPI ZvServer_SendCommPacket(const char* device_id, int route, const unsigned char* data,
                                  int length);

/* Ordinal 6. Waits for the next packet that a card sent back.
 *   n >= 6  a packet of n bytes was copied into buffer
 *   -1      a packet arrived but is longer than size; it is dropped
 *   0       not connected, nothing valid arrived within the receive
 *           time-out, what arrived was not a card packet of at least 6
 *           bytes (dropped), or buffer is null / size not positive */
int ZVAPI ZvServer_RecvCommPacket(unsigned char* buffer, int size);

/* Ordinal 7. Sends a heartbeat; no answer is awaited. 1 sent, 0 not
 * connected or the send failed. */
int ZVAPI ZvServer_SendHeartbeatPacket(void);

/* Ordinal 8. Sets the receive time-out of the current connection (the next
 * login starts again with 30000 ms). 1 set; 0 when not connected, when
 * milliseconds is not positive, or when setting it failed. */
int ZVAPI ZvServer_SetReceiveTimeout(int milliseconds);

/* Ordinal 9. Queries the cards that match filter (a device ID; empty or
 * null for every card the user may see) and writes "ID=online;" entries,
 * e.g. "000001=1;000002=0;", zero-terminated, into buffer.
 *   n >= 0         number of entries written (the rest of the buffer is 0)
 *   -1             not connected, no valid answer, the server reported a
 *                  failure, or filter is longer than 254 characters
 *   -(length + 1)  buffer too small for the text and its terminating zero;
 *                  nothing written. A null buffer counts as size 0, so
 *                  (NULL, 0) asks for the size that is needed. */
int ZVAPI ZvServer_QueryCardStatus(const char* filter, char* buffer, int size);

#ifdef __cplusplus
}
#endif

#endif /* ZVSERVERAPI_H_ */
