#!/usr/bin/env python3
"""The fault matrix: runs the real tarmix process against tarmix-sim on a pseudo-terminal
with a bad line between them, and sorts every run into one class:

  good            tarmix reported success and the device (or PC) holds what was sent
  failure         tarmix reported a failure (non-zero exit code), the PC's files intact
  damaged         tarmix reported a failure but a PC file changed or a partial file lies
                  under a final name
  undetectable    reported success with wrong data that the protocol cannot see: in each
                  block or frame with wrong bytes their changes cancel in its checksum,
                  and cancelling flips of the line inside it account for every change
  silent          reported success with wrong data otherwise: a fault of the program
  hang            tarmix did not end within the limit
  crash           tarmix ended by a signal
  skipped         the seed's model does not have the operation (nothing ran)

The model turns with the seed: seed N runs on the Nth model of the simulated controller's
list (modulo its length), so 18 seeds cover every model.

After a reported failure the same operation runs again on a clean line against the same
device; "retry" counts the retries that did not succeed. The table lists the counts per
operation, line speed, verify switch and fault; any silent corruption (and any
undetectable run with verify on), damaged PC file, hang, crash or failed retry fails the
matrix.

A long run can be split over machines or sessions: each part chooses its seeds with
--first-seed and appends its runs to a file with --record; --tally prints the table of
one or more such files without running anything.
"""

import argparse
import concurrent.futures
import json
import multiprocessing
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass
from pathlib import Path

from fault_ops import (DEVICE_FILE_PARTS, EQUAL, FACTORY_CAPS, FIRMWARE, OPERATIONS,
                       RESTING_BAUD, DeviceState, Model, Operation, Tools, Undetectable,
                       describe_models, device_damage, read_or_none, read_srecords)

HANG_LIMIT_S = 150
CLASSES = ["good", "failure", "damaged", "undetectable", "silent", "hang", "crash", "rig",
           "skipped"]
BAUD_CHANGE_ERROR = "Baudrate change error"  # the program's message, in English
# The fields of a recorded run, which together name it.
RUN_KEY = ("operation", "model", "baud", "verify", "fault", "seed")


# The phases a fault can be aimed at: one bit flipped in each run, so that the short phases
# are hit in every run that asks for them (an operation without the phase runs clean).
PHASES = ("identification", "caps", "erase", "echo", "address", "listing", "eeprom", "restart")


def fault_plans(seed, traffic):
    """The fault of each kind for one seed, from the bytes the device receives and sends in
    a run: rates that leave about half the runs good, and about two cancelling pairs of
    flips per run for cancel and cancel-in."""
    inbound, outbound = traffic
    point = random.Random(seed * 7919 + inbound).randrange(16, inbound)
    return {
        "drop": f"drop={0.6 / outbound:.7f}",
        "drop-in": f"drop-in={0.6 / inbound:.7f}",
        "corrupt": f"corrupt={0.6 / outbound:.7f}",
        "corrupt-in": f"corrupt-in={0.6 / inbound:.7f}",
        "cancel": f"cancel={2 / outbound:.7f}",
        "cancel-in": f"cancel-in={2 / inbound:.7f}",
        "stall": "stall=4500@0.03",
        "gone": f"gone@{point}",
        "reset": f"reset@{point}",
    } | {f"phase-{name}": f"phase={name}" for name in PHASES}


@dataclass
class Trial:
    operation: Operation
    model: Model
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
    why: str = ""


