#!/usr/bin/env python3
"""The table scripts/bench.sh prints: figure, target, measured, ratio, met.

Reads the Google Benchmark JSON files of one bench.sh run (one per program)
from the folder given. Figures with a known floor and target get their own
row; every other benchmark gets a row with its CPU time, so nothing that ran
is left out. With several runs each, a value is their median, followed by the
spread (lowest..highest) in brackets.
"""
import glob
import json
import os
import statistics
import sys


def load(folder):
    runs = {}  # run name -> list of entries, by repetition
    order = []
    for path in sorted(glob.glob(os.path.join(folder, "*.json"))):
        try:
            with open(path) as f:
                data = json.load(f)
        except (OSError, ValueError):
            continue
        program = os.path.basename(path)[: -len(".json")]
        for b in data.get("benchmarks", []):
            if b.get("run_type", "iteration") != "iteration":
                continue
            name = b.get("run_name", b["name"])
            if name not in runs:
                runs[name] = []
                order.append((program, name))
            runs[name].append(b)
    return runs, order


def cpu_ms(b):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
    return b["cpu_time"] * scale


def summary(values, digits=2):
    values = [v for v in values if v is not None]
    if not values:
        return "-"
    text = f"{statistics.median(values):.{digits}f}"
    if len(values) > 1:
        text += f" [{min(values):.{digits}f}..{max(values):.{digits}f}]"
    return text


def failed(entries):
    return [e for e in entries if e.get("error_occurred")]


class Table:
    def __init__(self, runs):
        self.runs = runs
        self.rows = []
        self.used = set()

    def get(self, name):
        return self.runs.get(name, [])

    def ratio_row(self, figure, name, floor, target, limit, limit_ms=None):
        """name's CPU time against floor's, paired run by run."""
        a, b = self.get(name), self.get(floor)
        if not a or not b:
            return
        self.used.update([name, floor])
        if failed(a) or failed(b):
            msg = (failed(a) or failed(b))[0].get("error_message", "failed")
            self.rows.append((figure, target, "skipped: " + msg, "-", "-"))
            return
        ms = [cpu_ms(e) for e in a]
        ratios = [cpu_ms(x) / cpu_ms(y) for x, y in zip(a, b) if cpu_ms(y) > 0]
        med_ratio = statistics.median(ratios) if ratios else None
        if limit_ms is not None:
            met = "yes" if statistics.median(ms) <= limit_ms else "NO"
        elif limit is None:
            met = "-"
        else:
            met = "yes" if med_ratio is not None and med_ratio <= limit else "NO"
        self.rows.append((figure, target, summary(ms, 3) + " ms CPU", summary(ratios) + "x", met))

    def counter_rows(self, prefix, make):
        for name in sorted(n for n in self.runs if n.startswith(prefix)):
            self.used.add(name)
            entries = self.runs[name]
            bad = failed(entries)
            if bad:
                label = name
                self.rows.append((label, "-", "skipped: " + bad[0].get("error_message", ""), "-", "-"))
                continue
            self.rows.append(make(name, entries))

    def generic_rows(self, order):
        for program, name in order:
            if name in self.used:
                continue
            entries = self.runs[name]
            label = f"{program}: {name}"
            if entries[0].get("label"):
                label += f" ({entries[0]['label']})"
            bad = failed(entries)
            if bad:
                self.rows.append((label, "-", "skipped: " + bad[0].get("error_message", ""), "-", "-"))
                continue
            self.rows.append((label, "-", summary([cpu_ms(e) for e in entries], 3) + " ms CPU", "-", "-"))


def label_of(entries, name):
    return entries[0].get("label") or name


def pipeline_row(name, entries):
    c = lambda key: [e.get(key) for e in entries]
    ratios = c("ratio")
    target = entries[0].get("target", 0)
    shortfall = any((e.get("drawn", 0) or 0) < (e.get("sent", 0) or 0) for e in entries)
    measured = (
        f"kit {summary(c('kit_cpu'), 0)} ms/s, decoding alone {summary(c('floor_cpu'), 0)} ms/s"
    )
    if entries[0].get("floor_paced_cpu") is not None:
        measured += f" ({summary(c('floor_paced_cpu'), 0)} at the stream's pace)"
    measured += (
        f", drawn {summary(c('drawn'), 0)} of {summary(c('sent'), 0)}"
    )
    if entries[0].get("x_cpu") is not None:
        measured += f", X server {summary(c('x_cpu'), 0)} ms/s"
    met = statistics.median(ratios) <= target and not shortfall
    return (label_of(entries, name), f"<= {target:g}x decoding", measured, summary(ratios) + "x",
            "yes" if met else "NO")


def latency_row(name, entries):
    c = lambda key: [e.get(key) for e in entries]
    target = entries[0].get("target_ms", 0)
    med, p99 = c("median_ms"), c("p99_ms")
    met = statistics.median(med) <= target and statistics.median(p99) <= target
    return (
        "latency, " + label_of(entries, name),
        f"<= {target:g} ms",
        f"median {summary(med, 0)} ms, p99 {summary(p99, 0)} ms ({summary(c('read'), 0)} read)",
        f"{statistics.median(p99) / target:.2f} of target",
        "yes" if met else "NO",
    )


