"""Drives halvoran-cli end to end on generated meshes and reads the DXF back."""
import json
import math
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET
import zipfile

import ezdxf
from vtkmodules.vtkFiltersCore import vtkFeatureEdges
from vtkmodules.vtkIOGeometry import vtkOBJReader, vtkSTLReader
from vtkmodules.vtkIOPLY import vtkPLYReader

CLI = sys.argv.pop(1)


def write_cylinder(path, radius=10.0, height=40.0, segments=96, open_top=False):
    pts = [(radius * math.cos(2 * math.pi * i / segments), radius * math.sin(2 * math.pi * i / segments))
           for i in range(segments)]
    tris = []
    for i in range(segments):
        a, b = pts[i], pts[(i + 1) % segments]
        tris.append(((a[0], a[1], 0), (b[0], b[1], 0), (b[0], b[1], height)))
        tris.append(((a[0], a[1], 0), (b[0], b[1], height), (a[0], a[1], height)))
        tris.append(((0, 0, 0), (b[0], b[1], 0), (a[0], a[1], 0)))
        if not open_top:
            tris.append(((0, 0, height), (a[0], a[1], height), (b[0], b[1], height)))
    with open(path, "w") as f:
        f.write("solid cyl\n")
        for t in tris:
            f.write(" facet normal 0 0 0\n  outer loop\n")
            for v in t:
                f.write("   vertex %.6f %.6f %.6f\n" % v)
            f.write("  endloop\n endfacet\n")
        f.write("endsolid cyl\n")
    return 2 * segments * radius * math.sin(math.pi / segments)


def write_walls(path, loops, height=10.0):
    """The side walls of a prism whose cross-section is the given closed loops."""
    with open(path, "w") as f:
        f.write("solid walls\n")
        for loop in loops:
            for (ax, ay), (bx, by) in zip(loop, loop[1:] + loop[:1]):
                for t in (((ax, ay, 0), (bx, by, 0), (bx, by, height)), ((ax, ay, 0), (bx, by, height), (ax, ay, height))):
                    f.write(" facet normal 0 0 0\n  outer loop\n")
                    for v in t:
                        f.write("   vertex %.6f %.6f %.6f\n" % v)
                    f.write("  endloop\n endfacet\n")
        f.write("endsolid walls\n")


def ring(cx, cy, r, segments, start=0.0, sweep=2 * math.pi, closed=True):
    n = segments if closed else segments + 1
    return [(cx + r * math.cos(start + sweep * i / segments), cy + r * math.sin(start + sweep * i / segments))
            for i in range(n)]


UNITS_HEADER = "0\nSECTION\n2\nHEADER\n9\n$INSUNITS\n70\n4\n0\nENDSEC\n"


def run(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=300)


def read_mesh(path):
    """Triangle count, (min, max) bounds and open-or-non-manifold edge count, read
    with VTK (STL, PLY, OBJ) or straight from the 3MF package's XML."""
    if path.endswith(".3mf"):
        ns = {"m": "http://schemas.microsoft.com/3dmanufacturing/core/2015/02"}
        with zipfile.ZipFile(path) as z:
            root = ET.fromstring(z.read("3D/3dmodel.model"))
        pts = [tuple(float(v.get(k)) for k in "xyz") for v in root.iter("{%s}vertex" % ns["m"])]
        tris = list(root.iter("{%s}triangle" % ns["m"]))
        return len(tris), (tuple(map(min, zip(*pts))), tuple(map(max, zip(*pts)))), None
    reader = {"stl": vtkSTLReader, "ply": vtkPLYReader, "obj": vtkOBJReader}[path.rsplit(".", 1)[1]]()
    reader.SetFileName(path)
    if path.endswith(".stl"):
        reader.MergingOn()
    edges = vtkFeatureEdges()
    edges.SetInputConnection(reader.GetOutputPort())
    edges.FeatureEdgesOff()
    edges.ManifoldEdgesOff()
    edges.Update()
    b = reader.GetOutput().GetBounds()
    return reader.GetOutput().GetNumberOfPolys(), ((b[0], b[2], b[4]), (b[1], b[3], b[5])), \
        edges.GetOutput().GetNumberOfLines()


