#!/usr/bin/env python3
"""Two-process probe: runs the writers and readers of tarvok2-cli at once on one data folder,
many times, and counts lost updates: a command that exited 0 whose change is not in the
project afterwards, a project that no longer opens, or a working file it names that is gone.

usage: scripts/probe-concurrency.py BUILD_DIR [TRIES]

A refused writer ("being edited by another process") is no loss: it changed nothing and said
so. Needs sox for the test tone.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build-test"
TRIES = int(sys.argv[2]) if len(sys.argv) > 2 else 100
CLI = os.path.join(BUILD, "src/cli/tarvok2-cli")
ENV = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")


def cli(data, *args):
    return subprocess.run([CLI, "--data-folder", data, *args], capture_output=True, text=True,
                          env=ENV, timeout=300)


def start(data, *args):
    return subprocess.Popen([CLI, "--data-folder", data, *args], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, env=ENV)


def project(data):
    r = cli(data, "info", "p", "--json")
    if r.returncode != 0:
        return None
    return json.loads(r.stdout)


def one_try(work, tone):
    data = os.path.join(work, "data")
    shutil.rmtree(data, ignore_errors=True)
    cli(data, "new", "p")
    cli(data, "import", "p", tone)
    before = project(data)
    first_wave_copy = os.path.join(work, "first.wav")
    shutil.copyfile(before["WaveFiles"][0]["FileName"], first_wave_copy)
    script = os.path.join(work, "move.txt")
    with open(script, "w") as f:
        f.write("MOVE_BLOCK 0 10\n")
    out = os.path.join(work, "out.wav")
    folder = os.path.join(work, "saved")
    shutil.rmtree(folder, ignore_errors=True)
    jobs = {
        "run": start(data, "run", "p", script),
        "import": start(data, "import", "p", tone, "--track", "2"),
        "fx": start(data, "fx", "p", "FX_DELAY"),
        "mixdown -o": start(data, "mixdown", "p", "-o", out),
        "mixdown --to-track": start(data, "mixdown", "p", "--to-track", "4"),
        "record": start(data, "record", "p", "--track", "5", "--seconds", "1"),
        "saveall": start(data, "saveall", "p", folder),
        "cleanup": start(data, "cleanup"),
    }
    result = {}
    for name, job in jobs.items():
        _, err = job.communicate(timeout=600)
        result[name] = (job.returncode, err)
    after = project(data)
    losses = []
    refused = [n for n, (code, err) in result.items()
               if code != 0 and "being edited by another process" in err]
    if after is None:
        return ["the project no longer opens"], refused, []
    for wave in after["WaveFiles"]:
        if not os.path.exists(wave["FileName"]):
            losses.append("working file gone: " + wave["FileName"])
    blocks = after["Blocks"]
    on_track = lambda t: [b for b in blocks if b["TrackNo"] == t]
    if result["run"][0] == 0 and not any(b["StartAdr"] == 10 for b in on_track(0)):
        losses.append("the script's move is lost")
    if result["import"][0] == 0 and not on_track(2):
        losses.append("the import's block is lost")
    if result["mixdown --to-track"][0] == 0 and not on_track(4):
        losses.append("the mixdown's track block is lost")
    if result["record"][0] == 0 and not on_track(5):
        losses.append("the recorded take is lost")
    # The effect makes a file whose sound differs from the tone; the import's and the first
    # block's files hold the tone itself (the mixdown's track may hold a mix of the effect).
    with open(first_wave_copy, "rb") as f:
        tone_bytes = f.read()
    def changed(block):
        path = after["WaveFiles"][block["WaveNo"]]["FileName"]
        try:
            with open(path, "rb") as f:
                return f.read() != tone_bytes
        except OSError:
            return False
    if result["fx"][0] == 0 and not any(changed(b) for b in blocks if b["TrackNo"] != 4):
        losses.append("the effect is lost")
    for reader in ("mixdown -o", "saveall"):
        code, err = result[reader]
        if code != 0 and "being edited by another process" in err:
            losses.append(reader + " was refused by the lock although it only reads")
    succeeded = [n for n, (code, _) in result.items() if code == 0]
    return losses, refused, succeeded


def main():
    tone_dir = tempfile.mkdtemp(prefix="tarvok-probe-")
    tone = os.path.join(tone_dir, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "2",
                    "sine", "440"], check=True)
    lost_tries = 0
    refusals = {}
    successes = {}
    for i in range(TRIES):
        losses, refused, succeeded = one_try(tone_dir, tone)
        for name in refused:
            refusals[name] = refusals.get(name, 0) + 1
        for name in succeeded:
            successes[name] = successes.get(name, 0) + 1
        if losses:
            lost_tries += 1
            print("try %d: %s" % (i + 1, "; ".join(losses)))
    shutil.rmtree(tone_dir, ignore_errors=True)
    print("tries with a lost update: %d of %d" % (lost_tries, TRIES))
    print("succeeded:", successes)
    print("refused writers (no loss):", refusals)
    return 1 if lost_tries else 0


if __name__ == "__main__":
    sys.exit(main())