def capacity_row(name, entries):
    c = lambda key: [e.get(key) for e in entries]
    target = entries[0].get("target", 0)
    best = c("players_max")
    return (
        "capacity, " + label_of(entries, name),
        f">= {target:g} players at <= 80 % CPU",
        f"{summary(best, 0)} players ({summary(c('cpu_pct_at_max'), 0)} % CPU)",
        f"{statistics.median(best) / target:.2f} of target",
        "yes" if statistics.median(best) >= target else "NO",
    )


def input_row(name, entries):
    c = lambda key: [e.get(key) for e in entries]
    per4 = c("recv_ms_per_s_per_4Mbit")
    lost = c("lost_at_consumer")
    # Linux reports twice the buffer it accepted.
    buffers = sorted({int(b / 2 / 1024) for b in c("socket_rcvbuf") if b})
    measured = (
        f"{summary(per4)} ms/s per 4 Mbit/s ({summary(c('recv_cpu_ms_per_s'), 0)} ms/s at "
        f"{summary(c('Mbit_per_s'), 0)} Mbit/s), lost {summary(c('lost_at_socket'), 0)} at the socket, "
        f"{summary(lost, 0)} before the reader, of {summary(c('sent'), 0)}"
    )
    if entries[0].get("datagrams_per_read") is not None:
        measured += f"; {summary(c('datagrams_per_read'), 1)} datagrams a read"
    if buffers:
        measured += f"; buffer {'/'.join(str(b) for b in buffers)} KiB"
    if entries[0].get("sender_largest_burst") is not None:
        # A sender that lost the CPU sends what it owes at loopback speed.
        measured += f"; sender's largest burst {summary(c('sender_largest_burst'), 0)}"
    met = statistics.median(per4) <= 1.0 and max(lost) == 0
    return ("input, " + label_of(entries, name), "0 lost, <= 1 ms/s per 4 Mbit/s", measured,
            summary(c("recv_vs_memcpy"), 0) + "x memcpy", "yes" if met else "NO")


def idle_row(name, entries):
    c = lambda key: [e.get(key) for e in entries]
    pct = c("cpu_pct_of_core")
    return (
        f"idle, {entries[0].get('players', 0):g} players waiting for streams",
        "<= 2 % of a core",
        f"{summary(pct)} % of a core, {summary(c('wakeups_per_s_per_player'), 1)} wake-ups/s a player",
        f"{statistics.median(pct) / 2:.2f} of target",
        "yes" if statistics.median(pct) <= 2 else "NO",
    )


def main():
    folder = sys.argv[1]
    runs, order = load(folder)
    t = Table(runs)
    t.ratio_row("presentation, 1080p YUY2 -> 960x540 offscreen (vs memcpy of the picture)",
                "BM_PresentOffscreen", "BM_MemcpyPicture", "<= 1 ms", 0, limit_ms=1.0)
    t.ratio_row("presentation, 1080p RGB32 -> 960x540 offscreen (vs memcpy of the picture)",
                "BM_PresentOffscreenRgb32", "BM_MemcpyPictureRgb32", "<= 1 ms", 0, limit_ms=1.0)
    t.ratio_row("presentation, libswscale bilinear YUY2 (the general path, vs memcpy)",
                "BM_SwscaleAlone", "BM_MemcpyPicture", "-", None)
    t.ratio_row("H.264 decoder, 4:2:0 -> YUY2 1080p (vs memcpy of the frame)",
                "BM_Yuv420ToYuy2_1080p", "BM_Memcpy_1080pYuy2Frame", "<= 1.3x", 1.3)
    t.ratio_row("H.264 decoder filter, 1080p25 (vs libavcodec alone)",
                "BM_Filter/1080p25", "BM_Libavcodec/1080p25", "<= 1.1x", 1.1)
    t.ratio_row("H.264 decoder filter, D1 field-coded (vs libavcodec alone)",
                "BM_Filter/D1Field", "BM_Libavcodec/D1Field", "-", None)
    t.ratio_row("Motion JPEG filter, 1080p (vs libjpeg-turbo alone)",
                "BM_MjpegFilterTransform1080p", "BM_LibjpegAlone1080p", "<= 1.1x", 1.1)
    t.counter_rows("BM_Pipeline/", pipeline_row)
    t.counter_rows("BM_Latency/", latency_row)
    t.counter_rows("BM_Capacity/", capacity_row)
    t.counter_rows("BM_NetSource", input_row)
    t.counter_rows("BM_IdlePlayers", idle_row)
    t.generic_rows(order)

    head = ("figure", "target", "measured", "ratio", "met")
    rows = [head] + t.rows
    widths = [max(len(str(r[i])) for r in rows) for i in range(5)]
    lines = []
    for i, r in enumerate(rows):
        lines.append("| " + " | ".join(str(v).ljust(widths[j]) for j, v in enumerate(r)) + " |")
        if i == 0:
            lines.append("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    print("\n".join(lines))


if __name__ == "__main__":
    main()
