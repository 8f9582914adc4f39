#!/usr/bin/env python3
"""The far end of a serial line for the Windows serial tests: opens a
pseudo-terminal pair in raw mode, prints the device path of its slave end
(which wine maps to a COM port), and sends back every byte that arrives,
until it is ended. The slave end stays open here, so the pair survives while
the program under test opens and closes the port."""
import os
import select
import signal
import sys
import tty

master, slave = os.openpty()
tty.setraw(master)
tty.setraw(slave)
print(os.ttyname(slave), flush=True)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
while True:
    ready, _, _ = select.select([master], [], [], 1.0)
    if ready:
        data = os.read(master, 4096)
        if data:
            os.write(master, data)