class Cli(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        self.scan = os.path.join(self.dir, "cyl inder.stl")
        self.perimeter = write_cylinder(self.scan)

    def tearDown(self):
        self.tmp.cleanup()

    def test_info_json_has_the_documented_keys(self):
        r = run("info", self.scan, "--json")
        self.assertEqual(r.returncode, 0, r.stderr)
        info = json.loads(r.stdout)
        self.assertEqual(set(info), {"file", "format", "vertices", "triangles", "renderVertices", "renderTriangles",
                                     "loadedBoundsMin", "loadedBoundsMax", "boundsMin", "boundsMax", "extents",
                                     "alignment", "alignmentMessage", "primitive"})
        self.assertEqual(info["format"], "stl")
        self.assertEqual(info["alignment"], "obb")
        self.assertAlmostEqual(info["extents"][0], 40.0, places=2)
        self.assertAlmostEqual(info["loadedBoundsMax"][2], 40.0, places=4)
        # A capped CAD cylinder, rims and cap centres only: still a cylinder of its own radius.
        fit = info["primitive"]
        self.assertEqual(fit["type"], "cylinder")
        self.assertAlmostEqual(fit["radius"], 10.0, delta=0.05)
        self.assertAlmostEqual(abs(fit["axis"][0]), 1.0, places=4)
        self.assertLess(fit["residual"], 0.05)
        text = run("info", self.scan).stdout
        self.assertIn("Primitive:   Best fit: CYLINDER (residual %.4f mm)\n             Radius: %.2f mm\n"
                      % (fit["residual"], fit["radius"]), text)

    def test_cross_section_lines_add_up_to_the_circumference(self):
        out = os.path.join(self.dir, "sec.dxf")
        r = run("section", self.scan, "-o", out, "--axis", "x", "--smooth", "0")
        self.assertEqual(r.returncode, 0, r.stderr)
        doc = ezdxf.readfile(out)
        lines = list(doc.modelspace().query("LINE"))
        self.assertGreater(len(lines), 10)
        self.assertIn("%d vectors" % len(lines), r.stdout)
        total = sum(math.dist(l.dxf.start, l.dxf.end) for l in lines)
        self.assertAlmostEqual(total, self.perimeter, delta=self.perimeter * 0.002)

    def test_plane_outside_the_part_writes_an_empty_section(self):
        out = os.path.join(self.dir, "empty.dxf")
        r = run("section", self.scan, "-o", out, "--at", "500")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("0 vectors", r.stdout)
        with open(out) as f:
            self.assertEqual(f.read(), "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n")

    def test_polylines_give_one_closed_lwpolyline_in_millimetres(self):
        out = os.path.join(self.dir, "poly.dxf")
        r = run("section", self.scan, "-o", out, "--axis", "x", "--polylines", "--smooth", "0")
        self.assertEqual(r.returncode, 0, r.stderr)
        doc = ezdxf.readfile(out)
        self.assertEqual(doc.header.get("$INSUNITS"), 4)
        polys = list(doc.modelspace().query("LWPOLYLINE"))
        self.assertEqual(len(polys), 1)
        self.assertTrue(polys[0].closed)
        pts = [p[:2] for p in polys[0].get_points()]
        length = sum(math.dist(pts[i], pts[(i + 1) % len(pts)]) for i in range(len(pts)))
        self.assertAlmostEqual(length, self.perimeter, delta=self.perimeter * 0.002)

    def test_missing_file_fails_without_writing(self):
        out = os.path.join(self.dir, "none.dxf")
        r = run("section", os.path.join(self.dir, "nope.stl"), "-o", out)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("File not found: ", r.stderr)
        self.assertFalse(os.path.exists(out))

    def test_step_that_crashes_the_reader_gives_the_message(self):
        # A damaged entity list (references to entities that are not there)
        # on which OpenCASCADE's reader dies with a segmentation fault.
        path = os.path.join(self.dir, "damaged.step")
        with open(path, "w") as f:
            f.write("ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n"
                    "#3 = SHAPE_DEFINITION_REPRESENTATION(#4,#10);\n#4 = PRODUCT_DEFINITION_SHAPE('','',#5);\n"
                    "#5 = PRODUCT_DEFINITION('design','',#6,#9);\n"
                    "#10 = ADVANCED_BREP_SHAPE_REPRESENTATION('',(#11,#15),#345);\n"
                    "#15 = MANIFOLD_SOLID_BREP('',#16);\n#16 = CLOSED_SHELL('',(#17,#137,#237,#284,#331,#338));\n"
                    "#17 = ADVANCED_FACE('',(#18),#32,.F.);\n#33 = AXIS2_PLACEMENT_3D('',#34,#35,#36);\n")
        r = run("info", path)
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn("Failed to read STEP file.", r.stderr)

    def test_interrupt_during_reconstruction_kills_the_program(self):
        # Points over the faces of a box: far more work than the load's time
        # limit, so the program is still running when the signal comes.
        path = os.path.join(self.dir, "cloud.asc")
        rows = []
        for i in range(200000):
            u, v = (i * 0.618034) % 1.0, (i * 0.754878) % 1.0
            face = i % 6
            x, y = 40 * u - 20, 20 * v - 10
            rows.append("%.4f %.4f %.4f" % ((x, y, 5 if face % 2 else -5) if face < 2 else
                                            (x, 10 if face % 2 else -10, 10 * v - 5) if face < 4 else
                                            (20 if face % 2 else -20, y, 10 * u - 5)))
        with open(path, "w") as f:
            f.write("\n".join(rows) + "\n")
        cli = subprocess.Popen([CLI, "info", path], stderr=subprocess.PIPE, text=True)
        child = ""
        for _ in range(1000):
            child = subprocess.run(["pgrep", "-P", str(cli.pid)], capture_output=True, text=True).stdout.strip()
            if child or cli.poll() is not None:
                break
            time.sleep(0.01)
        self.assertTrue(child, "the reconstruction program never started")
        cli.send_signal(signal.SIGTERM)
        _, err = cli.communicate(timeout=60)
        self.assertEqual(cli.returncode, 1, err)
        self.assertIn("Load canceled.", err)
        self.assertFalse(os.path.exists("/proc/" + child), "the program outlived the interrupt")

    def test_unwritable_output_fails_cleanly(self):
        out = os.path.join(self.dir, "no-such-dir", "x.dxf")
        r = run("section", self.scan, "-o", out)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("Failed to write DXF file", r.stderr)

    def test_stack_cuts_evenly_spaced_layers_along_the_axis(self):
        out = os.path.join(self.dir, "stack.dxf")
        r = run("stack", self.scan, "-o", out, "--count", "3", "--axis", "z", "--no-align")
        self.assertEqual(r.returncode, 0, r.stderr)
        doc = ezdxf.readfile(out)
        by_layer = {}
        for e in doc.modelspace():
            self.assertEqual(e.dxftype(), "LINE")
            by_layer.setdefault(e.dxf.layer, []).append(e)
        self.assertEqual(sorted(by_layer), ["SLICE_1", "SLICE_2", "SLICE_3"])
        total = 0
        for layer, lines in by_layer.items():
            # Raw cuts of the 40 mm cylinder at z = 10, 20, 30: the full polygon every time.
            length = sum(math.dist(l.dxf.start, l.dxf.end) for l in lines)
            self.assertAlmostEqual(length, self.perimeter, delta=self.perimeter * 1e-4, msg=layer)
            for l in lines:
                self.assertEqual(l.dxf.start.z, 0)
            total += len(lines)
        self.assertIn("3 slices, %d vectors" % total, r.stdout)

    def test_stack_along_x_maps_to_y_z_and_ignores_clean_up_options(self):
        plain = os.path.join(self.dir, "plain.dxf")
        tuned = os.path.join(self.dir, "tuned.dxf")
        r = run("stack", self.scan, "-o", plain, "--count", "4", "--axis", "x", "--no-align")
        self.assertEqual(r.returncode, 0, r.stderr)
        r = run("stack", self.scan, "-o", tuned, "--count", "4", "--axis", "x", "--no-align",
                "--keep", "50", "--smooth", "90", "--quality", "fast")
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(plain, "rb") as a, open(tuned, "rb") as b:
            self.assertEqual(a.read(), b.read())
        doc = ezdxf.readfile(plain)
        heights = [p for l in doc.modelspace().query("LINE") for p in (l.dxf.start.y, l.dxf.end.y)]
        self.assertAlmostEqual(min(heights), 0.0, places=4)
        self.assertAlmostEqual(max(heights), 40.0, places=4)

    def test_stack_failures_leave_no_file(self):
        out = os.path.join(self.dir, "none.dxf")
        r = run("stack", os.path.join(self.dir, "nope.stl"), "-o", out, "--count", "3")
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("File not found: ", r.stderr)
        self.assertFalse(os.path.exists(out))
        r = run("stack", self.scan, "-o", os.path.join(self.dir, "no-such-dir", "x.dxf"), "--count", "3")
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("Failed to write DXF file", r.stderr)

    def test_fit_gives_a_plate_its_lines_and_holes_in_millimetres(self):
        scan = os.path.join(self.dir, "plate.stl")
        write_walls(scan, [[(0, 0), (100, 0), (100, 60), (0, 60)], ring(25, 30, 5, 64), ring(75, 30, 8, 80)])
        cut = ["--no-align", "--at", "5"]
        plain, fitted = os.path.join(self.dir, "plain.dxf"), os.path.join(self.dir, "fitted.dxf")
        self.assertEqual(run("section", scan, "-o", plain, *cut).returncode, 0)
        r = run("section", scan, "-o", fitted, *cut, "--fit", "0.05")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Fitted 4 lines, 0 arcs, 2 circles (max deviation 0.0", r.stdout)
        doc = ezdxf.readfile(fitted)
        self.assertEqual(doc.header["$INSUNITS"], 4)
        fit = doc.modelspace().query('*[layer=="FIT"]')
        self.assertEqual(sorted(e.dxftype() for e in fit), ["CIRCLE", "CIRCLE", "LINE", "LINE", "LINE", "LINE"])
        holes = sorted((round(c.dxf.radius, 2), round(c.dxf.center.x, 3), round(c.dxf.center.y, 3))
                       for c in fit.query("CIRCLE"))
        self.assertEqual(holes, [(5.0, 25.0, 30.0), (8.0, 75.0, 30.0)])
        corners = {(round(p[0], 6), round(p[1], 6)) for l in fit.query("LINE") for p in (l.dxf.start, l.dxf.end)}
        self.assertEqual(corners, {(0, 0), (100, 0), (100, 60), (0, 60)})
        # Everything else is the plain section, after the header.
        with open(plain) as a, open(fitted) as b:
            body, text = a.read(), b.read()
        self.assertTrue(text.startswith(UNITS_HEADER + body[:-len("0\nENDSEC\n0\nEOF\n")]))

    def test_fitted_arcs_read_back_counterclockwise_in_degrees(self):
        scan = os.path.join(self.dir, "slot.stl")
        right = ring(40, 0, 10, 48, -math.pi / 2, math.pi, closed=False)
        left = ring(0, 0, 10, 48, math.pi / 2, math.pi, closed=False)
        write_walls(scan, [right + left])
        out = os.path.join(self.dir, "slot.dxf")
        r = run("section", scan, "-o", out, "--no-align", "--at", "5", "--fit", "0.05")
        self.assertEqual(r.returncode, 0, r.stderr)
        fit = ezdxf.readfile(out).modelspace().query('*[layer=="FIT"]')
        self.assertEqual(sorted(e.dxftype() for e in fit), ["ARC", "ARC", "LINE", "LINE"])
        ends = [p for l in fit.query("LINE") for p in (l.dxf.start, l.dxf.end)]
        for arc in fit.query("ARC"):
            c, rad = arc.dxf.center, arc.dxf.radius
            a0, a1 = arc.dxf.start_angle, arc.dxf.end_angle
            self.assertAlmostEqual((a1 - a0) % 360, 180, delta=0.5)
            # Counter-clockwise from start to end: the middle lies outside the slot.
            mid = math.radians(a0 + ((a1 - a0) % 360) / 2)
            self.assertGreater(abs(c.x + rad * math.cos(mid) - 20), 25)
            for a in (a0, a1):
                p = (c.x + rad * math.cos(math.radians(a)), c.y + rad * math.sin(math.radians(a)))
                self.assertLess(min(math.dist(p, (e.x, e.y)) for e in ends), 1e-6)

    def test_convert_writes_every_format_as_loaded_and_aligned(self):
        info = json.loads(run("info", self.scan, "--json").stdout)
        for align, lo, hi in ((True, "boundsMin", "boundsMax"), (False, "loadedBoundsMin", "loadedBoundsMax")):
            for suffix in ("stl", "ply", "obj", "3mf"):
                out = os.path.join(self.dir, "out.%s" % suffix)
                r = run("convert", self.scan, "-o", out, *([] if align else ["--no-align"]))
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertIn("%d triangles written to %s" % (info["triangles"], out), r.stdout)
                triangles, bounds, _ = read_mesh(out)
                self.assertEqual(triangles, info["triangles"], out)
                for k in range(3):
                    self.assertAlmostEqual(bounds[0][k], info[lo][k], places=4, msg=(out, align))
                    self.assertAlmostEqual(bounds[1][k], info[hi][k], places=4, msg=(out, align))

    def test_repair_closes_an_open_part_in_its_own_coordinates(self):
        scan = os.path.join(self.dir, "open.stl")
        write_cylinder(scan, open_top=True)
        out = os.path.join(self.dir, "repaired.ply")
        # Without the smoothing, which rounds this coarse part's rims by millimetres.
        r = run("repair", scan, "-o", out, "--no-smooth")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("watertight: yes (0 boundary edges, 0 non-manifold edges", r.stdout)
        self.assertIn("step 6/7 holes: 1 holes: 1 filled with faired patches", r.stderr)
        triangles, bounds, open_edges = read_mesh(out)
        self.assertEqual(open_edges, 0)
        self.assertIn("%d triangles written" % triangles, r.stdout)
        # Not moved: the part keeps its place in the file's frame.
        for k, (lo, hi) in enumerate(((-10, 10), (-10, 10), (0, 40))):
            self.assertAlmostEqual(bounds[0][k], lo, places=4)
            self.assertAlmostEqual(bounds[1][k], hi, places=4)

    def test_repair_and_convert_failures_write_nothing(self):
        for args, message in ((("convert", self.scan, "-o", os.path.join(self.dir, "x.xyz")), "Unsupported output format"),
                              (("repair", os.path.join(self.dir, "nope.stl"), "-o", os.path.join(self.dir, "x.stl")),
                               "File not found: "),
                              (("convert", self.scan, "-o", os.path.join(self.dir, "no-such-dir", "x.stl")),
                               "Failed to write STL file")):
            r = run(*args)
            self.assertEqual(r.returncode, 1, args)
            self.assertIn(message, r.stderr)
        self.assertEqual(sorted(os.listdir(self.dir)), ["cyl inder.stl"])

    def test_wireframe_features_are_the_rims_and_lattice_lines_lie_on_the_part(self):
        feat, kept, lat = (os.path.join(self.dir, n) for n in ("f.dxf", "k.dxf", "l.dxf"))
        self.assertEqual(run("wireframe", self.scan, "-o", feat).returncode, 0)
        lines = ezdxf.readfile(feat).modelspace().query("LINE")
        self.assertEqual({e.dxf.layer for e in lines}, {"WIRE_FEATURE"})
        # Aligned, the cylinder runs along X from -20 to 20: the rims are circles of radius 10 there.
        for e in lines:
            for p in (e.dxf.start, e.dxf.end):
                self.assertAlmostEqual(abs(p.x), 20.0, delta=0.01)
                self.assertAlmostEqual(math.hypot(p.y, p.z), 10.0, delta=0.05)
        total = sum(math.dist(e.dxf.start, e.dxf.end) for e in lines)
        self.assertAlmostEqual(total, 2 * 2 * math.pi * 10, delta=0.03 * 4 * math.pi * 10)
        r = run("wireframe", self.scan, "-o", kept, "--keep", "3", "--cleanup", "balanced", "--angle", "45")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("3 long-feature lines written to", r.stdout)
        self.assertEqual(len(ezdxf.readfile(kept).modelspace().query("LINE")), 3)
        r = run("wireframe", self.scan, "-o", lat, "--mode", "lattice", "--complexity", "100")
        self.assertEqual(r.returncode, 0, r.stderr)
        lines = ezdxf.readfile(lat).modelspace().query("LINE")
        self.assertEqual({e.dxf.layer for e in lines}, {"WIRE_LATTICE"})
        self.assertIn("%d lattice lines written to" % len(lines), r.stdout)
        # Cuts lie on the part; the rims' straightened crease lines stand off by under a bin of 0.84 mm.
        for e in lines:
            for p in (e.dxf.start, e.dxf.end):
                self.assertLessEqual(abs(p.x), 20.01)
                self.assertLessEqual(math.hypot(p.y, p.z), 10.5)
        r = run("wireframe", os.path.join(self.dir, "nope.stl"), "-o", lat)
        self.assertEqual(r.returncode, 1)
        self.assertIn("File not found: ", r.stderr)

    def test_drawing_outlines_the_cylinder_in_dxf_and_svg(self):
        # Aligned, the axis lies along X: from the top a 40 x 20 rectangle.
        dxf = os.path.join(self.dir, "side.dxf")
        r = run("drawing", self.scan, "-o", dxf, "--hidden")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertRegex(r.stdout, r"^\d+ edges written to .*side\.dxf \(silhouette \d+, feature \d+, contour \d+, "
                                   r"hidden \d+\)\n$")
        doc = ezdxf.readfile(dxf)
        self.assertEqual(doc.layers.get("HIDDEN").dxf.linetype, "DASHED")
        self.assertEqual(doc.layers.get("SILHOUETTE").dxf.linetype, "CONTINUOUS")
        self.assertEqual([t.value for t in doc.linetypes.get("DASHED").pattern_tags.tags if t.code == 49], [4.0, -3.0])
        outline = sum(math.dist(e.dxf.start, e.dxf.end) for e in doc.modelspace().query("LINE[layer=='SILHOUETTE']"))
        self.assertAlmostEqual(outline, 2 * (40 + 20), delta=0.02 * 120)
        # In the file's own pose the top view is the circle, in SVG.
        svg = os.path.join(self.dir, "top.svg")
        r = run("drawing", self.scan, "-o", svg, "--no-align", "--view", "top", "--detail", "20", "--min-size", "10")
        self.assertEqual(r.returncode, 0, r.stderr)
        root = ET.parse(svg).getroot()
        ns = "{http://www.w3.org/2000/svg}"
        self.assertIn("stroke-dasharray: 4 3", root.find(ns + "style").text)
        groups = {g.get("id"): g for g in root.iter(ns + "g")}
        self.assertEqual(groups["hidden"].get("class"), "hidden")
        circle = sum(math.hypot(float(l.get("x2")) - float(l.get("x1")), float(l.get("y2")) - float(l.get("y1")))
                     for l in groups["silhouette"].iter(ns + "line"))
        self.assertAlmostEqual(circle, self.perimeter, delta=0.02 * self.perimeter)
        for args, message in ((("drawing", self.scan, "-o", os.path.join(self.dir, "x.png")), "Unsupported output format"),
                              (("drawing", os.path.join(self.dir, "nope.stl"), "-o", os.path.join(self.dir, "x.svg")),
                               "File not found: ")):
            r = run(*args)
            self.assertEqual(r.returncode, 1, args)
            self.assertIn(message, r.stderr)
        self.assertEqual(sorted(os.listdir(self.dir)), ["cyl inder.stl", "side.dxf", "top.svg"])

    def test_bad_options_print_usage(self):
        for args in (["section", self.scan], ["section", self.scan, "-o", "x.dxf", "--axis", "w"], ["frobnicate"],
                     ["section", self.scan, "-o", "x.dxf", "--at", "1", "--at-fraction", "0.5"],
                     ["section", self.scan, "-o", "x.dxf", "--count", "3"],
                     ["stack", self.scan, "-o", "x.dxf"], ["stack", self.scan, "-o", "x.dxf", "--count", "1"],
                     ["stack", self.scan, "-o", "x.dxf", "--count", "2.5"],
                     ["stack", self.scan, "-o", "x.dxf", "--count", "201"],
                     ["stack", self.scan, "-o", "x.dxf", "--count", "3", "--at", "5"],
                     ["stack", self.scan, "-o", "x.dxf", "--count", "3", "--polylines"],
                     ["section", self.scan, "-o", "x.dxf", "--fit", "0"],
                     ["section", self.scan, "-o", "x.dxf", "--fit", "nan"],
                     ["section", self.scan, "-o", "x.dxf", "--fit", "0.05", "--polylines"],
                     ["stack", self.scan, "-o", "x.dxf", "--count", "3", "--fit", "0.05"],
                     ["convert", self.scan], ["convert", self.scan, "-o", "x.stl", "--band", "1"],
                     ["repair", self.scan, "-o", "x.stl", "--smoothing", "extreme"],
                     ["repair", self.scan, "-o", "x.stl", "--merge-tolerance", "5"],
                     ["wireframe", self.scan], ["wireframe", self.scan, "-o", "x.dxf", "--mode", "grid"],
                     ["wireframe", self.scan, "-o", "x.dxf", "--complexity", "4"],
                     ["wireframe", self.scan, "-o", "x.dxf", "--cleanup", "tidy"],
                     ["wireframe", self.scan, "-o", "x.dxf", "--keep", "0"],
                     ["wireframe", self.scan, "-o", "x.dxf", "--mode", "lattice", "--keep", "2"],
                     ["drawing", self.scan], ["drawing", self.scan, "-o", "x.svg", "--view", "back"],
                     ["drawing", self.scan, "-o", "x.svg", "--detail", "101"],
                     ["drawing", self.scan, "-o", "x.svg", "--min-size", "2.5"]):
            r = run(*args)
            self.assertEqual(r.returncode, 2, args)
            self.assertIn("usage:", r.stderr)


if __name__ == "__main__":
    unittest.main()
