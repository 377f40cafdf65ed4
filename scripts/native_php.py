"""Debian's PHP run as the packages run PHP for Windows, for the request guard's
benchmark and its browser test: a php folder with the php.ini and the guard that
package_checks writes, and PHP's built-in server started with that folder as
PHPRC, as the program starts it. Run with Debian's /usr/bin/python3, whose
pefile package_checks needs."""

import os
import pathlib
import shutil
import socket
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import package_checks as pc  # noqa: E402

PHP = "/usr/bin/php"


def php_folder(folder, guard=True, opcache=True):
    """Lays out folder as the packages' php\\ folder: the php.ini that the package
    writes where the PHP ZIP has none, its paths with / for \\, the guard beside it
    and ext/ with Debian's opcache. include_path keeps its ";", which on Linux
    does not split it: nothing here includes from pear."""
    folder = pathlib.Path(folder)
    (folder / "ext").mkdir(parents=True, exist_ok=True)
    ini = pc.php_ini(None, "Debian's PHP", guard, opcache).replace("\\", "/")
    (folder / "php.ini").write_bytes(ini.encode("latin-1"))
    if guard:
        shutil.copy2(pc.GUARD_SOURCE, folder / pc.GUARD)
    extensions = subprocess.run([PHP, "-n", "-r", "echo PHP_EXTENSION_DIR;"], check=True,
                                capture_output=True, text=True).stdout
    (folder / "ext/opcache.so").symlink_to(pathlib.Path(extensions, "opcache.so"))
    return folder


def serve(docroot, folder=None, env=None, options=()):
    """PHP's built-in server on a free port of 127.0.0.1 serving docroot with the
    php.ini of folder, or with none and the -d options given; returns the process
    and its port once it answers. Debian's conf.d is not read: the package's
    php.ini is all there is."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    environment = dict(os.environ, PHP_INI_SCAN_DIR="", **(env or {}))
    args = [PHP, "-S", f"127.0.0.1:{port}", "-t", str(docroot)]
    if folder is None:
        args[1:1] = ["-n", *options]
    else:
        environment["PHPRC"] = str(folder)
    server = subprocess.Popen(args, env=environment, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return server, port
        except OSError:
            time.sleep(0.1)
    server.kill()
    server.wait()
    raise RuntimeError(f"{PHP} -S 127.0.0.1:{port} does not answer")
