#!/usr/bin/python3
"""The client's acceptance pages against a real aph-server.

  acceptance_pages.py browser  AP_SERVER [--screenshots DIR]
      Debian's chromium, driven by selenium through chromium-driver, opens
      a link, reads the amount and accepts; opens another and contests a
      day; GetPendencias, asked through the RPC port, then lists that day
      with the client's comment, and the statement says who accepted.
      Exits 77 (skipped) when chromium or its driver is missing.
  acceptance_pages.py refusals AP_SERVER
      One table of bad requests (forged, expired, revoked and reused
      links; a form posted twice, from another site, with fields missing
      or too big, with a day of another CHT): each gets its status and a
      page that says why, and nothing is written.
"""
import http.client
import json
import os
import re
import secrets
import shutil
import socket
import sqlite3
import subprocess
import sys
import tempfile
import urllib.parse

SKIP = 77
EMAIL = "compras@cliente.com.br"


class World:
    """A demo database, a server with its pages on free ports, and links."""

    def __init__(self, server_bin, extra_serve=()):
        self.bin = server_bin
        self.dir = tempfile.mkdtemp(prefix="aph-web-")
        self.path = os.path.join(self.dir, "aph.db")
        self.spec = "sqlite:" + self.path
        self.run("init", self.spec, "--demo")
        self.token = self.run("token", self.spec, "ADMIN").strip()
        # The demo's pending CHTs approved too, so that there are enough.
        for (cht,) in self.db("SELECT NRSEQUCHT FROM CHT WHERE IDSTATUSCHT = 'P'"):
            self.run("cht-status", self.spec, cht, "A")
        self.proc = subprocess.Popen(
            [server_bin, "serve", self.spec, "--port", "0", "--web-port", "0", *extra_serve],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        first = self.proc.stdout.readline()
        second = self.proc.stdout.readline()
        self.rpc_port = int(re.search(r":(\d+)", first).group(1))
        m = re.match(r"páginas do cliente em (http)://127\.0\.0\.1:(\d+)$", second.strip())
        assert m, "the second line names the pages' address: " + second
        self.web_port = int(m.group(2))
        self.base = "http://127.0.0.1:%d" % self.web_port

    def run(self, *args, check=True):
        p = subprocess.run([self.bin, *args], capture_output=True, text=True)
        if check and p.returncode != 0:
            raise AssertionError("aph-server %s: %s" % (" ".join(args), p.stderr))
        return p.stdout

    def db(self, sql, *values):
        with sqlite3.connect(self.path) as c:
            return c.execute(sql, values).fetchall()

    def approved_chts(self):
        return [r[0] for r in self.db(
            "SELECT H.NRSEQUCHT FROM CHT H WHERE H.IDSTATUSCHT = 'A' AND EXISTS "
            "(SELECT 1 FROM CSA C WHERE C.NRSEQUCHT = H.NRSEQUCHT) ORDER BY H.NRSEQUCHT")]

    def link(self, cht, email=EMAIL):
        out = self.run("aceite", self.spec, cht, "--contato", email, "--url-base", self.base)
        return out.strip().splitlines()[-1]

    def days(self, cht):
        return [r[0] for r in self.db(
            "SELECT DTSERVPREST FROM CSA WHERE NRSEQUCHT = ? ORDER BY DTSERVPREST", cht)]

    def rpc(self, calls):
        """The replies of the calls, in order, on one logged-in connection."""
        with socket.create_connection(("127.0.0.1", self.rpc_port), timeout=20) as s:
            f = s.makefile("rwb")
            replies = []
            for i, (method, params) in enumerate([("Login", ["ADMIN", self.token])] + calls):
                line = json.dumps({"jsonrpc": "2.0", "id": i + 1, "method": method,
                                   "params": params})
                f.write(line.encode() + b"\n")
                f.flush()
                replies.append(json.loads(f.readline()))
            return replies[1:]

    def client_statement_csv(self, cht):
        out = os.path.join(self.dir, "cht-%s.csv" % cht)
        self.run("statement", self.spec, cht, "--format", "csv", "--out", out,
                 "--sobrescrever")
        with open(out, encoding="utf-8-sig") as f:
            return f.read()

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=20)
        shutil.rmtree(self.dir, ignore_errors=True)


