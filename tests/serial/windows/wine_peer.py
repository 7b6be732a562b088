#!/usr/bin/python3
"""Plays the logger's end of the line for serial_device_test.exe under Wine.

Makes a pseudo-terminal pair, links the Wine prefix's dosdevices/com5 to its
slave, runs the test program under wine and answers its commands (lines
starting with "@@" on its standard output; the answer goes to its standard
input) by acting on the master: reading the slave's termios, sending and
expecting bytes, bulk transfers, staying silent, closing the line.

    wine_peer.py PREFIX PROGRAM [timeout seconds]

Exits with the program's status; a program that hangs is ended after the
timeout and fails the run.
"""

import os
import select
import subprocess
import sys
import termios
import threading
import time
import tty

CMSPAR = 0o10000000000
CRTSCTS = 0o20000000000
SPEEDS = {getattr(termios, name): int(name[1:]) for name in dir(termios)
          if name.startswith("B") and name[1:].isdigit()}


def pattern(n, seed):
    """The bytes both sides make for a bulk transfer (the program has the twin)."""
    return bytes(((i * 131 + seed * 7 + (i >> 8)) & 0xFF) for i in range(n))


class Line:
    """The master side of the pair, and what runs on it in the background."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        # Raw from the start: a terminal's default echo would send the peer's
        # bytes straight back before the program has set the line.
        tty.setraw(self.slave)
        self.slave_path = os.ttyname(self.slave)
        self.background = None
        self.received = None
        self.closed = False

    def termios_text(self):
        iflag, _, cflag, _, _, ospeed, _ = termios.tcgetattr(self.slave)
        size = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}[cflag & termios.CSIZE]
        if not cflag & termios.PARENB:
            parity = "none"
        elif cflag & CMSPAR:
            parity = "mark" if cflag & termios.PARODD else "space"
        else:
            parity = "odd" if cflag & termios.PARODD else "even"
        return "speed=%d csize=%d parity=%s cstopb=%d crtscts=%d ixon=%d ixoff=%d" % (
            SPEEDS.get(ospeed, -1), size, parity, bool(cflag & termios.CSTOPB), bool(cflag & CRTSCTS),
            bool(iflag & termios.IXON), bool(iflag & termios.IXOFF))

    def write(self, data):
        view = memoryview(data)
        while view:
            n = os.write(self.master, view)
            view = view[n:]

    def read(self, n, timeout):
        data = bytearray()
        deadline = time.monotonic() + timeout
        while len(data) < n:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.master], [], [], left)[0]:
                break
            data += os.read(self.master, n - len(data))
        return bytes(data)

    def drain(self, idle=0.3):
        count = 0
        while select.select([self.master], [], [], idle)[0]:
            try:
                chunk = os.read(self.master, 65536)
            except OSError:
                break
            if not chunk:
                break
            count += len(chunk)
        return count

    def later(self, work):
        self.join()
        self.background = threading.Thread(target=work, daemon=True)
        self.background.start()

    def join(self):
        if self.background:
            self.background.join(120)
            self.background = None

    def close(self):
        self.join()
        os.close(self.master)
        os.close(self.slave)
        self.closed = True


def answer(line, words):
    """One command; returns the answer's text after "ok"."""
    cmd, args = words[0], words[1:]
    if cmd == "termios":
        return line.termios_text()
    if cmd == "send":
        line.join()
        line.write(bytes.fromhex(args[0]))
        return ""
    if cmd == "sendlater":
        ms, data = int(args[0]), bytes.fromhex(args[1])
        line.later(lambda: (time.sleep(ms / 1000), line.write(data)))
        return ""
    if cmd == "sendgap":
        first, ms, second = bytes.fromhex(args[0]), int(args[1]), bytes.fromhex(args[2])
        line.later(lambda: (line.write(first), time.sleep(ms / 1000), line.write(second)))
        return ""
    if cmd == "sendpattern":
        data = pattern(int(args[0]), int(args[1]))
        line.later(lambda: line.write(data))
        return ""
    if cmd == "expect":
        line.join()
        data = line.read(int(args[0]), 10)
        return data.hex() if data else "-"
    if cmd == "recvpattern":
        n, seed = int(args[0]), int(args[1])

        def receive():
            line.received = (line.read(n, 60), pattern(n, seed))
        line.later(receive)
        return ""
    if cmd == "result":
        line.join()
        got, wanted = line.received
        if got == wanted:
            return "match %d" % len(got)
        first = next((i for i, (a, b) in enumerate(zip(got, wanted)) if a != b), min(len(got), len(wanted)))
        return "mismatch at %d, %d bytes" % (first, len(got))
    if cmd == "drain":
        line.join()
        return str(line.drain())
    if cmd == "reset":
        if not line.closed:
            line.join()
            line.drain(0.1)
        return ""
    if cmd == "close":
        line.close()
        return ""
    raise ValueError("unknown command " + cmd)


def main():
    prefix, program = sys.argv[1], sys.argv[2]
    timeout = float(sys.argv[3]) if len(sys.argv) > 3 else 300
    line = Line()
    link = os.path.join(prefix, "dosdevices", "com5")
    if os.path.lexists(link):
        os.unlink(link)
    os.symlink(line.slave_path, link)
    print("com5 is %s" % line.slave_path, flush=True)

    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    proc = subprocess.Popen(["wine", program, "COM5"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, env=env)
    timer = threading.Timer(timeout, proc.kill)
    timer.start()
    deviations = []
    try:
        for raw in proc.stdout:
            text = raw.decode("utf-8", "replace").rstrip("\r\n")
            if not text.startswith("@@ "):
                print(text, flush=True)
                if text.startswith("DEVIATION "):
                    deviations.append(text)
                continue
            words = text[3:].split()
            if words == ["bye"]:
                break
            try:
                reply = "ok " + answer(line, words)
            except Exception as error:  # the program hears of it and fails its case
                reply = "error %s: %s" % (type(error).__name__, error)
            proc.stdin.write((reply.rstrip() + "\n").encode())
            proc.stdin.flush()
        status = proc.wait()
    finally:
        timer.cancel()
        if proc.poll() is None:
            proc.kill()
    if not timer.is_alive() and status != 0 and proc.returncode == -9:
        print("the test program did not finish within %d s" % timeout)
    print("Wine deviations met: %d" % len(deviations))
    for text in deviations:
        print("  " + text[len("DEVIATION "):])
    return status


if __name__ == "__main__":
    sys.exit(main())
