#!/usr/bin/python3
"""Requests per second that PHP's built-in server answers on a trivial page with
and without the request guard, without and with opcache: four servers of Debian's
PHP, each with the php.ini that the package writes for that case, loaded by wrk
in turn, round after round. Prints the medians, their spread and the guard's cost.
  GUARD_BENCH_SECONDS  length of one load (default 3)
  GUARD_BENCH_ROUNDS   rounds (default 5)"""

import os
import pathlib
import re
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "scripts"))
import native_php  # noqa: E402

SECONDS = int(os.environ.get("GUARD_BENCH_SECONDS", "3"))
ROUNDS = int(os.environ.get("GUARD_BENCH_ROUNDS", "5"))
# The server answers one request at a time; more connections keep it busy.
CONNECTIONS = 4
OPCACHE_ON = ("<?php echo (int) (function_exists('opcache_get_status')"
              " && opcache_get_status(false)['opcache_enabled']);")


def cpu_ns(pid):
    """CPU time of a process in ns; finer than utime and stime, which count ticks."""
    return int(pathlib.Path(f"/proc/{pid}/schedstat").read_text().split()[0])


def load(port, pid):
    """Requests per second of one load, and the server's CPU time a request in µs."""
    before = cpu_ns(pid)
    out = subprocess.run(["wrk", "-t1", f"-c{CONNECTIONS}", f"-d{SECONDS}s",
                          f"http://127.0.0.1:{port}/"], check=True, capture_output=True,
                         text=True).stdout
    cpu = cpu_ns(pid) - before
    requests = int(re.search(r"(\d+) requests in", out).group(1))
    return float(re.search(r"Requests/sec:\s*([\d.]+)", out).group(1)), cpu / requests / 1000


def measure(work):
    """{(guard, opcache): [(requests per second, CPU µs a request) of each round]}."""
    www = work / "www"
    www.mkdir()
    (www / "index.php").write_text("<?php echo 'bench page';\n")
    (www / "opcache.php").write_text(OPCACHE_ON)
    # Opcache does not keep a script changed within the last 2 s, nor one of time 0.
    for page in www.iterdir():
        os.utime(page, (time.time() - 3600,) * 2)
    servers = {}
    try:
        for opcache in (False, True):
            for guard in (False, True):
                folder = native_php.php_folder(work / f"php-{guard}-{opcache}", guard, opcache)
                servers[guard, opcache] = native_php.serve(www, folder)
                port = servers[guard, opcache][1]
                on = urllib.request.urlopen(f"http://127.0.0.1:{port}/opcache.php").read()
                if on != str(int(opcache)).encode():
                    sys.exit(f"request_guard_bench: opcache is not {'on' if opcache else 'off'} "
                             f"with the php.ini of {folder}")
        figures = {key: [] for key in servers}
        for _ in range(ROUNDS):
            for key, (server, port) in servers.items():
                figures[key].append(load(port, server.pid))
        return figures
    finally:
        for server, _ in servers.values():
            server.kill()
            server.wait()


def main():
    with tempfile.TemporaryDirectory() as work:
        figures = measure(pathlib.Path(work))
    print(f"requests per second on a trivial page, medians of {ROUNDS} rounds of {SECONDS} s "
          f"(min-max); wrk, {CONNECTIONS} connections")
    # The server's CPU time a request counts less of what other programs take
    # on a shared machine than the rates do.
    print(f"{'':16}{'no guard':>18}{'guard':>18}   the guard's cost a request (% of the rate): "
          "by the rates; by the server's CPU time a request")
    for opcache in (False, True):
        rates = [[rate for rate, _ in figures[guard, opcache]] for guard in (False, True)]
        plain, guarded = (statistics.median(r) for r in rates)
        cpu = [statistics.median(c for _, c in figures[guard, opcache]) for guard in (False, True)]
        cells = "".join(f"{statistics.median(r):>8.0f} ({min(r):.0f}-{max(r):.0f})" for r in rates)
        print(f"{'with opcache' if opcache else 'without opcache':16}{cells}   "
              f"{1e6 / guarded - 1e6 / plain:.1f} µs ({100 * (1 - guarded / plain):.1f} %); "
              f"{cpu[1] - cpu[0]:.1f} µs ({100 * (1 - cpu[0] / cpu[1]):.1f} %), "
              f"{cpu[0]:.0f} to {cpu[1]:.0f} µs")

if __name__ == "__main__":
    main()
