"""Parses an SVG with Python's own XML reader and prints what it holds, as JSON.

Usage: svg_summary.py FILE
Output: {"root": tag, "viewBox": "...", "counts": {"line/#f7e45b": n, ...},
         "elements": [{"tag": ..., "attrib": {...}, "text": ...}, ...]}
The colour in a count key is the stroke, or the fill when the stroke is "none".
A file that is not well-formed XML exits with status 2 and the reason on standard error.
"""
import json
import sys
import xml.etree.ElementTree as ET

NS = "{http://www.w3.org/2000/svg}"

try:
    root = ET.parse(sys.argv[1]).getroot()
except (OSError, ET.ParseError) as error:
    print(error, file=sys.stderr)
    sys.exit(2)

counts = {}
elements = []
for child in root:
    tag = child.tag[len(NS):] if child.tag.startswith(NS) else child.tag
    stroke = child.get("stroke", "none")
    colour = stroke if stroke != "none" else child.get("fill", "none")
    key = "%s/%s" % (tag, colour)
    counts[key] = counts.get(key, 0) + 1
    elements.append({"tag": tag, "attrib": dict(child.attrib), "text": child.text or ""})
print(json.dumps({"root": root.tag, "viewBox": root.get("viewBox"), "counts": counts, "elements": elements}))
