#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Kitchen screens under load. The real server (demo restaurant, no printers, screens for cucina and
pizzeria) takes orders from pliko-load's handhelds for a fixed time, once with no screen connected
and once with SCREENS screens (four fifths on /kds/cucina, where the load goes, the rest on the
pizzeria's); during the second run a probe handheld sends a pizza now and then and every pizzeria
screen's socket is timed from the order's reply (its commit) to the push
that carries its table. A bumper keeps the kitchen's screen at a realistic length, as cooks do.
Prints the order throughput of both runs and the probe's p50/p99.

  scripts/bench-web.py [BUILD] [SECONDS] [CLIENTS] [SCREENS]   (run it in a private network namespace:
  unshare --net sh -c 'ip link set lo up && scripts/bench-web.py')"""

import base64
import http.client
import json
import os
import re
import shutil
import signal
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
SECONDS = int(sys.argv[2]) if len(sys.argv) > 2 else 10
CLIENTS = int(sys.argv[3]) if len(sys.argv) > 3 else 50
SCREENS = int(sys.argv[4]) if len(sys.argv) > 4 else 20
KEY = "chiave-di-prova-0123456789"
COOKIE = None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_server(work, web_port):
    db = os.path.join(work, "restaurant.db")
    subprocess.run([BUILD + "/tools/pliko-sql/pliko-sql", "--create", "--demo", db], check=True,
                   stdout=subprocess.DEVNULL)
    cfg = os.path.join(work, "plikoserver.ini")
    with open(cfg, "w") as f:
        f.write("[Software\\Orvanta\\Quillmark10\\Config]\nLastDBPath=%s\n\n[PlikoServer]\nPrinterBackend=spool\n"
                "PrintSpoolDir=%s\nControlSocket=off\nLogLevel=warning\nWebAddress=127.0.0.1:%d\nWebKey=%s\n"
                "ScreenZones=cucina,pizzeria\n" % (db, work, web_port, KEY))
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=os.path.join(work, "config"))
    p = subprocess.Popen([BUILD + "/src/app/plikoserver", "--headless", "--config", cfg], env=env,
                         stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "server.log"), "w"))
    for _ in range(200):
        try:
            c = http.client.HTTPConnection("127.0.0.1", web_port, timeout=2)
            c.request("GET", "/?key=" + KEY)
            r = c.getresponse()
            r.read()
            global COOKIE
            COOKIE = r.getheader("Set-Cookie").split(";")[0]
            return p
        except (OSError, AttributeError):
            time.sleep(0.05)
    raise SystemExit("server did not start")


def post(c, port, path, body):
    c.request("POST", path, body=json.dumps(body), headers={"Cookie": COOKIE, "Origin": "http://127.0.0.1:%d" % port,
                                                          "Content-Type": "application/json"})
    c.getresponse().read()


class Screen(threading.Thread):
    """A kitchen screen's socket: records when each table first appears in a push."""

    def __init__(self, port, zone):
        super().__init__(daemon=True)
        self.s = socket.create_connection(("127.0.0.1", port))
        key = base64.b64encode(os.urandom(16)).decode()
        self.s.sendall(("GET /ws?zona=%s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\n"
                        "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n"
                        "Origin: http://127.0.0.1:%d\r\nCookie: %s\r\n\r\n" % (zone, port, key, port, COOKIE)).encode())
        self.buf = b""
        while b"\r\n\r\n" not in self.buf:
            self.buf += self.s.recv(4096)
        self.buf = self.buf.split(b"\r\n\r\n", 1)[1]
        self.zone = zone
        self.seen = {}
        self.last = None
        self.running = True

    def frame(self):
        while True:
            if len(self.buf) >= 2:
                n = self.buf[1] & 0x7F
                head = 2
                if n == 126:
                    if len(self.buf) < 4:
                        n = None
                    else:
                        n, head = struct.unpack(">H", self.buf[2:4])[0], 4
                elif n == 127:
                    if len(self.buf) < 10:
                        n = None
                    else:
                        n, head = struct.unpack(">Q", self.buf[2:10])[0], 10
                if n is not None and len(self.buf) >= head + n:
                    payload = self.buf[head:head + n]
                    self.buf = self.buf[head + n:]
                    return payload
            d = self.s.recv(1 << 16)
            if not d:
                return None
            self.buf += d

    def run(self):
        while self.running:
            try:
                p = self.frame()
            except OSError:
                return
            if p is None:
                return
            now = time.monotonic()
            try:
                state = json.loads(p)
            except ValueError:
                continue
            self.last = state
            for card in state.get("schede", []):
                self.seen.setdefault(card["tavoli"], now)


def probe_order(table, n):
    text = "PALM9|Comanda|%d|%s|2|1|4,00|0;M|126|1|7,00|1|x|0|0;\r" % (3929435200 + n, table)
    with socket.create_connection(("127.0.0.1", 31512)) as s:
        s.sendall(text.encode())
        reply = b""
        while d := s.recv(4096):
            reply += d
    return time.monotonic() if reply.startswith(b"ComandaOK") else None


def load_run(seconds):
    out = subprocess.run([BUILD + "/tools/pliko-load/pliko-load", "--clients", str(CLIENTS), "--duration",
                          str(seconds), "--order-lines", "5", "--expect", "ComandaOK|"],
                         capture_output=True, text=True).stdout
    return out.strip()


def rate(line):
    m = re.search(r"([\d.,]+) (richieste|req)", line)
    return float(m.group(1).replace(",", ".")) if m else float("nan")


def main():
    for screens in (0, SCREENS):
        work = tempfile.mkdtemp(prefix="pliko-bench-web-")
        port = free_port()
        server = start_server(work, port)
        try:
            # Most screens in the kitchen, where the load's orders go; the probe's pizzas are timed
            # on the pizzeria's (a kitchen screen shows its oldest cards first, so a new one waits there).
            conns = [Screen(port, "cucina" if i < screens * 4 // 5 else "pizzeria") for i in range(screens)]
            kitchen = [c for c in conns if c.zone == "cucina"]
            pizzeria = [c for c in conns if c.zone == "pizzeria"]
            for c in conns:
                c.start()
            stop = threading.Event()
            latencies = []

            def bumper():
                # Cooks bump what is done: the screen keeps its 20 newest cards.
                c = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
                while not stop.wait(0.2):
                    state = kitchen[0].last if kitchen else None
                    if state:
                        for card in state["schede"][:-20]:
                            post(c, port, "/api/kds/cucina/fatto", {"id": card["id"]})

            def prober():
                n = 0
                while not stop.wait(0.25):
                    n += 1
                    table = "9%04d" % n
                    committed = probe_order(table, n)
                    if committed is None:
                        continue
                    deadline = time.monotonic() + 5
                    while time.monotonic() < deadline and not all(table in c.seen for c in pizzeria):
                        time.sleep(0.002)
                    latencies.extend(c.seen[table] - committed for c in pizzeria if table in c.seen)

            threads = [threading.Thread(target=f, daemon=True) for f in ((bumper, prober) if screens else ())]
            for t in threads:
                t.start()
            line = load_run(SECONDS)
            stop.set()
            for t in threads:
                t.join()
            print("schermi %d: %s" % (screens, line))
            if latencies:
                latencies.sort()
                p50 = statistics.median(latencies) * 1000
                p99 = latencies[min(len(latencies) - 1, int(len(latencies) * 0.99))] * 1000
                print("comanda -> scheda sullo schermo: p50 %.1f ms, p99 %.1f ms (%d misure su %d schermi della pizzeria, %d in cucina)"
                      % (p50, p99, len(latencies), len(pizzeria), len(kitchen)))
            for c in conns:
                c.running = False
                c.s.close()
        finally:
            server.send_signal(signal.SIGTERM)
            server.wait(30)
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
