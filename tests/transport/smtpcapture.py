#!/usr/bin/env python3
"""A small SMTP server for the tests, on 127.0.0.1: it takes every message
and appends every byte it receives, exactly as it came, to a file - what a
real server would normalise or hide (bare CRs, the dots of the data, an
AUTH exchange) stays visible there.

Usage: smtpcapture.py PORT FILE [--auth]

With --auth it offers AUTH PLAIN LOGIN and takes any password. It serves
one connection at a time until it is killed.
"""
import socket
import sys


def serve(conn, log, auth):
    buf = b""

    def recv():
        nonlocal buf
        data = conn.recv(65536)
        if data:
            log.write(data)
        buf += data
        return bool(data)

    def line():
        nonlocal buf
        while b"\r\n" not in buf:
            if not recv():
                return None
        at = buf.index(b"\r\n")
        l, buf = buf[:at], buf[at + 2:]
        return l

    def send(text):
        conn.sendall(text.encode() + b"\r\n")

    send("220 capture.test ESMTP")
    while True:
        l = line()
        if l is None:
            return
        verb = l[:4].upper()
        if verb == b"EHLO":
            caps = ["250-capture.test", "250-8BITMIME", "250-SIZE 10240000"]
            if auth:
                caps.append("250-AUTH PLAIN LOGIN")
            caps.append("250 HELP")
            send("\r\n".join(caps))
        elif verb == b"AUTH":
            words = l.split()
            if len(words) > 1 and words[1].upper() == b"LOGIN":
                send("334 VXNlcm5hbWU6")
                line()
                send("334 UGFzc3dvcmQ6")
                line()
            elif len(words) == 2:
                send("334 ")
                line()
            send("235 2.7.0 accepted")
        elif verb == b"DATA":
            send("354 go ahead")
            # The data as it came, up to the line of one dot.
            while not buf.startswith(b".\r\n") and b"\r\n.\r\n" not in buf:
                if not recv():
                    return
            end = 3 if buf.startswith(b".\r\n") else buf.index(b"\r\n.\r\n") + 5
            buf = buf[end:]
            send("250 2.0.0 queued")
        elif verb == b"QUIT":
            send("221 bye")
            return
        elif verb in (b"HELO", b"MAIL", b"RCPT", b"RSET", b"NOOP"):
            send("250 ok")
        else:
            send("502 not here")


def main(argv):
    port, path = int(argv[1]), argv[2]
    auth = "--auth" in argv[3:]
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", port))
    s.listen(5)
    with open(path, "ab", buffering=0) as log:
        while True:
            conn, _ = s.accept()
            try:
                serve(conn, log, auth)
            except OSError:
                pass
            finally:
                conn.close()


if __name__ == "__main__":
    main(sys.argv)
