#!/usr/bin/env python3
"""A listing that multiplies rows, against the demonstration catalog.

Usage: bench/unbounded_join.py [--description BYTES] BUILD [TYPES SITES ...]

Builds, with BUILD/bin/catalog-build, the demonstration catalog (data/shareware.mdb, as
catalog-dump prints it) with one title more whose type and site each match TYPES and SITES
rows (the tables have no primary key, as Jet allows), for each pair given (by default
2,500 x 2,500 and 10,000 x 10,000), and a description of BYTES letters (default: a short one). Then lists every title and the one title, straight from
the titles and through SQLite (a blank after the statement), with BUILD/bin/catalog-dump,
and prints for each: the seconds, the outcome (the rows, or the error) and the peak
resident memory (VmHWM) of catalog-dump, the demonstration catalog's first.
"""

import os
import subprocess
import sys
import tempfile
import time

HEAD = ("SELECT A.Name,A.Description,Price,B.Description As Type,Requirements,Uninstaller,Limitations,ScreenURL,"
        "DownloadURL1,DownloadURL2,DownloadURL3,BuyURL,Rating,C.Name As [Company Name],"
        "C.URL As [Company URL],C.Description As [Company Desc] FROM Software A,SoftwareType B, Site C WHERE ")
JOIN = "A.SoftwareTypeID = B.SoftwareTypeID AND A.SiteID = C.SiteID"
ALL_TITLES = HEAD + JOIN + " ORDER BY A.Name"
NAME = "Many Pairs Tool"
ONE_TITLE = HEAD + "A.Name ='" + NAME + "' AND " + JOIN
KEY = 999


def multiplied(script, types, sites, description):
    """The script with KEY given to `types` type rows and `sites` site rows, and one title of both."""
    software_id = max(int(line[4:].split("\t")[0]) for line in script.splitlines()
                      if line.startswith("ROW ") and line[4:5].isdigit()) + 1
    extra = {
        "SoftwareType": ["ROW %d\tType %d" % (KEY, i) for i in range(types)],
        "Site": ["ROW %d\tCompany %d\thttp://company%d.example/\tMaker number %d." % (KEY, i, i, i)
                 for i in range(sites)],
        "Software": ["ROW " + "\t".join([str(software_id), NAME, description, "5", "Any", "1", "None",
                                         "\\N", "\\N", "\\N", "\\N", "\\N", "3", str(KEY), str(KEY), "4", "9"])],
    }
    out, table = [], None
    for line in script.splitlines():
        if line.startswith("TABLE "):
            out += extra.get(table, [])
            table = line[6:]
        elif line.startswith("COLUMN ") and table in ("SoftwareType", "Site") and out[-1].startswith("TABLE "):
            line = line.replace(" AUTONUMBER", "")  # the key repeats
        out.append(line)
    out += extra.get(table, [])
    return "\n".join(out) + "\n"


def peak_of(command):
    """Runs `command`; returns (seconds, exit code, stderr's last line, stdout's lines, VmHWM in MiB)."""
    start = time.monotonic()
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(command, stdout=out, stderr=err)
        peak = 0
        while process.poll() is None:
            try:
                with open("/proc/%d/status" % process.pid) as status:
                    for line in status:
                        if line.startswith("VmHWM:"):
                            peak = max(peak, int(line.split()[1]))
            except OSError:
                pass
            time.sleep(0.005)
        seconds = time.monotonic() - start
        out.seek(0)
        err.seek(0)
        lines = out.read().count(b"\n")
        last = (err.read().decode(errors="replace").strip().splitlines() or [""])[-1]
    return seconds, process.returncode, last, lines, peak / 1024


def main():
    args = sys.argv[1:]
    description = "One title, many pairs."
    if args[:1] == ["--description"]:
        description = ("Many pairs. " * (int(args[1]) // 12 + 1))[:int(args[1])]
        args = args[2:]
    build = args[0] if args else "build"
    numbers = [int(n) for n in args[1:]] or [2500, 2500, 10000, 10000]
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    dump = os.path.join(build, "bin", "catalog-dump")
    builder = os.path.join(build, "bin", "catalog-build")
    demo = os.path.join(here, "data", "shareware.mdb")
    script = subprocess.run([dump, demo], check=True, capture_output=True, text=True).stdout
    with tempfile.TemporaryDirectory() as folder:
        catalogs = [("demonstration catalog", demo)]
        for types, sites in zip(numbers[0::2], numbers[1::2]):
            source = os.path.join(folder, "join-%dx%d.txt" % (types, sites))
            with open(source, "w") as f:
                f.write(multiplied(script, types, sites, description))
            # catalog-build and catalog-dump take a catalog folder's file by its path
            built = os.path.join(folder, "join-%dx%d.mdb" % (types, sites))
            subprocess.run([builder, source, built], check=True, capture_output=True)
            catalogs.append(("%d types x %d sites, %d KB" % (types, sites, os.path.getsize(built) // 1024), built))
        for label, path in catalogs:
            for what, sql in (("all titles", ALL_TITLES), ("the one title", ONE_TITLE)):
                for way, statement in (("straight", sql), ("through SQLite", sql + " ")):
                    seconds, code, last, lines, peak = peak_of([dump, path, "--query", statement])
                    outcome = "%d lines" % lines if code == 0 else "exit %d: %s" % (code, last)
                    print("%-32s %-14s %-15s %6.2f s  VmHWM %7.1f MiB  %s" % (label, what, way, seconds, peak, outcome))
                    sys.stdout.flush()


if __name__ == "__main__":
    main()
