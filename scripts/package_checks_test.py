#!/usr/bin/env python3
"""Tests of the staging and the package checks of scripts/package_checks.py on
small ZIPs and folders. For winfiles (pefile), b"PE MACHINE DLL..." is a program."""

import contextlib
import http.client
import io
import pathlib
import subprocess
import sys
import tempfile
import types
import unittest
import zipfile

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.modules["winfiles"] = types.SimpleNamespace(program=lambda data: types.SimpleNamespace(
    machine=data.split()[1].decode(), imports=lambda: data.decode().split()[2:])
    if data.startswith(b"PE ") else None)
import package_checks as pc  # noqa: E402
import native_php  # noqa: E402


class PackageChecksTest(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory()))
        self.enterContext(contextlib.redirect_stdout(io.StringIO()))
        self.enterContext(contextlib.redirect_stderr(io.StringIO()))
        (self.dir / "empty").mkdir()
        self.write("www/index.php", b"<?php")

    def write(self, path, data):
        (self.dir / path).parent.mkdir(parents=True, exist_ok=True)
        (self.dir / path).write_bytes(data)
        return str(self.dir / path)

    def zip(self, files):
        with zipfile.ZipFile(self.dir / "a.zip", "w") as z:
            for path, data in files.items():
                z.writestr(path, data)
        return str(self.dir / "a.zip")

    def test_inputs_refused(self):
        php = {"php.exe": b"PE i386"}
        self.write('quoted/a"b.php', b"")
        self.write("linked/index.php", b"")
        (self.dir / "linked/private").symlink_to(self.dir / "empty")
        cases = [({"README.md": b""}, "www", "has no php.exe at its top level"),
                 ({"a/php.exe": b"PE i386", "b/x": b""}, "www", "has no php.exe"),
                 *[(dict(php, **{n: b""}), "www", "lead out of its folder")
                   for n in ("../x", "a\\x")],
                 ({"php.exe": b"MZ"}, "www", "is not a Windows program"),
                 ({"php.exe": b"PE x86-64"}, "www", "is an x86-64 program; the win32 package"),
                 (php, "empty", "is empty"),
                 (php, "quoted", r"""names \['www/public/a"b.php'\] hold control characters"""),
                 (dict(php, **{"ext/a\tb.dll": b""}), "www", "hold control characters"),
                 (php, "linked", "holds a symbolic link, .*private"),
                 (dict(php, **{"php.ini": b'include_path = "."'}), "www",
                  r'lacks extension_dir; give it the lines extension_dir = "\$\{PHPRC\}\\ext" and'),
                 (dict(php, **{"php.ini": b'extension_dir=ext\ninclude_path = ".;C:\\php\\pear"'}),
                  "www", r"sets include_path to \.;C:\\php\\pear, outside the package"),
                 (dict(php, **{"php.ini": b'extension_dir = "${PHPRC}" "\\..\\x"\ninclude_path=.'}),
                  "www", "sets extension_dir to"),
                 (dict(php, **{"PHP-CLI-SERVER.INI": b""}), "www", "holds php-cli-server.ini"),
                 (php, ".", "holds the build folder")]
        for files, www, message in cases:
            with self.subTest(files=files, www=www), self.assertRaisesRegex(pc.Refused, message):
                pc.stage(self.zip(files), str(self.dir / www), str(self.dir / "out"), "win32")

    def test_inputs_laid_out_and_the_runtime_the_zip_lacks_named(self):
        # The C runtime DLL it carries is not named, nor what a DLL in ext\ imports.
        files = {"p/php.exe": b"PE i386 KERNEL32.dll vcruntime140.dll msvcr120.dll",
                 "p/VCRUNTIME140.DLL": b"", "p/ext/x.dll": b"PE i386 msvcp140.dll"}
        runtime = pc.stage(self.zip(files), str(self.dir / "www"), str(self.dir / "out"), "win32")
        self.assertEqual(runtime, "the Microsoft Visual C++ Redistributable for Visual Studio 2013 "
                                  "(x86, msvcr120.dll)")
        self.assertEqual(set(pc.files_under(self.dir / "out")), {
            "php.exe", "VCRUNTIME140.DLL", "ext/x.dll", "www/public/index.php", "php.ini",
            "request-guard.php"})

    def test_php_ini_written_or_given_with_the_guard_first(self):
        bom = b"\xef\xbb\xbf"
        given = (bom + b'extension_dir = "${PHPRC}\\ext"\r\ninclude_path = ".;${PHPRC}\\pear"\r\n'
                 b'auto_prepend_file = "${PHPRC}\\app.php" ; its own\r\n')
        head = pc.GUARD_LINES + 'dravelo.auto_prepend_file = "${PHPRC}\\app.php" ; its own\n'
        guarded = bom + head.replace("\n", "\r\n").encode() + given[3:].replace(b"auto_", b";auto_")
        # Opcache is loaded by a php.ini that the package writes, where PHP has it.
        dll = {"ext/PHP_OpCache.DLL": b""}
        for ini, guard, more, want in [(None, True, {}, None), (None, False, dll, None),
                                       (given, True, dll, guarded), (given, False, {}, given)]:
            files = {"php.exe": b"PE i386", **more, **({"php.ini": ini} if ini else {})}
            out = self.dir / f"out-{ini is None}-{guard}"
            pc.stage(self.zip(files), str(self.dir / "www"), str(out), "win32", guard)
            written = (out / "php.ini").read_bytes()
            with self.subTest(ini=ini, guard=guard, more=more):
                if want is None:
                    lines = dict.fromkeys(pc.INI_LINES, True)
                    lines[pc.GUARD_LINES.splitlines()[-1]] = guard
                    lines["zend_extension = opcache"] = bool(more)
                    for line, present in lines.items():
                        self.assertEqual(f"\r\n{line}\r\n".encode() in written, present, line)
                else:
                    self.assertEqual(written, want)
                self.assertEqual((out / pc.GUARD).is_file(), guard)

    def test_request_guard_in_php_s_own_server(self):
        self.write("www/index.php", b"<?php echo 'page';")
        self.write("next.php", b"<?php echo 'next ';")
        options = ["-d", f"auto_prepend_file={pc.GUARD_SOURCE}", "-d",
                   f"{pc.NEXT_PREPEND}={self.dir / 'next.php'}"]
        server, port = native_php.serve(self.dir / "www", options=options)
        self.addCleanup(server.wait)
        self.addCleanup(server.kill)

        def ask(method, headers):
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
            connection.request(method, "/", headers=headers)
            response = connection.getresponse()
            return response.status, response.read()

        own = f"127.0.0.1:{port}"
        cases = [("GET", {"Host": own}, 200), ("GET", {"Host": f"LocalHost:{port}"}, 200),
                 ("GET", {"Host": f"rebound.test:{port}"}, 403),
                 ("GET", {"Host": "127.0.0.1"}, 403), ("GET", {"Host": f"[::1]:{port}"}, 403),
                 ("GET", {"Host": own, "Sec-Fetch-Site": "cross-site"}, 200),
                 ("POST", {"Host": own, "Origin": f"http://{own}"}, 200),
                 ("POST", {"Host": own, "Sec-Fetch-Site": "same-origin"}, 200),
                 ("POST", {"Host": own, "Sec-Fetch-Site": "cross-site"}, 403),
                 ("DELETE", {"Host": own, "Origin": f"http://{own}.rebound.test"}, 403),
                 ("PUT", {"Host": own, "Origin": "null"}, 403), ("POST", {"Host": own}, 200),
                 # An own Origin, whatever Sec-Fetch-Site: 127.0.0.1 and localhost are two sites.
                 ("POST", {"Host": own, "Origin": f"http://localhost:{port}",
                           "Sec-Fetch-Site": "cross-site"}, 200),
                 ("PROPFIND", {"Host": own, "Origin": f"http://rebound.test:{port}"}, 403),
                 ("POST", {"Host": own, "Sec-Fetch-Site": "same-origin-ish"}, 403),
                 # Origin null, which forms send under Referrer-Policy: no-referrer.
                 *[("POST", {"Host": own, "Origin": "null", "Sec-Fetch-Site": site}, status) for
                   site, status in [("same-origin", 200), ("none", 200), ("same-site", 403),
                                    ("cross-site", 403)]]]
        for method, headers, status in cases:
            with self.subTest(method=method, headers=headers):
                got, body = ask(method, headers)
                self.assertEqual(got, status)
                # The page, after the php.ini's own auto_prepend_file, only when let through.
                self.assertEqual(body == b"next page", status == 200, body)
        # Port 80, which a test cannot count on taking: from the command line, where
        # $_SERVER holds the environment. Browsers leave port 80 out of Host.
        for server_port, host, let in [("80", "LOCALHOST", True), ("80", "127.0.0.1:80", True),
                                       ("81", "localhost", False)]:
            with self.subTest(server_port=server_port, host=host):
                page = subprocess.run([native_php.PHP, "-n", *options,
                                       str(self.dir / "www/index.php")], capture_output=True,
                                      env={"SERVER_PORT": server_port, "HTTP_HOST": host}).stdout
                self.assertEqual(page == b"next page", let, page)

    def test_packages(self):
        files = {"Dravelo_WEB_MONITOR.exe": b"PE i386", "php/php.exe": b"PE i386",
                 "README.txt": b"\r\n".join(pc.README_TEXTS) + b"\r\n"}
        for name, data in files.items():
            self.write(f"nsis/pkg/{name}", data)
        script = (HERE.parent / "package/nsis/NSIS.template.in").read_text("utf-8").replace(
            "@CPACK_NSIS_INSTALL_ROOT@\\@CPACK_PACKAGE_INSTALL_DIRECTORY@",
            "$LOCALAPPDATA\\Programs\\Dravelo_WEB_MONITOR")
        self.write("bundle/php.exe", b"PE i386")
        args = [self.write("setup.exe", b"MZ NullsoftInst"), str(self.dir / "nsis"), "pkg", "win32",
                str(self.dir / "bundle"), "", self.write("a.exe", b"PE i386")]

        def verify(change, nsi=None):
            self.write("nsis/project.nsi", script.replace(*nsi or ("", "")).encode())
            zipped = {pc.TOP + n: d for n, d in dict(files, **change).items() if d is not None}
            return "\n".join(pc.verify(self.zip(zipped), *args))

        self.assertEqual(verify({}), "")
        cases = [({"php/x.txt": b""}, None, "the ZIP holds ['php/x.txt'] where it should not"),
                 ({"php/php.exe": b"PE i386 x"}, None, "php/php.exe differs from"),
                 ({"README.txt": files["README.txt"] + b"\n"}, None, "CR LF line ends"),
                 ({"README.txt": b"shell:startup\r\n"}, None, 'does not mention "Start in"'),
                 ({}, ("ExecutionLevel user", "ExecutionLevel admin"), "more than user rights"),
                 ({}, ("LEAVE CheckFolder", "LEAVE Other"), "does not refuse a folder"),
                 ({}, ("D:P(", "D:("), "a protected DACL"),
                 ({}, ("i 0x80000005", "i 0x5"), "a protected DACL"),
                 ({}, ('SetOutPath "$INSTDIR"\n  CreateShortCut', "CreateShortCut"),
                  'a shortcut does not start in "$INSTDIR"')]
        for change, nsi, problem in cases:
            with self.subTest(change=change, nsi=nsi):
                self.assertIn(problem, verify(change, nsi))


if __name__ == "__main__":
    unittest.main()
