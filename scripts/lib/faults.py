#!/usr/bin/env python3
"""The fault matrix: runs the real tarmix process against tarmix-sim on a pseudo-terminal
with a bad line between them, and sorts every run into one class:

  good            tarmix reported success and the device (or PC) holds what was sent
  failure         tarmix reported a failure (non-zero exit code), its input file intact
  undetectable    reported success with wrong data that the protocol cannot see: bit flips
                  in one block whose changes cancel in the block checksum
  silent          reported success with wrong data otherwise: a fault of the program
  hang            tarmix did not end within the limit
  crash           tarmix ended by a signal

After a reported failure the same operation runs again on a clean line against the same
device; "retry" counts the retries that did not succeed. The table lists the counts per
operation, line speed, verify switch and fault; any silent corruption (and any
undetectable run with verify on), hang, crash or failed retry fails the matrix.
"""

import argparse
import concurrent.futures
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path

HANG_LIMIT_S = 150
IMAGE_SIZE = 12003  # four blocks of the serial download, the last one odd
BLOCK_LIMIT = 4000
CLASSES = ["good", "failure", "undetectable", "silent", "hang", "crash"]


def fault_plans(seed, inbound_bytes):
    """The fault of each kind for one seed: rates that leave about half the runs good."""
    point = random.Random(seed * 7919 + inbound_bytes).randrange(16, inbound_bytes)
    return {
        "drop": "drop=0.002",
        "drop-in": f"drop-in={0.6 / inbound_bytes:.7f}",
        "corrupt": "corrupt=0.002",
        "corrupt-in": f"corrupt-in={0.6 / inbound_bytes:.7f}",
        "stall": "stall=4500@0.03",
        "gone": f"gone@{point}",
        "reset": f"reset@{point}",
    }


@dataclass
class Operation:
    key: str
    model: str
    image_start: int
    flash_of: object  # image address -> flash address

    def inbound_bytes(self, verify):
        return (IMAGE_SIZE + 600) * (2 if verify else 1)


OPERATIONS = {
    "download": Operation("download", "alder", 0x110000, lambda a: a),
    "download-staged": Operation(
        "download-staged", "vantix", 0x80000000, lambda a: a - 0x80000000 + 0x100000
    ),
}


def read_srecords(path):
    """Every data byte of an S-record file, by address."""
    data = {}
    widths = {"1": 2, "2": 3, "3": 4}
    for line in Path(path).read_text(errors="replace").splitlines():
        line = line.strip()
        if len(line) < 4 or line[0] != "S" or line[1] not in widths:
            continue
        raw = bytes.fromhex(line[2:])
        width = widths[line[1]]
        address = int.from_bytes(raw[1 : 1 + width], "big")
        for i, byte in enumerate(raw[1 + width : -1]):
            data[address + i] = byte
    return data


def undetectable(expected, flash, operation):
    """The wrong bytes lie in one block and their changes cancel in its 32-bit sum."""
    wrong = [a for a, b in expected.items() if flash.get(operation.flash_of(a), 0xFF) != b]
    if not wrong or max(wrong) - min(wrong) >= BLOCK_LIMIT:
        return False
    delta = sum(flash.get(operation.flash_of(a), 0xFF) - expected[a] for a in wrong)
    return delta % (1 << 32) == 0


@dataclass
class Trial:
    operation: Operation
    baud: int
    verify: bool
    fault: str
    seed: int
    faults: str


@dataclass
class Result:
    trial: Trial
    outcome: str
    seconds: float
    retry_failed: bool = False
    detail: str = ""


class Rig:
    """One device and one program run in a folder of their own."""

    def __init__(self, build, folder, trial):
        self.build, self.folder, self.trial = Path(build), Path(folder), trial
        self.state = self.folder / "state"
        self.link = self.folder / "tty"
        self.state.mkdir(parents=True, exist_ok=True)
        config = self.folder / "config" / "tarmix"
        config.mkdir(parents=True, exist_ok=True)
        (config / "Tarmix.ini").write_bytes(b"[LANGUAGE]: 1\r\n")

    def start_simulator(self, faults):
        command = [str(self.build / "tarmix-sim"), "--model", self.trial.operation.model,
                   "--link", str(self.link), "--state", str(self.state)]
        if faults:
            command += ["--faults", self.trial.faults, "--seed", str(self.trial.seed)]
        self.sim_log = open(self.folder / ("sim-faults.log" if faults else "sim.log"), "w")
        self.sim = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=self.sim_log, text=True)
        if not self.sim.stdout.readline():
            raise RuntimeError("tarmix-sim did not start: " + " ".join(command))

    def stop_simulator(self):
        self.sim.send_signal(signal.SIGTERM)
        self.sim.wait(timeout=30)
        self.sim_log.close()

    def run_program(self, image):
        env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            env.pop(name, None)
        env.update(XDG_CONFIG_HOME=str(self.folder / "config"), TMPDIR=str(self.folder),
                   TARMIX_COM1=str(self.link), TARMIX_LPT1=str(self.folder / "no-lpt"))
        command = [str(self.build / "tarmix"), "--headless"]
        if self.trial.verify:
            command.append("--verify")
        command += ["/p", str(image), "COM1", str(self.trial.baud)]
        began = time.monotonic()
        with open(self.folder / "tarmix.log", "w") as log:
            program = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT)
            try:
                code = program.wait(timeout=HANG_LIMIT_S)
            except subprocess.TimeoutExpired:
                program.kill()
                program.wait()
                code = None
        return code, time.monotonic() - began

    def flash(self):
        return read_srecords(self.state / "memory.srec")


