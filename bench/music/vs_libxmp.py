#!/usr/bin/env python3
"""Render throughput of both players against libxmp, as a table.

vs_libxmp.py --build BUILD [--seconds N] [--rounds R] [--songs DIR] [--no-in-process]

Whole process: each song is rendered for N seconds (default 300) by
`xmrender --small|--full` and by the xmp command line (libxmp, linear
interpolation, 44100 Hz, looping so that it too plays N seconds), both to
/dev/null, alternating one run of each R times (default 5). The figure is
the median CPU time (user + system) of the whole process, so the load of
other programs on the machine weighs on both sides alike.

The small player plays the built-in song and the songs of ../shared/xm; the
full player plays those and every song `make compare-songs` fetched (DIR,
default ~/.cache/quillon-xm/songs).

In process (unless --no-in-process): the Google Benchmark suite
music_full_bench, which times each player's MixBlock loop and libxmp's
xmp_play_buffer loop on the same songs in one run (median of 3
repetitions of CPU time): the small player on the song the program ships
and the songs of ../shared/xm, the full player on those and the fetched ones.

Each table ends with the worst ratio: libxmp's time over ours, so 3.0 means
three times libxmp's throughput.
"""
import argparse
import json
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[2]


def cpu_seconds(command):
    """Runs command with output discarded; returns its user + system CPU time."""
    with open(os.devnull, "wb") as null:
        process = subprocess.Popen(command, stdout=null, stderr=null)
        _, status, usage = os.wait4(process.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("failed: " + " ".join(map(str, command)))
    return usage.ru_utime + usage.ru_stime


def print_table(title, rows):
    print(title)
    print(f"{'song':48} {'player':6} {'ours':>10} {'libxmp':>10} {'ratio':>6}")
    for song, player, ours, theirs in rows:
        print(f"{song:48} {player:6} {ours:10.4f} {theirs:10.4f} {theirs / ours:6.2f}")
    worst = min(rows, key=lambda r: r[3] / r[2])
    print(f"worst ratio: {worst[3] / worst[2]:.2f} ({worst[0]}, {worst[1]})")
    print()


def whole_process(build, songs, seconds, rounds):
    xmrender = build / "tools" / "xmrender"
    rows = []
    for song, players in songs:
        for player in players:
            ours_cmd = [xmrender, song, "/dev/null", "--seconds", str(seconds), "--" + player]
            xmp_cmd = ["xmp", "--norc", "--nocmd", "-q", "-l", "-t", str(seconds), "-f", "44100", "-i", "linear",
                       "-d", "wav", "-o", "/dev/null", song]
            ours, theirs = [], []
            for _ in range(rounds):
                ours.append(cpu_seconds(ours_cmd))
                theirs.append(cpu_seconds(xmp_cmd))
            rows.append((pathlib.Path(song).stem, player, statistics.median(ours), statistics.median(theirs)))
            print(f"  {rows[-1][0]} {player}: {rows[-1][3] / rows[-1][2]:.2f}", file=sys.stderr)
    print_table(f"Whole process, CPU seconds for {seconds} s of sound (median of {rounds}, alternating)", rows)


def in_process(build, songs_dir):
    bench = build / "bench" / "music" / "music_full_bench"
    env = dict(os.environ, QUILLON_REAL_SONGS=str(songs_dir))
    out = subprocess.run([bench, "--benchmark_format=json", "--benchmark_repetitions=3",
                          "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.2"],
                         env=env, check=True, capture_output=True, text=True).stdout
    medians = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            kind, song = b["run_name"].split("/", 1)
            medians[(kind, song)] = b["cpu_time"]
    players = {"SmallQuillon": "small", "FullQuillon": "full"}
    rows = [(song, players[kind], t, medians[("Libxmp", song)])
            for (kind, song), t in sorted(medians.items(), key=lambda item: (item[0][1], item[0][0]))
            if kind in players and ("Libxmp", song) in medians]
    print_table("In process (music_full_bench), CPU ms for 10 s of sound (median of 3)", rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build")
    parser.add_argument("--seconds", type=int, default=300)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--songs", default=os.path.expanduser("~/.cache/quillon-xm/songs"))
    parser.add_argument("--no-in-process", action="store_true")
    args = parser.parse_args()
    build = pathlib.Path(args.build).resolve()
    songs_dir = pathlib.Path(args.songs)

    work = tempfile.mkdtemp()
    built_in = os.path.join(work, "built-in.xm")
    subprocess.run([build / "tools" / "songc", ROOT / "resources" / "song" / "score.txt", built_in], check=True,
                   stdout=subprocess.DEVNULL)
    shared = sorted(str(p) for p in (ROOT.parent / "shared" / "xm").glob("*.xm"))
    fetched = sorted(str(p) for p in songs_dir.glob("*.xm"))
    if not fetched:
        print(f"no songs in {songs_dir}: `make compare-songs` fetches them", file=sys.stderr)
    songs = [(built_in, ["small", "full"])] + [(s, ["small", "full"]) for s in shared] + [(s, ["full"]) for s in fetched]
    whole_process(build, songs, args.seconds, args.rounds)
    if not args.no_in_process:
        in_process(build, songs_dir)
    os.remove(built_in)
    os.rmdir(work)


if __name__ == "__main__":
    main()
