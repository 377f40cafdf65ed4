#!/usr/bin/python3
"""The request guard against headless Chromium: Debian's PHP with the php.ini and
the guard that scripts/package writes serves app/; one without either serves
other/ as another web site. Run with /usr/bin/python3, which has selenium."""

import pathlib
import sys
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "scripts"))
import native_php  # noqa: E402

FORBIDDEN = "403 Forbidden: this server answers only its own pages."
FLAGS = ["headless", "no-sandbox", "disable-gpu", "disable-quic", "no-first-run", "disable-sync",
         "disable-background-networking", "disable-component-update",
         "host-resolver-rules=MAP rebound.test 127.0.0.1, MAP evil.test 127.0.0.1"]


class BrowserTest(unittest.TestCase):
    def test_guard_in_chromium(self):
        work = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory()))
        (work / "state").write_text("0 from nobody")
        ports = []
        for docroot, folder in [("app", native_php.php_folder(work / "php")), ("other", None)]:
            server, port = native_php.serve(HERE / docroot, folder, {"STATE": str(work / "state")})
            self.addCleanup(server.wait)
            self.addCleanup(server.kill)
            ports.append(port)
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in FLAGS + [f"user-data-dir={work / 'profile'}"]:
            options.add_argument(f"--{flag}")
        browser = self.enterContext(webdriver.Chrome(service=Service("/usr/bin/chromedriver"),
                                                     options=options))

        app, rebound = (f"{name}:{ports[0]}" for name in ("127.0.0.1", "rebound.test"))
        send, posted = "document.getElementById('send').click()", f"2 from http://{app} cross-site"
        fetch = ("document.body.innerText = ''; fetch('/state.php').then(r => r.text())"
                 ".then(t => document.body.innerText = t)")
        # In this order: the rows after the second find the state that it left.
        cases = [  # Under no-referrer a form sends Origin null, and Sec-Fetch-Site same-origin.
            (f"http://{app}/state.php?policy=no-referrer&value=1", send,
             "state: 1 from null same-origin; opcache on", "1 from null same-origin"),
            (f"http://{app}/state.php?to=localhost&value=2", send, f"state: {posted}", posted),
            # DNS rebinding: the page, then its own fetch() of a PHP page (not its text).
            (f"http://{rebound}/state.php", None, FORBIDDEN, posted),
            (f"http://{rebound}/state.php", fetch, FORBIDDEN, posted),
            (f"http://evil.test:{ports[1]}/attack.html?http://{app}", None, FORBIDDEN, posted)]
        for url, script, text, after in cases:
            with self.subTest(url=url, script=script):
                browser.get(url)
                if script:
                    browser.execute_script(script)
                for _ in range(50):
                    if text in browser.find_element("tag name", "body").text:
                        break
                    time.sleep(0.2)
                self.assertIn(text, browser.find_element("tag name", "body").text)
                self.assertEqual((work / "state").read_text(), after)


if __name__ == "__main__":
    unittest.main()