def classify(trial, code, expected, flash):
    if code is None:
        return "hang"
    if code < 0:
        return "crash"
    if code != 0:
        return "failure"
    if all(flash.get(trial.operation.flash_of(a), 0xFF) == b for a, b in expected.items()):
        return "good"
    if not trial.verify and undetectable(expected, flash, trial.operation):
        return "undetectable"
    return "silent"


def run_trial(build, workroot, images, trial):
    folder = tempfile.mkdtemp(prefix=f"{trial.operation.key}-{trial.fault}-", dir=workroot)
    rig = Rig(build, folder, trial)
    image, expected = images[trial.operation.key]
    before = Path(image).read_bytes()
    rig.start_simulator(faults=True)
    try:
        code, seconds = rig.run_program(image)
    finally:
        rig.stop_simulator()
    outcome = classify(trial, code, expected, rig.flash())
    if Path(image).read_bytes() != before:
        outcome = "silent"  # the program changed its own input
    result = Result(trial, outcome, seconds)
    if outcome == "failure":
        rig.start_simulator(faults=False)
        try:
            retry_code, _ = rig.run_program(image)
        finally:
            rig.stop_simulator()
        flash = rig.flash()
        result.retry_failed = retry_code != 0 or any(
            flash.get(trial.operation.flash_of(a), 0xFF) != b for a, b in expected.items()
        )
    if outcome in ("good", "failure", "undetectable") and not result.retry_failed:
        shutil.rmtree(folder, ignore_errors=True)
    else:
        result.detail = folder
    return result


def make_images(build, workroot, operations):
    images = {}
    for op in operations:
        path = Path(workroot) / f"{op.key}.rom"
        subprocess.run([str(Path(build) / "tarmix-sim"), "make-image", "--model", op.model,
                        "--size", str(IMAGE_SIZE), "-o", str(path)], check=True)
        images[op.key] = (str(path), read_srecords(path))
    return images


def print_table(results, out):
    cells = {}
    for r in results:
        t = r.trial
        key = (t.operation.key, t.baud, "on" if t.verify else "off", t.fault)
        cell = cells.setdefault(key, {c: 0 for c in CLASSES} | {"runs": 0, "retry": 0, "max_s": 0.0})
        cell["runs"] += 1
        cell[r.outcome] += 1
        cell["retry"] += r.retry_failed
        cell["max_s"] = max(cell["max_s"], r.seconds)
    columns = ["runs"] + CLASSES + ["retry", "max_s"]
    header = f"{'operation':16} {'baud':>6} {'verify':6} {'fault':10} " + " ".join(
        f"{c:>12}" if c == "undetectable" else f"{c:>7}" for c in columns)
    print(header, file=out)
    for key in sorted(cells):
        cell = cells[key]
        values = " ".join(
            f"{cell[c]:>12}" if c == "undetectable" else
            (f"{cell[c]:>7.1f}" if c == "max_s" else f"{cell[c]:>7}") for c in columns)
        print(f"{key[0]:16} {key[1]:>6} {key[2]:6} {key[3]:10} {values}", file=out)
    totals = {c: sum(cell[c] for cell in cells.values()) for c in columns if c != "max_s"}
    print("total: " + ", ".join(f"{c} {v}" for c, v in totals.items()), file=out)
    return totals


def main():
    parser = argparse.ArgumentParser(description="fault matrix over the bulk operations")
    parser.add_argument("--build", required=True, help="build folder with tarmix and tarmix-sim")
    parser.add_argument("--runs", type=int, default=3, help="seeds per cell")
    parser.add_argument("--ops", default="", help="comma-separated operations (default all)")
    parser.add_argument("--faults", default="", help="comma-separated fault kinds (default all)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--first-seed", type=int, default=1)
    args = parser.parse_args()

    keys = args.ops.split(",") if args.ops else list(OPERATIONS)
    unknown = [k for k in keys if k not in OPERATIONS]
    if unknown:
        print(f"faults: unknown operation {', '.join(unknown)}; known: {', '.join(OPERATIONS)}",
              file=sys.stderr)
        return 2
    help_text = subprocess.run([str(Path(args.build) / "tarmix"), "--help"],
                               capture_output=True, text=True).stdout
    verify_switch = [False, True] if "--verify" in help_text else [False]
    operations = [OPERATIONS[k] for k in keys]
    kinds = args.faults.split(",") if args.faults else list(fault_plans(1, 100))

    workroot = tempfile.mkdtemp(prefix="tarmix-faults-")
    images = make_images(args.build, workroot, operations)
    trials = []
    for op in operations:
        for baud in (57600, 115200):
            for verify in verify_switch:
                for seed in range(args.first_seed, args.first_seed + args.runs):
                    plans = fault_plans(seed, op.inbound_bytes(verify))
                    for kind in kinds:
                        trials.append(Trial(op, baud, verify, kind, seed, plans[kind]))
    began = time.monotonic()
    results = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        for result in pool.map(lambda t: run_trial(args.build, workroot, images, t), trials):
            results.append(result)
    print_table(results, sys.stdout)
    print(f"{len(results)} runs in {time.monotonic() - began:.0f} s", file=sys.stdout)
    bad = [r for r in results
           if r.outcome in ("silent", "hang", "crash") or r.retry_failed
           or (r.outcome == "undetectable" and r.trial.verify)]
    for r in bad:
        t = r.trial
        print(f"FAIL {r.outcome}{' (retry failed)' if r.retry_failed else ''}: "
              f"{t.operation.key} {t.baud} verify={'on' if t.verify else 'off'} "
              f"--faults {t.faults} --seed {t.seed}; files in {r.detail}", file=sys.stderr)
    if not bad:
        shutil.rmtree(workroot, ignore_errors=True)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
