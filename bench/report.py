#!/usr/bin/env python3
"""Reads the measurements scripts/bench left in a folder and prints one table per size,
writes all the figures as one JSON file and plots time against records.

  report.py RESULTS_DIR [SIZE...] [--json FILE] [--plot FILE]

RESULTS_DIR holds disk.json and one folder per size (named by its tran record count) with
rebuild.json, tags.json, pack.json, raw.json and sql.json, each printed by kxbench.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys

MIB = 1024 * 1024

# Goals the figures are held against.
GOAL_TAGS_VS_SQL = 8.0  # six tran tags at least this many times faster than CREATE INDEX x6
GOAL_PACK_MBS = 300.0  # pack throughput in MB/s of table, flush included
GOAL_PACK_VS_SQL = 12.0  # pack in the run at least this many times faster than DELETE + VACUUM
GOAL_FOLDER_VS_RAW = 0.5  # whole folder at most this factor of the raw reference
GOAL_PEAK_MIB = 100.0  # peak resident memory of any rebuild process
GOAL_TAGS_CPU_PER_WALL = 1.5  # six tran tags: CPU time over wall time, both cores at work
GOAL_CPU_FROM_RECORDS = 1000000  # ... from this many tran records on
GOAL_WINE32_VS_NATIVE = 1.3  # the 32-bit Windows build under Wine, against the native build

def load(path):
    with open(path) as f:
        return json.load(f)


def ratio(a, b):
    return a / b if a and b else None


def fmt(value, digits=3):
    if value is None:
        return "-"
    return f"{value:.{digits}f}"


def base_name(table):
    return table.replace("\\", "/").rsplit("/", 1)[-1]


def step_seconds(table, name):
    return sum(s["seconds"] for s in table["steps"] if s["name"] == name)


PHASES = ("open", "delete", "pack", "close")


def summarise(size_dir, disk):
    rebuild = load(os.path.join(size_dir, "rebuild.json"))
    tags = load(os.path.join(size_dir, "tags.json"))
    pack = load(os.path.join(size_dir, "pack.json"))
    pack_table = load(os.path.join(size_dir, "pack-table.json"))
    raw = load(os.path.join(size_dir, "raw.json"))
    sql = load(os.path.join(size_dir, "sql.json"))
    raw_tables = {t["table"]: t for t in raw["tables"]}
    sql_index = {i["name"]: i["seconds"] for i in sql["create_index"]}

    tables = []
    for t in rebuild["tables"]:
        name = base_name(t["table"])
        r = raw_tables.get(name, {})
        tables.append({
            "table": name,
            "seconds": t["seconds"],
            "phases": {p: step_seconds(t, p) for p in PHASES},
            "tags": [{"name": s["name"], "seconds": s["seconds"]}
                     for s in t["steps"] if s["name"] not in PHASES],
            "raw_seconds": r.get("seconds"),
            "raw_tags": {g["name"]: g["seconds"] for g in r.get("tags", [])},
            "raw_live_copy_seconds": r.get("live_copy_seconds"),
        })
    tran_run = next((t for t in tables if t["table"] == "tran.adt"), None)
    raw_tran = raw_tables["tran.adt"]

    tran_tags = []
    for g in tags["tags"]:
        in_run = None
        if tran_run:
            in_run = next((x["seconds"] for x in tran_run["tags"] if x["name"] == g["name"]), None)
        tran_tags.append({
            "name": g["name"],
            "ours": g["seconds"],
            "ours_in_run": in_run,
            "sql": sql_index.get(g["name"]),
            "raw": next((x["seconds"] for x in raw_tran["tags"] if x["name"] == g["name"]),
                        None),
        })

    pack_mbs = pack["bytes_before"] / 1e6 / pack["seconds"] if pack["seconds"] else None
    # The run packs the table right after creating its tags, in the same open.
    run_pack = tran_run["phases"]["pack"] if tran_run else None
    run_pack_mbs = tags["table_bytes"] / 1e6 / run_pack if run_pack else None
    sql_pack = sql["delete_seconds"] + sql["vacuum_seconds"]
    peaks = {k: v["maxrss_kib"] / 1024 for k, v in
             (("rebuild", rebuild), ("tags", tags), ("pack", pack), ("pack_table", pack_table))}
    return {
        "tran_records": tags["records"],
        "tran_live_records": tags["entries"],
        "tran_table_bytes": tags["table_bytes"],
        "item_records": next((t["live_records"] for t in raw["tables"]
                              if t["table"] == "item.adt"), None),
        "rebuild": {"completed": rebuild["completed"], "error": rebuild["error"],
                    "seconds": rebuild["seconds"], "cpu_seconds": rebuild["cpu_seconds"],
                    "connect_seconds": rebuild["connect_seconds"], "tables": tables},
        "tran_tags": tran_tags,
        "tran_tags_total": {"ours": tags["seconds"], "ours_cpu": tags["cpu_seconds"],
                            "write_bytes": tags.get("write_bytes"),
                            "write_amplification": tags.get("write_amplification"),
                            "sql": sql["create_index_seconds"],
                            "raw": sum(x["seconds"] for x in raw_tran["tags"])},
        "reindex": {"ours": tags["seconds"], "sql": sql["reindex_seconds"]},
        "pack": {"ours": run_pack, "mb_per_s": run_pack_mbs,
                 "fresh": pack["seconds"], "fresh_cpu": pack["cpu_seconds"],
                 "fresh_mb_per_s": pack_mbs, "fresh_write_bytes": pack.get("write_bytes"),
                 "fresh_write_amplification": pack.get("write_amplification"),
                 "sql_delete": sql["delete_seconds"],
                 "sql_vacuum": sql["vacuum_seconds"], "sql": sql_pack,
                 "raw_live_copy": raw_tran["live_copy_seconds"],
                 "bytes_before": pack["bytes_before"], "bytes_after": pack["bytes_after"],
                 "table_only": pack_table["seconds"],
                 "table_only_mb_per_s": pack_table["bytes_before"] / 1e6 / pack_table["seconds"]
                 if pack_table["seconds"] else None},
        "folder": {"ours": rebuild["seconds"], "raw": raw["seconds"]},
        "peak_mib": peaks,
        "sql_info": {"engine": sql["engine"], "load_seconds": sql["load_seconds"],
                     "rows": sql["rows"], "deleted_rows": sql["deleted_rows"],
                     "rows_after": sql["rows_after"], "peak_mib": sql["maxrss_kib"] / 1024},
        "raw_peak_mib": raw["maxrss_kib"] / 1024,
        "disk_mb_per_s": disk.get("mb_per_s"),
        "wine": load(os.path.join(size_dir, "wine.json"))
        if os.path.exists(os.path.join(size_dir, "wine.json")) else None,
        "load_average": load(os.path.join(size_dir, "machine.json")).get("load_average")
        if os.path.exists(os.path.join(size_dir, "machine.json")) else None,
    }


def written(write_bytes, amplification):
    """The bytes a process sent to storage and their factor over the finished files."""
    if write_bytes is None or write_bytes < 0:
        return "written -"
    return f"written {write_bytes / MIB:.1f} MiB ({fmt(amplification, 2)}x the files)"


def print_table(s, out):
    rows = []

    def row(label, ours, sql=None, raw=None, note=""):
        rows.append((label, fmt(ours), fmt(sql), fmt(raw), fmt(ratio(ours, sql), 2),
                     fmt(ratio(ours, raw), 2), note))

    for t in s["tran_tags"]:
        row(f"tran tag {t['name']}", t["ours"], t["sql"], t["raw"],
            f"in the run {fmt(t['ours_in_run'])} s")
    tt = s["tran_tags_total"]
    row("tran six tags (fresh process)", tt["ours"], tt["sql"], tt["raw"],
        f"cpu {fmt(tt['ours_cpu'])} s; {written(tt['write_bytes'], tt['write_amplification'])}; "
        "SQL: CREATE INDEX x6")
    row("tran six tags vs REINDEX", s["reindex"]["ours"], s["reindex"]["sql"], None,
        "SQL: REINDEX of the six")
    p = s["pack"]
    row("tran pack in the run", p["ours"], p["sql"], p["raw_live_copy"],
        f"{fmt(p['mb_per_s'], 0)} MB/s; after its tags: their entries renumbered; SQL: DELETE "
        f"{fmt(p['sql_delete'])} + VACUUM {fmt(p['sql_vacuum'])}; raw: live-record copy")
    row("tran pack, fresh process", p["fresh"], p["sql"], p["raw_live_copy"],
        f"{fmt(p['fresh_mb_per_s'], 0)} MB/s; "
        f"{written(p['fresh_write_bytes'], p['fresh_write_amplification'])}; "
        "its six tags built again from the records")
    row("tran pack, table alone", p["table_only"], None, p["raw_live_copy"],
        f"{fmt(p['table_only_mb_per_s'], 0)} MB/s; no index file: records moved in place, flushed")
    for t in s["rebuild"]["tables"]:
        ph = t["phases"]
        tag_sum = sum(g["seconds"] for g in t["tags"])
        row(f"run {t['table']}", t["seconds"], None, t["raw_seconds"],
            f"open {fmt(ph['open'])} delete {fmt(ph['delete'])} tags {fmt(tag_sum)} "
            f"({len(t['tags'])}) pack {fmt(ph['pack'])} close {fmt(ph['close'])}")
    f = s["folder"]
    row("run whole folder", f["ours"], None, f["raw"],
        f"cpu {fmt(s['rebuild']['cpu_seconds'])} s; raw: every tag + live copy of every table")

    head = ("row", "ours s", "SQL s", "raw s", "ours/SQL", "ours/raw", "detail")
    widths = [max(len(r[i]) for r in rows + [head]) for i in range(6)]
    line = lambda r: "  ".join(
        [r[0].ljust(widths[0])] + [r[i].rjust(widths[i]) for i in range(1, 6)] + [r[6]])
    print(f"== tran {s['tran_records']} records ({s['tran_live_records']} live, "
          f"{s['tran_table_bytes'] / MIB:.0f} MiB), item {s['item_records']} live ==", file=out)
    print(line(head), file=out)
    for r in rows:
        print(line(r), file=out)
    pk = s["peak_mib"]
    print(f"peak resident MiB: rebuild {pk['rebuild']:.1f}, tags {pk['tags']:.1f}, "
          f"pack {pk['pack']:.1f}, table-only pack {pk['pack_table']:.1f} (raw {s['raw_peak_mib']:.1f}, SQL {s['sql_info']['peak_mib']:.1f})",
          file=out)
    print(f"disk sequential write (dd conv=fsync): {fmt(s['disk_mb_per_s'], 0)} MB/s; "
          f"{s['sql_info']['engine']} default settings, load {fmt(s['sql_info']['load_seconds'])} s "
          f"untimed; load average {s['load_average'] or '-'}", file=out)
    if s.get("wine"):
        w = s["wine"]
        print(f"whole rebuild as a process (kxdata rebuild): native {fmt(w['native_seconds'])} s, "
              f"64-bit Windows build under Wine {fmt(w['wine_seconds'])} s "
              f"({fmt(ratio(w['wine_seconds'], w['native_seconds']), 2)}x)", file=out)
        if w.get("wine32_seconds") is not None:
            print(f"  and side by side: native {fmt(w['native32_seconds'])} s, 32-bit Windows "
                  f"build under Wine {fmt(w['wine32_seconds'])} s "
                  f"({fmt(ratio(w['wine32_seconds'], w['native32_seconds']), 2)}x)", file=out)
        elif "wine32_seconds" in w:
            print("  this machine does not run 32-bit programs: no 32-bit figure", file=out)
    if not s["rebuild"]["completed"]:
        print(f"THE RUN FAILED: {s['rebuild']['error']}", file=out)


def goals(s):
    tt, p, f = s["tran_tags_total"], s["pack"], s["folder"]
    tags_speedup = ratio(tt["sql"], tt["ours"])
    pack_speedup = ratio(p["sql"], p["ours"])
    folder_factor = ratio(f["ours"], f["raw"])
    cpu_per_wall = ratio(tt["ours_cpu"], tt["ours"])
    peak = max(s["peak_mib"].values())
    held = [
        (f"six tran tags >= {GOAL_TAGS_VS_SQL:g}x faster than CREATE INDEX x6",
         f"{fmt(tags_speedup, 2)}x", tags_speedup is not None and tags_speedup >= GOAL_TAGS_VS_SQL),
        (f"pack in the run >= {GOAL_PACK_MBS:g} MB/s with the flush", f"{fmt(p['mb_per_s'], 0)} MB/s",
         p["mb_per_s"] is not None and p["mb_per_s"] >= GOAL_PACK_MBS),
        (f"pack of the table alone (no tags) >= {GOAL_PACK_MBS:g} MB/s with the flush",
         f"{fmt(p['table_only_mb_per_s'], 0)} MB/s",
         p["table_only_mb_per_s"] is not None and p["table_only_mb_per_s"] >= GOAL_PACK_MBS),
        (f"pack in the run >= {GOAL_PACK_VS_SQL:g}x faster than DELETE+VACUUM",
         f"{fmt(pack_speedup, 2)}x", pack_speedup is not None and pack_speedup >= GOAL_PACK_VS_SQL),
        (f"whole folder <= {GOAL_FOLDER_VS_RAW:g}x raw", f"{fmt(folder_factor, 2)}x",
         folder_factor is not None and folder_factor <= GOAL_FOLDER_VS_RAW),
        (f"peak resident <= {GOAL_PEAK_MIB:g} MiB", f"{peak:.1f} MiB", peak <= GOAL_PEAK_MIB),
    ]
    w = s.get("wine")
    if w and w.get("wine32_seconds") is not None:
        factor = ratio(w["wine32_seconds"], w["native32_seconds"])
        held.append((f"32-bit Windows build under Wine <= {GOAL_WINE32_VS_NATIVE:g}x native",
                     f"{fmt(factor, 2)}x", factor is not None and factor <= GOAL_WINE32_VS_NATIVE))
    if s["tran_records"] >= GOAL_CPU_FROM_RECORDS:
        held.append((f"six tran tags: CPU >= {GOAL_TAGS_CPU_PER_WALL:g}x wall",
                     f"{fmt(cpu_per_wall, 2)}x",
                     cpu_per_wall is not None and cpu_per_wall >= GOAL_TAGS_CPU_PER_WALL))
    return held

def plot(summaries, path):
    if not shutil.which("gnuplot"):
        print("report: gnuplot not found, no plot", file=sys.stderr)
        return
    data = path + ".dat"
    with open(data, "w") as f:
        f.write("# records ours_tags sql_tags raw_tags ours_pack sql_pack raw_copy "
                "ours_folder raw_folder\n")
        for s in summaries:
            f.write(" ".join(str(v) for v in (
                s["tran_records"], s["tran_tags_total"]["ours"], s["tran_tags_total"]["sql"],
                s["tran_tags_total"]["raw"], s["pack"]["ours"], s["pack"]["sql"],
                s["pack"]["raw_live_copy"], s["folder"]["ours"], s["folder"]["raw"])) + "\n")
    script = f"""
