#!/usr/bin/env python3
"""Tests of the staging and the package checks of scripts/package_checks.py on
small ZIPs and folders. For winfiles (pefile), b"PE MACHINE DLL..." is a program."""

import contextlib
import io
import pathlib
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
            "php.exe", "VCRUNTIME140.DLL", "ext/x.dll", "www/public/index.php"})

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
                 ({}, ('SetOutPath "$INSTDIR"\n  CreateShortCut', "CreateShortCut"),
                  'a shortcut does not start in "$INSTDIR"')]
        for change, nsi, problem in cases:
            with self.subTest(change=change, nsi=nsi):
                self.assertIn(problem, verify(change, nsi))


if __name__ == "__main__":
    unittest.main()