class Rig:
    """One device and one program run in a folder of their own."""

    def __init__(self, tools, folder, trial):
        self.tools, self.build, self.folder, self.trial = tools, tools.build, Path(folder), trial
        self.model = trial.model
        self.state = self.folder / "state"
        self.link = self.folder / "tty"
        self.state.mkdir(parents=True, exist_ok=True)
        self.config = self.folder / "config" / "tarmix"
        self.config.mkdir(parents=True, exist_ok=True)
        # The rate of a bulk transfer comes from the settings, not from the command line.
        (self.config / "Tarmix.ini").write_bytes(
            f"[LANGUAGE]: 1\r\n[BAUDRATE]: {trial.baud}\r\n".encode())

    @classmethod
    def standalone(cls, tools, folder, operation, seed, model):
        """A rig for preparing a run outside the matrix, on a clean line."""
        Path(folder).mkdir(parents=True, exist_ok=True)
        return cls(tools, folder, Trial(operation, model, 115200, False, "none", seed, ""))

    def write_state(self, drives=None, eeprom=None, firmware=FIRMWARE):
        """The device as it comes from the factory, with these drive sizes (kB; the model's
        own unless given) and monitor version."""
        drives = self.model.drive_sizes_kb if drives is None else drives
        (self.state / "firmware.txt").write_text(f"{firmware}\n")
        (self.state / "drives.txt").write_text("".join(f"{kb}\n" for kb in drives))
        for drive in "ABC":
            (self.state / "drives" / drive).mkdir(parents=True, exist_ok=True)
        if eeprom is not None:
            (self.state / "eeprom.bin").write_bytes(eeprom)
        self.write_caps(FACTORY_CAPS)

    def write_caps(self, caps=FACTORY_CAPS):
        (self.state / "caps.txt").write_text("".join(f"{value}\n" for value in caps))

    def fault_log(self):
        """What the fault injector wrote: each fault, and each change of the line's rate."""
        return (read_or_none(self.folder / "sim-faults.log") or b"").decode(errors="replace")

    def start_simulator(self, faults):
        # Answers leave whole, as the in-process port hands them over: in pieces a
        # millisecond apart, the tail of an answer the program gave up on could land before
        # or after its next drain of the line depending on the machine's load, and the run's
        # class with it.
        command = [str(self.build / "tarmix-sim"), "--model", self.model.keyword,
                   "--link", str(self.link), "--state", str(self.state), "--pieces", "0"]
        if self.trial.operation.parallel:
            command += ["--lpt", str(self.folder / "lpt")]
        if faults:
            command += ["--faults", self.trial.faults, "--seed", str(self.trial.seed)]
        self.sim_log = open(self.folder / ("sim-faults.log" if faults else "sim.log"), "a")
        self.sim = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=self.sim_log, text=True)
        if not self.sim.stdout.readline():
            raise RuntimeError("tarmix-sim did not start: " + " ".join(command))

    def stop_simulator(self):
        self.sim.send_signal(signal.SIGTERM)
        self.sim.wait(timeout=30)
        self.sim_log.close()

    def run_program(self, arguments, verify):
        env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            env.pop(name, None)
        env.update(XDG_CONFIG_HOME=str(self.folder / "config"), TMPDIR=str(self.folder),
                   XDG_STATE_HOME=str(self.folder / "traces"),
                   TARMIX_COM1=str(self.link), TARMIX_LPT1=str(self.folder / "no-lpt"))
        command = [str(self.build / "tarmix"), "--headless"] + (["--verify"] if verify else [])
        op = self.trial.operation
        if op.needs_runner:
            command = [str(self.build / "tarmix-faults"), "--port", str(self.link), "--settings",
                       str(self.config)] + op.runner_options(self) + ["--"] + command[1:]
        command += arguments + ["COM1", str(self.trial.baud)]
        began = time.monotonic()
        with open(self.folder / "tarmix.log", "a") as log:
            log.write("$ " + " ".join(command) + "\n")
            log.flush()
            program = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT,
                                       cwd=self.folder)
            code = wait_or_kill(program, HANG_LIMIT_S)
        return code, time.monotonic() - began

    def flash(self):
        return read_srecords(self.state / "memory.srec")

    def output_log(self):
        """Where the program's clean runs write what they say."""
        return self.folder / "tarmix.log"

    def console(self):
        """What the program said in its runs."""
        return (read_or_none(self.folder / "tarmix.log") or b"").decode(errors="replace")

    def device_file(self):
        return read_or_none(self.state / "drives" / Path(*DEVICE_FILE_PARTS))

    def relative(self, argument):
        """A path of the run as the in-process runner is given it: from the run's folder."""
        if argument.startswith(str(self.folder.parent) + os.sep):
            return os.path.relpath(argument, self.folder)
        return argument


