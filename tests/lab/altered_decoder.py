#!/usr/bin/env python3
"""norvane-decode with one deliberate fault, to show that compare.py notices:
runs the real tool (path in NORVANE_DECODE) and appends "x" to the info text
of every LLDP and CDP line.

    NORVANE_DECODE=/path/norvane-decode altered_decoder.py CAPTURE
"""
import json
import os
import subprocess
import sys

real = os.environ.get("NORVANE_DECODE", "")
if not os.access(real, os.X_OK):
    sys.stderr.write(f"norvane-decode is not built yet ({real or 'NORVANE_DECODE unset'})\n")
    sys.exit(77)  # compare.py then skips
result = subprocess.run([real] + sys.argv[1:], capture_output=True)
for line in result.stdout.decode("utf-8").splitlines():
    obj = json.loads(line)
    if obj.get("protocol") in ("LLDP", "CDP"):
        obj["info"] += "x"
    print(json.dumps(obj))
sys.stderr.write(result.stderr.decode("utf-8", "replace"))
sys.exit(result.returncode)
