#!/usr/bin/env python3
# Hostile peers of the single-instance socket, for the smoke tests.
#   SocketProbe.py flood PATH N SECONDS   N connections that say nothing, held for SECONDS
#   SocketProbe.py slow PATH SECONDS      one connection that sends a byte every 0.2 s for SECONDS
# Each prints one line once its connections are made, then holds them.
import socket
import sys
import time

mode, path = sys.argv[1], sys.argv[2]
if mode == 'flood':
    n, hold = int(sys.argv[3]), float(sys.argv[4])
    held = []
    for _ in range(n):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.setblocking(False)
        try:
            s.connect(path)
        except BlockingIOError:
            pass
        held.append(s)
    print('holding', len(held), flush=True)
    time.sleep(hold)
elif mode == 'slow':
    hold = float(sys.argv[3])
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.connect(path)
    print('sending slowly', flush=True)
    t0 = time.time()
    try:
        while time.time() - t0 < hold:
            s.send(b'x')
            time.sleep(0.2)
    except OSError:
        pass
else:
    sys.exit('unknown mode ' + mode)