def amount_of(csv_text):
    m = re.search(r"^Valor a faturar;(.*)$", csv_text, re.M)
    return m.group(1).strip()


# --- the real browser ------------------------------------------------------

def browser(world, screenshots):
    chromium = shutil.which("chromium")
    driver_bin = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    if not chromium or not os.path.exists(driver_bin):
        print("SKIP: chromium ou chromium-driver não instalados (apt-get install chromium "
              "chromium-driver python3-selenium)")
        return SKIP
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By

    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for a in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
              "--lang=pt-BR", "--window-size=1280,1000"):
        options.add_argument(a)
    driver = webdriver.Chrome(service=Service(driver_bin), options=options)
    try:
        first, second = world.approved_chts()[:2]
        # Open a link, read the amount, accept.
        link = world.link(first)
        driver.get(link)
        assert driver.title == "Demonstrativo da CHT %s" % first, driver.title
        amount = driver.find_element(By.ID, "valor").text
        assert amount == amount_of(world.client_statement_csv(first)), amount
        assert "comiss" not in driver.page_source.lower(), "commission on the client's page"
        if screenshots:
            shoot(driver, screenshots)
        driver.find_element(By.ID, "nome-aceite").send_keys("Maria Souza")
        driver.find_element(By.ID, "aceitar").click()
        decision = decision_of(driver)
        assert "Aceita por Maria Souza (%s)" % EMAIL in decision, decision
        assert not driver.find_elements(By.ID, "aceitar"), "a decided link offers a second one"
        csv = world.client_statement_csv(first)
        assert re.search(r"Aceita por Maria Souza \(%s\) em \d\d/\d\d/\d{4}" % re.escape(EMAIL),
                         csv), csv

        # Another link contests its second day.
        link = world.link(second, "financeiro@cliente.com.br")
        day = world.days(second)[1]
        comment = "Neste dia a equipe não veio <b>ao escritório</b>."
        driver.get(link)
        driver.find_element(By.CSS_SELECTOR, "input[name=dia][value='%d']" % day).click()
        driver.find_element(By.ID, "comentario-%d" % day).send_keys(comment)
        driver.find_element(By.ID, "nome-contesta").send_keys("João Lima")
        driver.find_element(By.ID, "contestar").click()
        decision = decision_of(driver)
        assert "Contestada por João Lima" in decision and comment in decision, decision
        if screenshots:
            driver.set_window_size(1280, 1000)
            driver.save_screenshot(os.path.join(screenshots, "aceite-contestado.png"))

        # The clerk's list of exceptions, through the server.
        pend = world.rpc([("GetPendencias", [40000, 50000, "T", "T", "T", "T", "ADMIN", "T"])])[0]
        assert pend["result"]["ok"], pend
        packet = pend["result"]["data"]
        names = [f["name"] for f in packet["fields"]]
        rows = [dict(zip(names, r)) for r in packet["rows"]]
        contested = [r for r in rows if r["IDPENDENCIA"] == "C"]
        assert [(r["NRSEQUCHT"], r["DTSERVPREST"], r["DSCOMENTARIO"]) for r in contested] == \
            [(second, float(day), comment)], contested
        # The day's history shows it, by the client.
        hist = world.db("SELECT IDEVENTO, CDOPERADOR, DSMOTIVO FROM APH_HISTCSA WHERE "
                        "NRSEQUCHT = ? AND DTSERVPREST = ? AND IDEVENTO = 'C'", second, day)
        assert len(hist) == 1 and "João Lima (financeiro@cliente.com.br), de 127.0.0.1" in \
            hist[0][2], hist
        print("ok: aceite %s, contestação de %s/%d, GetPendencias com o comentário"
              % (first, second, day))
        return 0
    finally:
        driver.quit()


def decision_of(driver):
    """The decision the page shows; the page's text when it shows none."""
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
    # The answer to the form is a new page: wait for it.
    WebDriverWait(driver, 20).until(lambda d: d.find_elements(By.ID, "decisao") or
                                    d.find_elements(By.ID, "mensagem"))
    found = driver.find_elements(By.ID, "decisao")
    assert found, "no decision on the page: " + driver.find_element(By.TAG_NAME, "body").text
    return found[0].text


