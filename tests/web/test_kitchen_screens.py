#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Kitchen screens and the operator console in a real browser (headless chromium through selenium),
against the real plikoserver with spool printers and a web address on loopback.

Usage: test_kitchen_screens.py PLIKOSERVER PLIKO_SQL
Exit 77 (skipped) when chromium, chromedriver or python3-selenium are missing."""

import http.client
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import traceback

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("python3-selenium mancante: test saltato")
    sys.exit(77)

CHROMEDRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
CHROMIUM = shutil.which("chromium")
if not CHROMIUM or not os.path.exists(CHROMEDRIVER):
    print("chromium o chromium-driver mancanti: test saltato")
    sys.exit(77)

SERVER, PLIKO_SQL = sys.argv[1:3]
KEY = "chiave-di-prova-0123456789"
XSS = "<img src=x onerror=alert(1)>"
HANDHELD_PORT = 31512


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Restaurant:
    """A demo restaurant: kitchen and pizzeria have screens and spool printers, the bar's printer
    folder is missing (its tickets stay owed)."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="pliko-web-")
        self.web_port = free_port()
        self.metrics_port = free_port()
        self.spool = os.path.join(self.dir, "spool")
        for p in ("Cucina", "Pizzeria"):
            os.makedirs(os.path.join(self.spool, p))
        db = os.path.join(self.dir, "restaurant.db")
        subprocess.run([PLIKO_SQL, "--create", "--demo", db], check=True, stdout=subprocess.DEVNULL)
        subprocess.run([PLIKO_SQL, db, "INSERT INTO variazioni_comande (id_variazione, descrizione, prezzo) "
                        "VALUES (99, '%s', 0)" % XSS], check=True, stdout=subprocess.DEVNULL)
        self.config = os.path.join(self.dir, "plikoserver.ini")
        with open(self.config, "w") as f:
            f.write("[Software\\Orvanta\\Quillmark10\\Config]\nLastDBPath=%s\n"
                    "zona_ristorante_cucina=Cucina|256\nzona_ristorante_pizzeria=Pizzeria|256\n"
                    "zona_ristorante_bar=Bar|256\n\n[PlikoServer]\nPrinterBackend=spool\nPrintSpoolDir=%s\n"
                    "ControlSocket=%s\nTicketRetrySeconds=0\nMetricsAddress=127.0.0.1:%d\n"
                    "WebAddress=127.0.0.1:%d\nWebKey=%s\nScreenZones=cucina,pizzeria\n"
                    % (db, self.spool, os.path.join(self.dir, "ctl.sock"), self.metrics_port, self.web_port, KEY))
        self.process = None
        self.base = "http://127.0.0.1:%d" % self.web_port

    def start(self):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=os.path.join(self.dir, "config"))
        with open(os.path.join(self.dir, "server.log"), "ab") as log:
            self.process = subprocess.Popen([SERVER, "--headless", "--config", self.config], env=env,
                                            stdout=log, stderr=subprocess.STDOUT)

        def reachable():
            try:
                return self.request("GET", "/")[0] == 401
            except OSError:
                return False
        until(reachable, "the web service to listen", 20)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(30)
        self.process = None

    def request(self, method, path, headers=None, body=None, port=None):
        c = http.client.HTTPConnection("127.0.0.1", port or self.web_port, timeout=10)
        c.request(method, path, body=body, headers=headers or {})
        r = c.getresponse()
        out = (r.status, r.read().decode("utf-8", "replace"), r.getheader("Set-Cookie") or "")
        c.close()
        return out

    def order(self, inizio, table, lines):
        """One handheld order over TCP; lines are (code, quantity, course, description, [variation ids])."""
        text = "PALM01|Comanda|%d|%d|2|2|4,00|50,00;" % (inizio, table)
        for code, qty, course, desc, variations in lines:
            text += "M|%d|%d|9,00|%d|%s|0|0;" % (code, qty, course, desc)
            text += "".join("V|%d|1;" % v for v in variations)
        with socket.create_connection(("127.0.0.1", HANDHELD_PORT), timeout=10) as s:
            s.sendall(text.encode("cp1252") + b"\r")
            reply = b""
            while chunk := s.recv(4096):
                reply += chunk
        check(reply == b"ComandaOK|\r", "order %d confirmed (%r)" % (inizio, reply))


def until(condition, what, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return
        time.sleep(0.05)
    raise AssertionError("not within %d s: %s" % (seconds, what))


failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FALLITO:", what)


def browser():
    o = webdriver.ChromeOptions()
    o.binary_location = CHROMIUM
    for a in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
              "--window-size=1600,1000", "--lang=it-IT"):
        o.add_argument(a)
    return webdriver.Chrome(service=Service(CHROMEDRIVER), options=o)


def texts(driver, selector):
    """The rendered texts of the elements, read in one step (the page redraws as pushes arrive)."""
    return driver.execute_script("return [...document.querySelectorAll(arguments[0])].map(e => e.innerText)", selector)


def has_card(driver, text):
    return any(text in t for t in texts(driver, "#schede .scheda"))


def open_kds(driver, r, zone):
    driver.get(r.base + "/kds/%s?key=%s" % (zone, KEY))
    until(lambda: driver.find_element(By.ID, "collegamento").text == "collegato", "the screen's socket")