set terminal png size 1000,640
set output '{path}'
set title 'Index rebuild: time against tran records'
set xlabel 'tran records'
set ylabel 'seconds'
set key top left
set grid
plot '{data}' using 1:2 with linespoints lw 2 title 'ours: six tran tags', \\
     '' using 1:3 with linespoints lw 2 title 'SQL: CREATE INDEX x6', \\
     '' using 1:4 with linespoints title 'raw: six tags sorted', \\
     '' using 1:5 with linespoints lw 2 dt 2 title 'ours: tran pack', \\
     '' using 1:6 with linespoints lw 2 dt 2 title 'SQL: DELETE + VACUUM', \\
     '' using 1:7 with linespoints dt 2 title 'raw: live-record copy', \\
     '' using 1:8 with linespoints lw 3 title 'ours: whole folder', \\
     '' using 1:9 with linespoints lw 1 title 'raw: whole folder'
"""
    subprocess.run(["gnuplot"], input=script, text=True, check=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("results")
    parser.add_argument("sizes", nargs="*", help="tran record counts to report (default: all)")
    parser.add_argument("--json")
    parser.add_argument("--plot")
    args = parser.parse_args()
    disk_path = os.path.join(args.results, "disk.json")
    disk = load(disk_path) if os.path.exists(disk_path) else {}
    sizes = args.sizes or [d for d in os.listdir(args.results) if d.isdigit()]
    sizes = sorted((d for d in sizes if os.path.exists(os.path.join(args.results, d, "sql.json"))),
                   key=int)
    if not sizes:
        sys.exit("report: no measurements in " + args.results)
    summaries = [summarise(os.path.join(args.results, d), disk) for d in sizes]
    all_goals = []
    for s in summaries:
        print_table(s, sys.stdout)
        print("goals:")
        for text, value, held in goals(s):
            print(f"  {'holds      ' if held else 'falls short'}  {text}: {value}")
            all_goals.append({"tran_records": s["tran_records"], "goal": text, "value": value,
                              "holds": held})
        print()
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"disk_mb_per_s": disk.get("mb_per_s"), "sizes": summaries,
                       "goals": all_goals}, f, indent=1)
        print("figures:", args.json)
    if args.plot:
        plot(summaries, args.plot)
        print("plot:", args.plot)


if __name__ == "__main__":
    main()