class InProcessRig(Rig):
    """The same run through tarmix-faults: the program and the simulated controller in one
    process on the virtual clock, the faults from the same injector. The paths are given
    from the run's folder, so the log of a seed is the same in any folder."""

    HANG_LIMIT_S = 60  # real seconds; a run takes milliseconds
    HUNG = 124  # tarmix-faults: the run went on for hours of line time

    def start_simulator(self, faults):
        self.faulty = faults

    def output_log(self):
        return self.folder / "sim.log"

    def console(self):
        return self.fault_log()  # the program's words and the faults share the log

    def stop_simulator(self):
        pass

    def command(self, arguments, verify):
        log = "sim-faults.log" if self.faulty else "sim.log"
        # The program takes relative PC paths from its own folder, which is the run's.
        shutil.copy(self.config / "Tarmix.ini", self.folder / "Tarmix.ini")
        command = [str(self.build / "tarmix-faults"), "--model", self.model.keyword,
                   "--state", "state", "--settings", ".", "--log", log]
        command += [self.relative(a) for a in self.trial.operation.runner_options(self)]
        if self.faulty:
            command += ["--faults", self.trial.faults, "--seed", str(self.trial.seed)]
        command += ["--", "--headless"] + (["--verify"] if verify else [])
        return command + [self.relative(a) for a in arguments] + ["COM1", str(self.trial.baud)]

    def run_program(self, arguments, verify):
        began = time.monotonic()
        code = self.run_command(self.command(arguments, verify))
        if code == self.HUNG:
            code = None
        return code, time.monotonic() - began

    def run_command(self, command):
        program = subprocess.Popen(command, cwd=self.folder, stdout=subprocess.DEVNULL)
        return wait_or_kill(program, self.HANG_LIMIT_S)


