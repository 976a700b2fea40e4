"""Installs the build into a scratch prefix and packs it as a .deb, then runs
what was installed: the command-line tool, the window's smoke test (which must
find the repair program beside itself through the bin/ symlink), the desktop
entry and file types, and the package's contents and dependencies."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

BUILD, SOURCE, CMAKE, CPACK = (sys.argv.pop(1) for _ in range(4))
SAMPLE = os.path.join(SOURCE, "samples", "sample_part.stl")
PROGRAMS = ("halvoran", "halvoran-cli", "meshfix", "halvoran-stepreader", "halvoran-reconstruct")
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, timeout=kw.pop("timeout", 300), **kw)


class Install(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.prefix = os.path.join(cls.tmp.name, "prefix with space")
        r = run([CMAKE, "--install", BUILD, "--prefix", cls.prefix])
        if r.returncode != 0:
            raise AssertionError("cmake --install failed:\n" + r.stdout + r.stderr)
        cls.programs = os.path.join(cls.prefix, "lib", "halvoran")

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_programs_sit_together_and_bin_links_to_them(self):
        for name in PROGRAMS:
            path = os.path.join(self.programs, name)
            self.assertTrue(os.access(path, os.X_OK), path)
        for name in ("halvoran", "halvoran-cli"):
            link = os.path.join(self.prefix, "bin", name)
            self.assertEqual(os.readlink(link), "../lib/halvoran/" + name)
        # Debian's meshfix owns /usr/bin/meshfix: ours stays private.
        self.assertFalse(os.path.lexists(os.path.join(self.prefix, "bin", "meshfix")))

    def test_installed_cli_reads_the_sample_like_the_built_one(self):
        installed = run([os.path.join(self.prefix, "bin", "halvoran-cli"), "info", SAMPLE, "--json"])
        self.assertEqual(installed.returncode, 0, installed.stderr)
        built = run([os.path.join(BUILD, "app", "halvoran-cli"), "info", SAMPLE, "--json"])
        self.assertEqual(installed.stdout, built.stdout)
        self.assertEqual(json.loads(installed.stdout)["triangles"], 8080)

    def test_installed_window_passes_its_smoke_test_with_the_repair_program(self):
        # A stand-in in front of the installed repair program records that the
        # window found and started it.
        work = os.path.join(self.tmp.name, "smoke")
        os.makedirs(work)
        marker = os.path.join(work, "repair-program-started")
        real = os.path.join(self.programs, "meshfix.real")
        wrapper = os.path.join(self.programs, "meshfix")
        os.rename(wrapper, real)
        with open(wrapper, "w") as f:
            f.write('#!/bin/sh\ntouch "%s"\nexec "%s" "$@"\n' % (marker, real))
        os.chmod(wrapper, 0o755)
        try:
            r = run(["xvfb-run", "-a", "-s", "-screen 0 1920x1080x24", os.path.join(self.prefix, "bin", "halvoran"),
                     "--smoke-test", "--smoke-output=" + os.path.join(work, "out"), SAMPLE], cwd=work, timeout=600)
        finally:
            os.replace(real, wrapper)
        with open(os.path.join(self.programs, "halvoran_runtime.log")) as f:
            log = f.read()
        self.assertEqual(r.returncode, 0, log[-3000:])
        self.assertIn("[SMOKE] passed", log)
        self.assertTrue(os.path.exists(marker), "the installed window never started its repair program")

    def test_desktop_entry_validates_and_file_types_register(self):
        share = os.path.join(self.prefix, "share")
        desktop = os.path.join(share, "applications", "halvoran.desktop")
        r = run(["desktop-file-validate", desktop])
        self.assertEqual((r.returncode, r.stdout + r.stderr), (0, ""))
        with open(desktop) as f:
            types = next(l for l in f if l.startswith("MimeType=")).strip()[len("MimeType="):].split(";")
        self.assertEqual(set(filter(None, types)), {"model/stl", "model/obj", "model/x-ply", "model/3mf",
                                                     "model/step", "model/x-asc-point-cloud"})
        # Every listed type is known to Debian or declared by our file.
        mime = os.path.join(self.tmp.name, "mime")
        os.makedirs(os.path.join(mime, "packages"))
        for src in ("/usr/share/mime/packages/freedesktop.org.xml",
                    os.path.join(share, "mime", "packages", "halvoran.xml")):
            shutil.copy(src, os.path.join(mime, "packages"))
        r = run(["update-mime-database", mime])
        self.assertNotIn("Failed to parse", r.stderr)
        with open(os.path.join(mime, "types")) as f:
            known = set(f.read().split())
        self.assertEqual([t for t in types if t and t not in known], [])
        for size in ICON_SIZES:
            png = os.path.join(share, "icons", "hicolor", "%dx%d" % (size, size), "apps", "halvoran.png")
            with open(png, "rb") as f:
                self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n", png)
        self.assertTrue(os.path.exists(os.path.join(share, "icons", "hicolor", "scalable", "apps", "halvoran.svg")))

    def test_debian_package_holds_the_programs_and_depends_on_their_libraries(self):
        out = os.path.join(self.tmp.name, "deb")
        r = run([CPACK, "-G", "DEB", "-B", out, "--config", os.path.join(BUILD, "CPackConfig.cmake")], timeout=600)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        debs = [f for f in os.listdir(out) if f.endswith(".deb")]
        self.assertEqual(len(debs), 1, debs)
        deb = os.path.join(out, debs[0])

        listing = run(["dpkg-deb", "-c", deb]).stdout
        paths = {line.split()[5].lstrip(".") for line in listing.splitlines()}
        expected = {"/usr/bin/halvoran", "/usr/bin/halvoran-cli", "/usr/share/applications/halvoran.desktop",
                    "/usr/share/icons/hicolor/scalable/apps/halvoran.svg",
                    "/usr/share/icons/hicolor/48x48/apps/halvoran.png", "/usr/share/mime/packages/halvoran.xml"}
        expected |= {"/usr/lib/halvoran/" + name for name in PROGRAMS}
        self.assertEqual(expected - paths, set())
        self.assertIn("./usr/bin/halvoran -> ../lib/halvoran/halvoran", listing)

        depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout
        names = {alt.split()[0] for dep in depends.split(",") for alt in dep.split("|")}
        for library in ("libqt6widgets6", "libqt6openglwidgets6", "libvtk9.1", "libocct-data-exchange-7.6",
                        "lib3mf1"):
            self.assertIn(library, names)
        # Each one is a real package of this system (installed with the -dev packages).
        unknown = [n for n in sorted(names) if run(["dpkg-query", "-W", n]).returncode != 0]
        self.assertEqual(unknown, [])

        # The packed programs run from an unpacked copy.
        root = os.path.join(self.tmp.name, "root")
        self.assertEqual(run(["dpkg-deb", "-x", deb, root]).returncode, 0)
        r = run([os.path.join(root, "usr", "bin", "halvoran-cli"), "info", SAMPLE])
        self.assertEqual(r.returncode, 0, r.stderr)


if __name__ == "__main__":
    unittest.main()