def test_access(r):
    """Without the key nothing: 401 and no dish names; a wrong cookie is no key; actions need our Origin."""
    for what, path, headers in (("no key", "/kds/cucina", {}), ("wrong key", "/?key=sbagliata-0123456789", {}),
                                ("wrong cookie", "/api/kds/cucina", {"Cookie": "pliko_web=" + "0" * 64})):
        status, body, _ = r.request("GET", path, headers)
        check(status == 401 and "Spaghetti" not in body, "%s: 401 and no dishes (%d)" % (what, status))
    status, _, cookie = r.request("GET", "/kds/cucina?key=" + KEY)
    check(status == 303 and "HttpOnly" in cookie and "SameSite=Strict" in cookie, "key: cookie set (%s)" % cookie)
    good = cookie.split(";")[0]
    status, body, _ = r.request("GET", "/api/kds/cucina", {"Cookie": good})
    check(status == 200 and "Spaghetti" in body, "cookie: the screen's data (%d)" % status)
    status, _, _ = r.request("POST", "/api/kds/cucina/richiama",
                             {"Cookie": good, "Origin": "http://evil.example", "Content-Type": "application/json"}, "{}")
    check(status == 403, "foreign Origin refused (%d)" % status)
    # A socket with a wrong cookie is closed before any data.
    with socket.create_connection(("127.0.0.1", r.web_port), timeout=5) as s:
        s.sendall(("GET /ws?zona=cucina HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n"
                   "Origin: http://127.0.0.1:%d\r\nCookie: pliko_web=%s\r\n\r\n" % (r.web_port, r.web_port, "0" * 64)).encode())
        got = b""
        try:
            while chunk := s.recv(4096):
                got += chunk
        except socket.timeout:
            pass
    check(b"Spaghetti" not in got and b"kds" not in got, "socket with a wrong cookie gets no data")


def main():
    r = Restaurant()
    a = b = None
    try:
        r.start()
        a, b = browser(), browser()
        open_kds(a, r, "cucina")
        open_kds(b, r, "cucina")

        # A TCP order reaches both kitchen screens without a reload: lines, course, variations.
        r.order(4005721620, 12, [(108, 2, 1, "Spaghetti alla carbonara", [99, 4]), (126, 1, 3, "Margherita", []),
                                 (145, 1, 1, "Birra alla spina", [])])
        until(lambda: has_card(a, "Spaghetti alla carbonara") and has_card(b, "Spaghetti alla carbonara"),
              "the order on both screens", 5)
        text = texts(a, "#schede .scheda")[0]
        check("Tavolo 12" in text and "Turno 1" in text and "2" in text, "card: table, course, quantity (%r)" % text)
        check(XSS in text, "the note shows as its characters")
        check(a.execute_script("return document.images.length") == 0, "no image element (nor its script) from the note")
        test_access(r)

        # All day on the pizzeria screen: two orders' pizzas counted together.
        open_kds(b, r, "pizzeria")
        r.order(4005721700, 14, [(126, 2, 1, "Margherita", []), (128, 1, 1, "Diavola", [])])
        all_day = lambda: [t.replace(" ", "").replace("\n", "") for t in texts(b, "#tuttoilgiorno li")]
        until(lambda: "3Margherita" in all_day(), "3 Margherita all day")
        check("1Diavola" in all_day(), "1 Diavola all day (%r)" % all_day())
        open_kds(b, r, "cucina")

        # "Fatto" on one screen takes the card off the other.
        a.find_element(By.CSS_SELECTOR, "#schede .scheda .fatto").click()
        until(lambda: not has_card(b, "Spaghetti alla carbonara"), "the bump on the second screen")
        # The bump bar: a digit selects, Enter bumps, R recalls.
        r.order(4005721800, 15, [(110, 1, 2, "Lasagne al forno", [])])
        until(lambda: has_card(a, "Lasagne al forno"), "the second order")
        a.find_element(By.TAG_NAME, "body").send_keys("1", Keys.ENTER)
        until(lambda: not has_card(b, "Lasagne al forno"), "Enter bumps")
        b.find_element(By.TAG_NAME, "body").send_keys("r")
        until(lambda: has_card(a, "Lasagne al forno"), "R recalls the last bumped card")

        status, body, _ = r.request("GET", "/metrics", port=r.metrics_port)
        check('pliko_ticket_ready_seconds_count{zone="cucina"} 2' in body, "two bumps in the ready-time histogram")

        # After a restart the bumped card stays bumped, the recalled one is back.
        r.stop()
        r.start()
        a.refresh()
        until(lambda: has_card(a, "Lasagne al forno"), "the recalled card after a restart")
        check(not has_card(a, "Spaghetti alla carbonara"), "the bumped card stays bumped after a restart")

        # The console: the bar's owed ticket, and its reprint once the printer is back.
        a.get(r.base + "/?key=" + KEY)
        until(lambda: "zona bar" in "".join(texts(a, "#biglietti")), "the owed bar ticket on the console")
        check("".join(texts(a, "#stato")).strip() != "", "the console shows the status")
        os.makedirs(os.path.join(r.spool, "Bar"))
        a.find_element(By.CSS_SELECTOR, "button.ristampa[data-zona='bar']").click()
        until(lambda: any(f.endswith(".txt") for f in os.listdir(os.path.join(r.spool, "Bar"))),
              "the reprint printed on the bar printer")
        until(lambda: "zona bar" not in "".join(texts(a, "#biglietti")), "the ticket no longer owed")

    except Exception:
        traceback.print_exc()
        failures.append("exception")
    finally:
        for d in (a, b):
            if d:
                d.quit()
        r.stop()
        if failures:
            print(open(os.path.join(r.dir, "server.log"), errors="replace").read()[-4000:])
        shutil.rmtree(r.dir, ignore_errors=True)
    print("falliti:" if failures else "tutto bene", failures if failures else "")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