def shoot(driver, folder):
    """The page on a desktop's width and on a phone's, whole."""
    for name, width in (("aceite-desktop.png", 1280), ("aceite-celular.png", 390)):
        driver.set_window_size(width, 900)
        height = driver.execute_script("return document.documentElement.scrollHeight")
        driver.set_window_size(width, min(int(height) + 140, 6000))
        driver.save_screenshot(os.path.join(folder, name))
    driver.set_window_size(1280, 1000)


# --- the refusals ----------------------------------------------------------

def request(world, method, path, body=None, headers=None):
    c = http.client.HTTPConnection("127.0.0.1", world.web_port, timeout=20)
    h = {"Host": "127.0.0.1:%d" % world.web_port}
    if body is not None:
        h["Content-Type"] = "application/x-www-form-urlencoded"
        h["Origin"] = world.base
    h.update(headers or {})
    h = {k: v for k, v in h.items() if v is not None}
    c.request(method, path, body=body, headers=h)
    r = c.getresponse()
    page = r.read().decode("utf-8", "replace")
    c.close()
    return r.status, page, dict(r.getheaders())


def form_token(world, path):
    status, page, _ = request(world, "GET", path)
    m = re.search(r'name="form" value="([0-9a-f]+)"', page)
    return m.group(1) if m else ""


def written(world):
    """What a decision writes: decided links, contested days, their audit."""
    return world.db("SELECT (SELECT COUNT(*) FROM APH_ACEITE WHERE IDDECISAO IS NOT NULL), "
                    "(SELECT COUNT(*) FROM APH_ACEITEDIA), (SELECT COUNT(*) FROM APH_AUDITORIA "
                    "WHERE DSEVENTO LIKE 'Aceite da CHT%')")[0]


