#!/usr/bin/env python3
"""Tests of scripts/check-docs: how it cuts a note into sentences, reads CMake's
and the installer's texts, finds them in the user guide, and follows links."""

import pathlib
import runpy
import tempfile
import types
import unittest

HERE = pathlib.Path(__file__).resolve().parent
cd = types.SimpleNamespace(**runpy.run_path(str(HERE / "check-docs")))


class TextsTest(unittest.TestCase):
    def test_sentences(self):
        for note, expected in [
                ("Head\n  One two\n  three. four!\n    1. Step one\n       goes on.\n",
                 ["Head", "One two three.", "four!", "Step one goes on."]),
                ("Title @V@\n\n  (Aside.) Next?\n  list   a\n", ["(Aside.)", "Next?", "list a"]),
                ("  lines:\n     x = 1\n     y = 2\n", ["lines:", "x = 1 y = 2"])]:
            self.assertEqual(cd.sentences(note), expected, note)

    def test_sources(self):
        cmake = 'set(V "a \\"b\\" \\${P}\\\\x ${R}.")\nstring(APPEND V "c")\nset(W "d")'
        self.assertEqual(cd.cmake_texts(cmake, "V"), ['a "b" ${P}\\x \0.', "c"])
        nsis = ('LangString X ${LANG_ENGLISH} "$INSTDIR: @CPACK_NSIS_DISPLAY_NAME@ ($0).$\\r$\\nOk?"\n'
                'LangString X ${LANG_GERMAN} "Nein"')
        self.assertEqual(cd.installer_texts(nsis, "N"), ["<folder>: N (<code>).\nOk?"])

    def test_missing(self):
        guide = cd.flat("Put `php\\php.exe`\ninto [the folder](x.md). <!-- c -->Needs\nthe runtime (x86).")
        for text, lacking in [("Put php\\php.exe into the folder.", 0), ("Needs \0.", 0),
                              ("Put php.exe into the folder.", 1), ("Needs \0. Wants it.", 1)]:
            self.assertEqual(len(cd.missing([("n", text)], guide)[1]), lacking, text)

    def test_links(self):
        root = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory()))
        (root / "b.md").write_text("# A `b` head\n## A b head\n    [no](code.md)\n")
        (root / "a.md").write_text("[1](b.md#a-b-head-1) [2](b.md#nope) [3](c.md) `[4](d.md)`\n"
                                   "[5](https://x.y/) ![6](b.md) [7](#nope)\n")
        problems = cd.link_problems(root, [root / "a.md", root / "b.md"])
        self.assertEqual([p.split(": ", 1)[1] for p in problems],
                         ["b.md#nope: no such heading", "c.md: no such file", "#nope: no such heading"])


if __name__ == "__main__":
    unittest.main()
