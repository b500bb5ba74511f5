#!/usr/bin/env python3
"""Prints the arcunpack_bench JSON output as one table per archive class.

Times are medians of the repetitions, in milliseconds: CPU time of the process
(steadier on a shared machine), with wall-clock time in brackets. Ratios are
taken on CPU time from the same run.
"""
import json
import sys


def load(path):
    with open(path) as f:
        data = json.load(f)
    rows = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name", "median") != "median" or b.get("error_occurred"):
            continue
        name = b.get("run_name", b["name"]).replace("/real_time", "")
        cls, tool, op = name.split("|")
        scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6, "s": 1e3}[b.get("time_unit", "ms")]
        rows.setdefault(cls, {})[(tool, op)] = {
            "cpu": b["cpu_time"] * scale,
            "real": b["real_time"] * scale,
            "rss": b.get("rss_extra_MiB", 0.0),
        }
    return rows


def cell(r):
    if r is None:
        return "-"
    return "%.3f (%.3f)" % (r["cpu"], r["real"])


def ratio(a, b):
    if a is None or b is None or b["cpu"] <= 0:
        return "-"
    return "%.2f" % (a["cpu"] / b["cpu"])


def main():
    rows = load(sys.argv[1])
    ops = [("arc", "open"), ("arc", "walk"), ("arc", "scan"), ("arc", "extract"),
           ("peer", "walk"), ("peer", "scan"), ("peer", "extract"),
           ("floor", "headers"), ("floor", "read")]
    print("CPU ms (wall ms), median of repetitions; ratios on CPU time\n")
    head = "%-16s" % "class" + "".join("%-22s" % ("%s %s" % k) for k in ops)
    head += "%-10s%-10s%-12s%-12s%-10s" % ("scan/peer", "extr/peer", "scan/read",
                                           "open/hdrs", "scan RSS+")
    print(head)
    for cls in sorted(rows):
        if cls in ("spill",):
            continue
        r = rows[cls]
        g = lambda k: r.get(k)
        line = "%-16s" % cls + "".join("%-22s" % cell(g(k)) for k in ops)
        rss = g(("arc", "scan"))
        line += "%-10s%-10s%-12s%-12s%-10s" % (
            ratio(g(("arc", "scan")), g(("peer", "scan"))),
            ratio(g(("arc", "extract")), g(("peer", "extract"))),
            ratio(g(("arc", "scan")), g(("floor", "read"))),
            ratio(g(("arc", "open")), g(("floor", "headers"))),
            "%.1f MiB" % rss["rss"] if rss else "-")
        print(line)
        if ("arc", "lookups") in r:
            print("%-16s lookups of every name: %s" % ("", cell(r[("arc", "lookups")])))
    if "spill" in rows:
        s = rows["spill"]
        print("\nspill: buffer %s, stream %s, plain write (dd) %s; buffer/write %s, "
              "stream/write %s (wall %s, %s)" % (
                  cell(s.get(("arc", "buffer"))), cell(s.get(("arc", "stream"))),
                  cell(s.get(("floor", "write"))),
                  ratio(s.get(("arc", "buffer")), s.get(("floor", "write"))),
                  ratio(s.get(("arc", "stream")), s.get(("floor", "write"))),
                  wall(s.get(("arc", "buffer")), s.get(("floor", "write"))),
                  wall(s.get(("arc", "stream")), s.get(("floor", "write")))))


def wall(a, b):
    if a is None or b is None or b["real"] <= 0:
        return "-"
    return "%.2f" % (a["real"] / b["real"])


if __name__ == "__main__":
    main()
