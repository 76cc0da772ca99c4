#!/usr/bin/env python3
"""The layering check refuses includes that run in a circle, and only those."""

import pathlib
import subprocess
import sys
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "check-layers.py"


def check(files):
    with tempfile.TemporaryDirectory() as root:
        for name, text in files.items():
            path = pathlib.Path(root, "src", name)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)
        run = subprocess.run([sys.executable, str(SCRIPT), root], capture_output=True, text=True)
        return run.returncode, run.stdout


class Circles(unittest.TestCase):
    def test_a_circle_through_a_source_file_fails(self):
        code, out = check({
            "archive/walk.h": "",
            "archive/walk.cpp": '#include "archive/threads.h"\n',
            "archive/threads.h": "",
            "archive/threads.cpp": '#include "archive/walk.h"\n',
        })
        self.assertEqual(code, 1)
        self.assertIn("circle: archive/threads -> archive/walk -> archive/threads", out)

    def test_includes_one_way_and_a_header_of_its_own_pass(self):
        code, out = check({
            "archive/steps.h": "",
            "archive/steps.cpp": '#include "archive/steps.h"\n',
            "archive/walk.cpp": '#include "archive/steps.h"\n',
            "archive/threads.cpp": '#include "archive/steps.h"\n',
        })
        self.assertEqual(code, 0, out)


if __name__ == "__main__":
    unittest.main()