def refusals(world):
    chts = world.approved_chts()
    own, other, expired, revoked, decided = chts[:5]
    paths = {k: urllib.parse.urlsplit(world.link(c)).path
             for k, c in (("own", own), ("expired", expired), ("revoked", revoked),
                          ("decided", decided))}
    world.db("UPDATE APH_ACEITE SET DTEXPIRA = DTCRIACAO - 1 WHERE NRSEQUCHT = ?", expired)
    world.run("aceite", world.spec, revoked, "--revogar")
    # A decided link, taken through the page itself.
    token = form_token(world, paths["decided"])
    status, _, _ = request(world, "POST", paths["decided"], urllib.parse.urlencode(
        {"form": token, "decisao": "aceitar", "nome": "Ana Paula"}))
    assert status == 303, status

    ok_days = world.days(own)
    other_day = world.days(other)[0]
    assert other_day not in ok_days or world.days(other) != ok_days
    form = form_token(world, paths["own"])
    forged = "/aceite/" + secrets.token_hex(32)

    def post(fields):
        return urllib.parse.urlencode(fields, doseq=True)

    accept = {"form": form, "decisao": "aceitar", "nome": "Carlos Dias"}
    contest = lambda day, comment: {"form": form, "decisao": "contestar", "nome": "Carlos Dias",
                                    "dia": str(day), "comentario-%d" % day: comment}
    foreign_day = next(d for d in world.days(other) if d not in ok_days)
    long_comment = "x" * 301
    cases = [
        # name, method, path, body, headers, status, what the page says
        ("forged link", "GET", forged, None, {}, 404, "não leva a nenhum demonstrativo"),
        ("forged link posted", "POST", forged, post(accept), {}, 404, "não leva a nenhum"),
        ("a token of other digits", "GET", "/aceite/ABC", None, {}, 404, "não leva a nenhum"),
        ("expired link", "GET", paths["expired"], None, {}, 404, "não leva a nenhum"),
        ("revoked link", "GET", paths["revoked"], None, {}, 404, "não leva a nenhum"),
        ("revoked link's PDF", "GET", paths["revoked"] + "/demonstrativo.pdf", None, {}, 404,
         "não leva a nenhum"),
        ("reused link", "POST", paths["decided"], post({"form": token, "decisao": "aceitar",
                                                        "nome": "Outra Pessoa"}), {}, 400,
         "já tem uma decisão"),
        ("from another site", "POST", paths["own"], post(accept),
         {"Origin": "https://atacante.example"}, 400, "não veio desta página"),
        ("without Origin or Referer", "POST", paths["own"], post(accept), {"Origin": None}, 400,
         "não veio desta página"),
        ("form token of no page", "POST", paths["own"], post(dict(accept, form="0" * 32)), {},
         400, "não é o desta página"),
        ("form token missing", "POST", paths["own"], post({"decisao": "aceitar",
                                                           "nome": "Carlos Dias"}), {}, 400,
         "não é o desta página"),
        ("decision missing", "POST", paths["own"], post({"form": form, "nome": "Carlos"}), {},
         400, "incompleto"),
        ("name missing", "POST", paths["own"], post({"form": form, "decisao": "aceitar"}), {},
         400, "Informe o seu nome"),
        ("name too long", "POST", paths["own"], post(dict(accept, nome="N" * 61)), {}, 400,
         "Informe o seu nome"),
        ("no day contested", "POST", paths["own"], post({"form": form, "decisao": "contestar",
                                                         "nome": "Carlos Dias"}), {}, 400,
         "ao menos um dia"),
        ("comment too short", "POST", paths["own"], post(contest(ok_days[0], "curto")), {},
         400, "de 10 a 300"),
        ("comment too long", "POST", paths["own"], post(contest(ok_days[0], long_comment)), {},
         400, "de 10 a 300"),
        ("day of another CHT", "POST", paths["own"],
         post(contest(foreign_day, "um dia que não é desta CHT")), {}, 400, "não é desta CHT"),
        ("a day that is no number", "POST", paths["own"], post(dict(accept, decisao="contestar",
                                                                    dia="ontem")), {}, 400,
         "não é desta CHT"),
        ("form too big", "POST", paths["own"], post(dict(accept, extra="y" * 70000)), {}, 400,
         "grande demais"),
        ("not a form", "POST", paths["own"], json.dumps(accept),
         {"Content-Type": "application/json"}, 400, "formato"),
        ("another method", "PUT", paths["own"], post(accept), {}, 404, "não leva a nenhum"),
    ]
    before = written(world)
    failures = []
    for name, method, path, body, headers, status, says in cases:
        got, page, head = request(world, method, path, body, headers)
        csp = head.get("Content-Security-Policy", "")
        problems = []
        if got != status:
            problems.append("status %d, expected %d" % (got, status))
        if says not in page:
            problems.append("the page does not say %r" % says)
        if "frame-ancestors 'none'" not in csp or "script" in csp:
            problems.append("CSP %r" % csp)
        if status == 404 and ("CHT" in page or "R$" in page):
            problems.append("a 404 page shows data")
        if written(world) != before:
            problems.append("something was written")
        if problems:
            failures.append("%s: %s" % (name, "; ".join(problems)))
    # The same form twice: the first decides, the second is refused.
    first, _, _ = request(world, "POST", paths["own"], post(contest(ok_days[0],
                                                                    "primeiro envio válido")))
    again, page, _ = request(world, "POST", paths["own"], post(contest(ok_days[0],
                                                                       "primeiro envio válido")))
    if (first, again) != (303, 400) or "já tem uma decisão" not in page:
        failures.append("form posted twice: %d then %d" % (first, again))
    if written(world)[1] != before[1] + 1:
        failures.append("the form posted twice wrote %d days" % (written(world)[1] - before[1]))
    for f in failures:
        print("FAIL:", f)
    print("%d of %d refusals as expected" % (len(cases) - len(failures), len(cases)))
    return 1 if failures else 0


def main():
    mode, server_bin = sys.argv[1], sys.argv[2]
    screenshots = None
    if "--screenshots" in sys.argv:
        screenshots = sys.argv[sys.argv.index("--screenshots") + 1]
    world = World(server_bin)
    try:
        return browser(world, screenshots) if mode == "browser" else refusals(world)
    finally:
        world.close()


if __name__ == "__main__":
    sys.exit(main())