class ServedRig(InProcessRig):
    """The in-process run forked by a tarmix-faults --serve of the worker thread, which
    saves starting a process for each run; its log is the same as the run's on its own."""

    servers = threading.local()

    def run_command(self, command):
        # A worker forked from a process with a server starts its own.
        server = getattr(self.servers, "process", None)
        if server is None or self.servers.owner != os.getpid():
            server = self.servers.process = subprocess.Popen(
                [command[0], "--serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                text=True)
            self.servers.owner = os.getpid()
        server.stdin.write("\t".join([str(self.folder)] + command[1:]) + "\n")
        server.stdin.flush()
        answer = server.stdout.readline()
        if not answer:
            raise RuntimeError("tarmix-faults --serve ended")
        code = int(answer)
        return None if code == -signal.SIGALRM else code  # the server's real-time limit


def wait_or_kill(program, limit_s):
    """The program's exit code, or None when it was killed after `limit_s` seconds. The
    wait blocks (a wait with a time-out polls, and overshoots a run of milliseconds by as
    much again)."""
    killed = threading.Event()

    def kill():
        killed.set()
        program.kill()

    killer = threading.Timer(limit_s, kill)
    killer.start()
    try:
        code = program.wait()
    finally:
        killer.cancel()
    return None if killed.is_set() else code


def scratch_folder(prefix):
    """A new folder for the runs: in memory where the machine offers it (a run makes and
    removes a dozen files and folders, which a disk's journal makes slow), else in the
    temporary folder."""
    memory = Path("/dev/shm")
    where = memory if memory.is_dir() and os.access(memory, os.W_OK) else None
    return tempfile.mkdtemp(prefix=prefix, dir=where)


def cancelling_pairs(log):
    """The pairs of flips the log shows that can cancel in a sum, each as the distance
    between its two bytes and the bit flipped: the injector's cancelling pairs ("fault
    cancel-in 17+20 bit 3"), and any two single flips of one bit in one direction of the
    line ("fault corrupt 8523 bit 5" and "fault corrupt 11574 bit 5"), which cancel when
    they go opposite ways inside one long frame."""
    pairs, singles = [], {}
    for line in log.splitlines():
        words = line.split()
        if len(words) < 5 or words[0] != "fault" or words[-2] != "bit":
            continue
        if words[1].startswith("cancel") and len(words) == 5 and "+" in words[2]:
            first, second = words[2].split("+")
            pairs.append((int(second) - int(first), int(words[4])))
        elif words[1] in ("corrupt", "corrupt-in") and len(words) == 5:
            direction = "in" if words[1] == "corrupt-in" else "out"
            singles.setdefault((direction, words[4]), []).append(int(words[2]))
        elif words[1] == "phase" and len(words) == 7:
            singles.setdefault((words[3], words[6]), []).append(int(words[4]))
    for (_, bit), offsets in singles.items():
        pairs += [(b - a, int(bit)) for i, a in enumerate(offsets) for b in offsets[i + 1 :]]
    return pairs


def classify(trial, code, rig):
    """The run's class, and why when it is a bad one. Everything is judged against the
    simulated device's own state before and after the run and the PC's files, never
    against what the program said or wrote about them."""
    if code is None:
        return "hang", ""
    if code < 0:
        return "crash", ""
    op = trial.operation
    damage = device_damage(op, rig, code == 0)
    if code != 0:
        if damage:
            return "damaged", "; ".join(damage)
        return ("failure", "") if op.intact(rig) else ("damaged", op.not_intact)
    log = rig.fault_log()
    # A rate change a fault spoiled is said on the console; without that, a run that never
    # reached its cell's rate means the rig did not set it up.
    if (trial.baud != RESTING_BAUD and op.rate_from_settings
            and trial.model.transfers_at(trial.baud, op.firmware)
            and f"rate {trial.baud}" not in log and BAUD_CHANGE_ERROR not in rig.console()):
        return "rig", f"the line never ran at {trial.baud}"
    if damage:
        return "silent", "; ".join(damage)
    judgement = op.judge(rig)
    if judgement == EQUAL:
        return "good", ""
    # Changes that cancel in a block's sum are the line's doing only where a cancelling
    # pair of flips lies inside that block.
    if isinstance(judgement, Undetectable):
        unexplained = judgement.unexplained(cancelling_pairs(log))
        if not unexplained:
            return "undetectable", ""
        return "silent", (f"wrong data cancelling in {len(unexplained)} of "
                          f"{len(judgement.blocks)} blocks without a cancelling fault there")
    return "silent", "wrong data"


def run_name_of(record):
    return Path(record["files"]).name


def run_name(trial):
    """The folder of a run: the same for the same trial, so that a replay of a seed gives
    its log byte for byte."""
    verify = "verify" if trial.verify else "plain"
    return (f"{trial.operation.key}-{trial.model.name}-{trial.baud}-{verify}-{trial.fault}"
            f"-{trial.seed}").replace("+", "plus")


def run_trial(tools, workroot, trial, keep=False):
    if not trial.operation.applies_to(trial.model):
        return Result(trial, "skipped", 0.0)
    folder = Path(workroot) / run_name(trial)
    folder.mkdir(parents=True)
    rig = tools.rig_class(tools, folder, trial)
    op = trial.operation
    op.prepare(rig)
    rig.device_before = DeviceState(rig.state)
    rig.start_simulator(faults=True)
    try:
        code, seconds = rig.run_program(op.arguments(rig), trial.verify)
    finally:
        rig.stop_simulator()
    rig.exit_code = code
    outcome, why = classify(trial, code, rig)
    result = Result(trial, outcome, seconds, why=why)
    if result.outcome == "failure":
        rig.start_simulator(faults=False)
        try:
            retry_code, _ = rig.run_program(op.arguments(rig), trial.verify)
        finally:
            rig.stop_simulator()
        result.retry_failed = retry_code != 0 or op.judge(rig) != EQUAL
    if result.outcome in ("good", "failure", "undetectable") and not result.retry_failed and not keep:
        shutil.rmtree(folder, ignore_errors=True)
    else:
        result.detail = str(folder)
    return result


def record_of(result):
    """One run as a line of a --record file."""
    t = result.trial
    record = {"operation": t.operation.key, "model": t.model.keyword, "baud": t.baud, "verify": t.verify, "fault": t.fault,
              "seed": t.seed, "faults": t.faults, "outcome": result.outcome,
              "seconds": round(result.seconds, 2), "retry_failed": result.retry_failed}
    if result.detail:
        record["files"] = result.detail
    if result.why:
        record["why"] = result.why
    return record


def read_records(paths):
    """The runs in --record files; a run recorded twice counts once (its last record)."""
    runs = {}
    for path in paths:
        for number, line in enumerate(Path(path).read_text().splitlines(), 1):
            if not line.strip():
                continue
            try:
                record = json.loads(line)
                runs[tuple(record.get(k) for k in RUN_KEY)] = record
            except (ValueError, KeyError, TypeError) as error:
                raise SystemExit(f"faults: {path}:{number}: not a recorded run ({error})")
    return list(runs.values())


def fails(record):
    """Whether a run fails the matrix."""
    return (record["outcome"] in ("damaged", "silent", "hang", "crash", "rig")
            or record["retry_failed"] or (record["outcome"] == "undetectable" and record["verify"]))


def print_table(records, out, key_of, headings):
    """One row of class counts per key of a run; `headings` name the key's parts and give
    their widths (negative: left-aligned)."""
    cells = {}
    for r in records:
        cell = cells.setdefault(key_of(r), {c: 0 for c in CLASSES}
                                | {"runs": 0, "retry": 0, "max_s": 0.0})
        cell["runs"] += 1
        cell[r["outcome"]] += 1
        cell["retry"] += r["retry_failed"]
        cell["max_s"] = max(cell["max_s"], r["seconds"])
    columns = ["runs"] + CLASSES + ["retry", "max_s"]
    width = lambda c: 12 if c == "undetectable" else 7
    key_text = lambda parts: " ".join(
        f"{str(p):{'<' if w < 0 else '>'}{abs(w)}}" for p, w in zip(parts, headings.values()))
    print(key_text(headings) + " " + " ".join(f"{c:>{width(c)}}" for c in columns), file=out)
    for key in sorted(cells):
        cell = cells[key]
        values = " ".join(f"{cell[c]:>{width(c)}.1f}" if c == "max_s" else
                          f"{cell[c]:>{width(c)}}" for c in columns)
        print(f"{key_text(key)} {values}", file=out)
    totals = {c: sum(cell[c] for cell in cells.values()) for c in columns if c != "max_s"}
    print("total: " + ", ".join(f"{c} {v}" for c, v in totals.items()), file=out)


def print_tables(records, out):
    """The table per operation, line speed, verify switch and fault, then per model, then
    per operation alone."""
    print_table(records, out,
                lambda r: (r["operation"], r["baud"], "on" if r["verify"] else "off", r["fault"]),
                {"operation": -17, "baud": 6, "verify": -6, "fault": -20})
    print(file=out)
    print_table(records, out, lambda r: (r.get("model", "?"), r["operation"]),
                {"model": -16, "operation": -17})
    print(file=out)
    print_table(records, out, lambda r: (r["operation"],), {"operation": -17})


def print_undetectable_rate(records, out):
    """How often wrong data passed the protocol's checks, without and with --verify."""
    for verify in (False, True):
        runs = [r for r in records if r["verify"] == verify and r["outcome"] != "skipped"]
        cancelling = [r for r in runs if r["fault"].startswith("cancel")]
        count = lambda rs: sum(r["outcome"] == "undetectable" for r in rs)
        share = f" ({100 * count(runs) / len(runs):.1f} %)" if runs else ""
        print(f"undetectable with verify {'on' if verify else 'off'}: {count(runs)} of "
              f"{len(runs)} runs{share}, {count(cancelling)} of {len(cancelling)} under cancel "
              f"and cancel-in", file=out)


def report(records, out):
    """The table, the undetectable rate and a line for each run that fails the matrix;
    the exit status."""
    print_tables(records, out)
    print_undetectable_rate(records, out)
    bad = [r for r in records if fails(r)]
    for r in bad:
        files = f"; files in {r['files']}" if "files" in r else ""
        why = f" ({r['why']})" if r.get("why") else ""
        print(f"FAIL {r['outcome']}{' (retry failed)' if r['retry_failed'] else ''}{why}: "
              f"{r['operation']} {r.get('model', '?')} {r['baud']} verify={'on' if r['verify'] else 'off'} "
              f"--faults {r['faults']} --seed {r['seed']}{files}", file=sys.stderr)
        if r.get("replay"):
            print(f"  replay: {r['replay']}", file=sys.stderr)
    return 1 if bad else 0


def parse_arguments():
    parser = argparse.ArgumentParser(description="fault matrix over the bulk operations")
    # Absolute: the runs go on in folders of their own.
    parser.add_argument("--build", type=os.path.abspath,
                        help="build folder with tarmix and tarmix-sim")
    parser.add_argument("--runs", type=int, default=3, help="seeds per cell")
    parser.add_argument("--ops", default="", help="comma-separated operations (default all)")
    parser.add_argument("--models", default="",
                        help="comma-separated models the seeds turn through (default all)")
    parser.add_argument("--faults", default="", help="comma-separated fault kinds (default all)")
    parser.add_argument("--verify-ops", default=None,
                        help="comma-separated operations that also run with --verify (default all)")
    parser.add_argument("--baud", default="57600,115200", help="comma-separated line speeds")
    parser.add_argument("--verify", choices=("on", "off", "both"), default="both",
                        help="which runs of the --verify-ops to make")
    parser.add_argument("--in-process", action="store_true",
                        help="run program and device in one process on the virtual clock")
    parser.add_argument("--keep", action="store_true",
                        help="keep every run's folder and print where (for a replay)")
    parser.add_argument("--time-limit", type=float, default=0,
                        help="start no run after this many seconds (0: none)")
    parser.add_argument("--check-paths", action="store_true",
                        help="run each trial on the pty and twice in process: the classes must "
                             "agree and the two in-process logs be the same bytes")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--first-seed", type=int, default=1)
    parser.add_argument("--record", help="append one JSON line per run to this file")
    parser.add_argument("--tally", nargs="+", metavar="FILE",
                        help="print the table of these --record files and run nothing")
    args = parser.parse_args()
    if not args.tally and not args.build:
        parser.error("--build is needed unless --tally is given")
    return args


def unknown_names(names, known, what):
    """A message naming what in `names` is not in `known`, or None."""
    unknown = [n for n in names if n not in known]
    if not unknown:
        return None
    return f"faults: unknown {what} {', '.join(unknown)}; known: {', '.join(known)}"


def model_of_seed(models, seed):
    """The model a seed runs on: the models in turn."""
    return models[seed % len(models)]


def make_trials(args, has_verify, models):
    """Every run of the matrix, or a message naming an unknown operation or fault kind."""
    keys = args.ops.split(",") if args.ops else [
        k for k, op in OPERATIONS.items()]
    verify_keys = keys if args.verify_ops is None else args.verify_ops.split(",")
    kinds_known = list(fault_plans(1, (100, 100)))
    kinds = args.faults.split(",") if args.faults else kinds_known
    known_models = {m.keyword: m for m in models}
    if args.models:
        models = [known_models.get(name) for name in args.models.split(",")]
    problem = (unknown_names(keys + verify_keys, OPERATIONS, "operation")
               or unknown_names(kinds, kinds_known, "fault kind")
               or (args.models and unknown_names(args.models.split(","), known_models, "model")))
    if problem:
        return None, problem
    trials = []
    for op in (OPERATIONS[k] for k in keys):
        with_verify = has_verify and op.verify_applies and op.key in verify_keys
        for baud in [int(b) for b in args.baud.split(",")]:
            switches = {"on": [True], "off": [False], "both": [False, True]}[args.verify]
            for verify in switches if with_verify else [False]:
                for seed in range(args.first_seed, args.first_seed + args.runs):
                    plans = fault_plans(seed, op.traffic(verify))
                    model = model_of_seed(models, seed)
                    for kind in kinds:
                        trials.append(Trial(op, model, baud, verify, kind, seed, plans[kind]))
    # Seed by seed over all cells: a run cut short by --time-limit covers every cell.
    trials.sort(key=lambda t: t.seed)
    return trials, None


# What the matrix's worker processes share, set before they are forked from this one.
matrix = {}


def run_numbered_trial(number):
    """The record of the matrix's trial `number`, run in a worker process."""
    return record_of(run_trial(matrix["tools"], matrix["workroot"], matrix["trials"][number],
                               matrix["keep"]))


def run_matrix(args, trials, out):
    """Runs the trials, appending each run to the --record file; the records of the runs and
    the work folder. The workers are processes, not threads: the judging is Python, and
    threads would take turns at it."""
    workroot = scratch_folder("tarmix-faults-")
    tools = Tools(args.build, ServedRig if args.in_process else Rig)
    prepare_once(tools, Path(workroot), trials)
    matrix.update(tools=tools, workroot=workroot, trials=trials, keep=args.keep)
    began = time.monotonic()

    def results():
        """The runs' records and trials in the trials' order, a batch at a time, until the
        time is up."""
        batch = 50 * args.jobs
        # Ctrl-C is the main process's to handle: the pool ends its workers.
        ignore_interrupt = lambda: signal.signal(signal.SIGINT, signal.SIG_IGN)
        with multiprocessing.get_context("fork").Pool(args.jobs, ignore_interrupt) as pool:
            for start in range(0, len(trials), batch):
                if args.time_limit and time.monotonic() - began > args.time_limit:
                    return
                numbers = range(start, min(start + batch, len(trials)))
                for number, record in zip(numbers, pool.imap(run_numbered_trial, numbers, 4)):
                    yield record, trials[number]

    records = []
    try:
        for record, trial in results():
            records.append(record)
            if args.in_process and fails(record):
                record["replay"] = replay_command(args, trial)
            if args.record:
                with open(args.record, "a") as recorded:
                    recorded.write(json.dumps(record) + "\n")
    except KeyboardInterrupt:
        if not args.keep:
            shutil.rmtree(workroot, ignore_errors=True)
        raise
    seconds = time.monotonic() - began
    ran = sum(r["outcome"] != "skipped" for r in records)
    print(f"{ran} runs ({len(records) - ran} skipped: the model lacks the operation) in "
          f"{seconds:.0f} s ({ran / max(seconds, 1e-3):.1f} runs/s)", file=out)
    return records, workroot


def prepare_once(tools, workroot, trials):
    """What the runs of each operation on each model share, made once before them."""
    pairs = {(t.operation.key, t.model.keyword): t for t in trials
             if t.operation.applies_to(t.model)}
    for trial in pairs.values():
        trial.operation.prepare_once(tools, workroot, trial.model)


def replay_command(args, trial):
    """The command that runs this one trial again and keeps its folder and log."""
    return (f"scripts/faults --build {args.build} --in-process --ops {trial.operation.key} "
            f"--models '{trial.model.keyword}' --baud {trial.baud} --verify {'on' if trial.verify else 'off'} "
            f"--faults {trial.fault} --first-seed {trial.seed} --runs 1 --keep")


def program_lines(text):
    """What the program said, without the injector's lines and the rig's command lines."""
    return [line for line in text.splitlines()
            if line and not line.startswith(("fault ", "rate ", "$ ", "tarmix-faults: "))]


def first_divergence(pty_folder, in_process_folder):
    """Where the program's words on the pty first part from those in process: a run on the
    pty that waited out a time-out the virtual clock did not (or the other way) shows here."""
    console = (read_or_none(pty_folder / "tarmix.log") or b"").decode(errors="replace")
    faulty_run = console.split("\n$ ")[0]  # a retry after a failure follows its command line
    # The pty run names its device and files by their full paths, the other by the
    # simulated port and paths from the run's folder.
    faulty_run = faulty_run.replace(f"{pty_folder}/tty", "simulated controller")
    pty = program_lines(faulty_run.replace(f"{pty_folder}/", ""))
    own = program_lines((in_process_folder / "sim-faults.log").read_text(errors="replace"))
    for number, (a, b) in enumerate(zip(pty, own)):
        if a != b:
            return f"  first difference, line {number + 1}: pty {a!r}, in process {b!r}"
    if len(pty) == len(own):
        return f"  the program said the same {len(pty)} lines on both paths"
    return f"  the program said the same {min(len(pty), len(own))} lines first; then one stopped"


def check_paths(args, trials, out):
    """Each trial on both paths: the pty run and the in-process run must fall into the same
    class, and two in-process runs of the seed (in two folders, one started on its own and one
    forked by the server) must write the same log."""
    workroots = [Path(scratch_folder("tarmix-paths-")) for _ in range(3)]
    rigs = (Rig, InProcessRig, ServedRig)
    tools = [Tools(args.build, rig) for rig in rigs]
    # What the runs share (images, backups) is the same on both paths: made once.
    prepare_once(tools[1], workroots[0], trials)
    problems = 0
    runnable = [t for t in trials if t.operation.applies_to(t.model)]
    on_all_paths = lambda trial: [run_trial(t, root, trial, keep=True)
                                  for t, root in zip(tools, workroots)]
    # The runs mostly wait for the line: --jobs trials at a time.
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        every_result = list(pool.map(on_all_paths, runnable))
    for trial, results in zip(runnable, every_result):
        logs = [(Path(r.detail) / "sim-faults.log").read_bytes() for r in results[1:]]
        outcomes = [r.outcome for r in results]
        same = outcomes[0] == outcomes[1] == outcomes[2] and logs[0] == logs[1]
        problems += not same
        print(f"{'same' if same else 'DIFFERENT'}: {run_name(trial)}: pty {outcomes[0]}, "
              f"in process {outcomes[1]} and {outcomes[2]}, logs "
              f"{'equal' if logs[0] == logs[1] else 'differ'}", file=out)
        if outcomes[0] != outcomes[1]:
            print(first_divergence(Path(results[0].detail), Path(results[1].detail)), file=out)
    if not problems:
        for root in workroots:
            shutil.rmtree(root, ignore_errors=True)
    return 1 if problems else 0


def main():
    args = parse_arguments()
    if args.tally:
        return report(read_records(args.tally), sys.stdout)
    help_text = subprocess.run([str(Path(args.build) / "tarmix"), "--help"],
                               capture_output=True, text=True).stdout
    trials, problem = make_trials(args, "--verify" in help_text, describe_models(args.build))
    if problem:
        print(problem, file=sys.stderr)
        return 2
    if args.check_paths:
        return check_paths(args, trials, sys.stdout)
    try:
        records, workroot = run_matrix(args, trials, sys.stdout)
    except KeyboardInterrupt:
        kept = f"; the runs so far are in {args.record}" if args.record else ""
        print(f"interrupted{kept}", file=sys.stderr)
        return 130
    status = report(records, sys.stdout)
    if args.keep:
        for r in (r for r in records if "files" in r):
            print(f"run {run_name_of(r)}: {r['outcome']}; log {r['files']}/sim-faults.log")
    elif status == 0:
        shutil.rmtree(workroot, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
