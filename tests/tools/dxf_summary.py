"""Reads a DXF with ezdxf and prints what a CAD tool would see, as JSON.

Usage: dxf_summary.py FILE
Output: {"counts": {"LINE/SLICE": n, ...}, "texts": [...], "units": n, "lines": [[x1, y1, x2, y2], ...],
         "arcs": [[cx, cy, r, start, end], ...], "circles": [[cx, cy, r], ...]}
A file ezdxf refuses exits with status 2 and the reason on standard error.
"""
import json
import sys

import ezdxf

try:
    doc = ezdxf.readfile(sys.argv[1])
except (IOError, ezdxf.DXFStructureError) as error:
    print(error, file=sys.stderr)
    sys.exit(2)

counts = {}
texts = []
lines = []
arcs = []
circles = []
for e in doc.modelspace():
    key = "%s/%s" % (e.dxftype(), e.dxf.layer)
    counts[key] = counts.get(key, 0) + 1
    if e.dxftype() == "TEXT":
        texts.append(e.dxf.text)
    elif e.dxftype() == "LINE":
        lines.append([e.dxf.start.x, e.dxf.start.y, e.dxf.end.x, e.dxf.end.y])
    elif e.dxftype() == "ARC":
        arcs.append([e.dxf.center.x, e.dxf.center.y, e.dxf.radius, e.dxf.start_angle, e.dxf.end_angle])
    elif e.dxftype() == "CIRCLE":
        circles.append([e.dxf.center.x, e.dxf.center.y, e.dxf.radius])
print(json.dumps({"counts": counts, "texts": texts, "units": doc.header.get("$INSUNITS", 0), "lines": lines,
                  "arcs": arcs, "circles": circles}))
