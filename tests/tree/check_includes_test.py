#!/usr/bin/env python3
"""scripts/check_includes.py on small trees of its own: what counts as an
include pointing up, what does not, and a README without the order."""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "..", "..", "scripts", "check_includes.py")
ORDER = "    base \u2192 vendors \u2192 model \u2192 decode \u2192 net \u2192 capture \u2192 ui \u2192 app \u2192 tools\n"
README = "# Tree\n\nFolders include one way:\n\n" + ORDER + "\nMore text \u2192 not the order.\n"


def run(files, readme=README):
    with tempfile.TemporaryDirectory() as root:
        if readme is not None:
            with open(os.path.join(root, "README.md"), "w", encoding="utf-8") as f:
                f.write(readme)
        for path, text in files.items():
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w", encoding="utf-8") as f:
                f.write(text)
        done = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)
        return done.returncode, done.stdout


class CheckIncludesTest(unittest.TestCase):
    def test_includes(self):
        cases = [
            # (what, files, exit status, text expected in the output)
            ("own and lower folders, system headers",
             {"src/net/probe.cpp": '#include "net/probe.h"\n#include "base/address.h"\n'
                                   "#include <windows.h>\n#include \"model/row.h\"\n"},
             0, "every include points down"),
            ("a folder above",
             {"src/net/raw.cpp": '// raw frames\n#include "net/raw.h"\n#include "capture/dll.h"\n'},
             1, "src/net/raw.cpp:3: net includes capture/dll.h (capture is above net)"),
            ("the theme's logic on the window's layout",
             {"src/ui/theme_logic.h": '#pragma once\n#include "app/layout_logic.h"\n'},
             1, "src/ui/theme_logic.h:2: ui includes app/layout_logic.h"),
            ("spaces inside the directive",
             {"src/base/text.cpp": '  #  include  "vendors/table.h"\n'},
             1, "src/base/text.cpp:1: base includes vendors/table.h"),
            ("a relative path up and over",
             {"src/model/row.cpp": '#include "../decode/frame.h"\n'},
             1, "model includes ../decode/frame.h (decode is above model)"),
            ("a relative path down",
             {"src/app/window.cpp": '#include "../ui/theme.h"\n#include "../base/text.h"\n'},
             0, "every include points down"),
            ("a bare name is the file's own folder",
             {"src/decode/sadp.cpp": '#include "sadp.h"\n'},
             0, "every include points down"),
            ("a quoted header of no folder of ours",
             {"src/net/a.cpp": '#include "gtest/gtest.h"\n'},
             0, "every include points down"),
            ("the tools include everything",
             {"tools/norvane-decode/main.cpp": '#include "app/list_export.h"\n#include "json.h"\n',
              "tools/windows/showcase.cpp": '#include "app/window_win.h"\n'},
             0, "every include points down"),
            ("the core includes no tool",
             {"src/app/export.cpp": '#include "../../tools/norvane-decode/json.h"\n'},
             1, "app includes ../../tools/norvane-decode/json.h (tools is above app)"),
            ("every upward include is listed",
             {"src/base/a.cpp": '#include "app/x.h"\n', "src/net/b.cpp": '#include "ui/y.h"\n'},
             1, "2 upward include(s)"),
            ("the raw sender on the capture library",
             {"src/net/raw_sender_win.cpp": '#include "capture/capture_dll_win.h"\n'},
             1, "src/net/raw_sender_win.cpp:1: net includes capture/capture_dll_win.h"),
        ]
        for what, files, status, text in cases:
            with self.subTest(what):
                code, output = run(files)
                self.assertEqual(code, status, output)
                self.assertIn(text, output)

    def test_the_order_comes_from_the_readme(self):
        # Another order in the README is another rule.
        files = {"src/ui/theme.h": '#include "app/layout.h"\n'}
        code, output = run(files, README.replace(ORDER, "    base \u2192 app \u2192 ui\n"))
        self.assertEqual(code, 0, output)
        code, output = run({"src/app/w.cpp": '#include "ui/t.h"\n'},
                           README.replace(ORDER, "    base \u2192 app \u2192 ui\n"))
        self.assertEqual(code, 1, output)
        for readme in (None, "# Tree\n\nNo order here.\n"):
            code, output = run(files, readme)
            self.assertEqual(code, 2, output)
            self.assertIn("no folder order", output)


if __name__ == "__main__":
    unittest.main()
