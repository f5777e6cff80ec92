"""The operations of the fault matrix. Each one prepares a device (the simulator's state
folder) and the PC's files in a run folder, names the tarmix command line, and judges the
outcome: after a reported success whether the device or the PC holds what was sent, after
a reported failure whether the PC's files are intact.

The simulator's state folder holds the device: memory.srec (flash), eeprom.bin, caps.txt,
drives.txt (drive sizes in kB), firmware.txt and drives/A|B|C/ (the drives' files).

What the judges know of a model (its memory map, block limit, EEPROM area, drives, boot
loader update) is what the simulated controller says of itself (tarmix-sim
--describe-models), never the program's own tables. An operation the model does not have
is skipped on it.
"""

import bisect
import hashlib
import functools
import json
import random
import re
import shutil
import subprocess
from pathlib import Path
from types import SimpleNamespace

IMAGE_SIZE = 12003  # four blocks of the serial download, the last one odd
FILE_SIZE = 12003  # some frames of 512 bytes, the last one short
# The blocks each protocol checks with a sum over their data bytes (a changed length,
# header or checksum byte is seen). A download block is as long as the model's serial
# block limit; the backup reads the application in blocks of 10000 bytes, or 256 on the
# model of code 16, whose backup covers the whole flash. The PC sends files in frames of
# 512 bytes; the simulated device sends its frames with these lengths in turn.
READ_BLOCK = 10000
READ_BLOCK_BY_CODE = {16: 256}
FILE_FRAME = 512
DEVICE_FRAMES = (1000, 65535, 4096, 1, 512, 30000)
EEPROM_BLOCK = 3840
FIRMWARE = 40  # new enough for the EEPROM save
DEVICE_FILE = "A:\\DATA\\LOG.BIN"
DEVICE_FILE_PARTS = ("A", "DATA", "LOG.BIN")
APPLICATION_FILE = "Application.exe"  # New program's file in a drive's root

# The capability record the rig gives every device: value 2 (the EEPROM data length) and
# value 3 (the end of the EEPROM area) set, so that a save covers a real area and a
# rewritten record shows.
FACTORY_CAPS = (1, 0x1000, 0x2000, 0, 2)
EEPROM_SIZE = 8192
# The exit code of a backup that is complete except the entries it names in skipped.txt.
BACKUP_EXCEPT_SKIPPED = 14
# A save covers the EEPROM from the model's own start; on the models whose area starts at
# 0x100 it starts at value 3 minus value 2 of the record when drive B: has a size.
MOVABLE_EEPROM_START = 0x100
RESTING_BAUD = 57600
# Monitors after this version run their UART at 115200 too (on the models that can).
FAST_UART_FIRMWARE = 14
# The program keeps the transfers of model code 2 at 57600 whatever the settings say (its
# faster rate depends on a clock the program only lets the user choose in the window).
RESTING_RATE_CODES = {2}


class Model:
    """One model as the simulated controller describes itself: the fields of a line of
    tarmix-sim --describe-models (keyword, code, flash_banks, ram, application_start,
    staged_flash, serial_block_limit, boot_size, eeprom_start, drive_sizes_kb, ...)."""

    def __init__(self, fields):
        self.__dict__.update(fields)

    @property
    def name(self):
        """The keyword as a part of a file name."""
        return self.keyword.replace(" ", "_")

    def has_drives(self):
        return any(self.drive_sizes_kb)

    def has_eeprom(self, firmware=None):
        firmware = FIRMWARE if firmware is None else firmware
        return self.eeprom_start is not None and firmware >= self.eeprom_firmware

    def runs_at(self, baud, firmware):
        """Whether the monitor's UART can run at this rate."""
        fast = self.fast_uart and (self.fast_on_any_monitor or firmware > FAST_UART_FIRMWARE)
        return baud == RESTING_BAUD or (baud == 115200 and fast)

    def transfers_at(self, baud, firmware):
        """Whether a transfer asked to run at this rate gets there."""
        return self.runs_at(baud, firmware) and self.code not in RESTING_RATE_CODES

    def placed_in_flash(self, loaded):
        """Where the bytes of an application loaded at these addresses end up in the flash:
        where they are, or on a staged model, copied from RAM into the flash above the boot
        loader."""
        if not self.staged_flash:
            return loaded
        offset = self.flash_banks[0][0] + self.boot_size - self.application_start
        return dict(zip((address + offset for address in loaded), loaded.values()))

    def read_block(self):
        return READ_BLOCK_BY_CODE.get(self.code, READ_BLOCK)


def describe_models(build):
    """The models tarmix-sim knows, in its own order."""
    out = subprocess.run([str(Path(build) / "tarmix-sim"), "--describe-models"],
                         capture_output=True, text=True, check=True).stdout
    return [Model(json.loads(line)) for line in out.splitlines() if line.strip()]

# Judgements of a successful run.
EQUAL, UNDETECTABLE, WRONG = "equal", "undetectable", "wrong"


class Undetectable:
    """Wrong bytes whose changes cancel in the checksum of each of their blocks; equal to
    UNDETECTABLE. `blocks` holds each block as its changes (position: new minus old byte)
    and the position just past its data, where its checksum follows."""

    def __init__(self, blocks):
        self.blocks = blocks

    def __eq__(self, other):
        return other == UNDETECTABLE or isinstance(other, Undetectable)

    def __repr__(self):
        return f"undetectable in {len(self.blocks)} blocks"

    def unexplained(self, pairs):
        """The blocks whose changes no cancelling pair of the line explains. A pair
        (distance, bit) flipped bit k of one byte and the other way in a byte `distance`
        further on, inside the block: its two changes are +2^k and -2^k that far apart, or
        the second fell on the checksum just past the data, whose complement it keeps.
        Each pair explains one pair of changes; any change left over means the wrong bytes
        came from somewhere else."""
        pairs = list(pairs)  # each pair is used up by the block it explains
        return [b for b in self.blocks if not explained(*b, pairs)]


def cancelling(delta):
    """The changes of a second byte that cancel `delta` in a sum: its opposite, and for the
    top bit of a byte the same again, as 0x80 + 0x80 is 0 in an 8-bit sum (compare has
    made sure the block's sum cancels in its own width)."""
    return (-delta, delta) if abs(delta) == 0x80 else (-delta,)


def explained(changes, end, pairs):
    """Whether the cancelling pairs (used up as they match) account for every change."""
    left = dict(changes)
    for position in sorted(changes):
        if position not in left:
            continue
        delta = left.pop(position)
        bit = abs(delta).bit_length() - 1
        partner = next((q for q in sorted(left) if q > position
                        and left[q] in cancelling(delta) and (q - position, bit) in pairs), None)
        if abs(delta) != 1 << bit:
            return False
        if partner is None:
            # The other flip may have hit the checksum's first byte.
            if (end - position, bit) not in pairs:
                return False
            pairs.remove((end - position, bit))
            continue
        pairs.remove((partner - position, bit))
        del left[partner]
    return True


def read_srecords(path):
    """Every data byte of an S-record file, by address; empty when there is no file. The
    same contents give the same mapping, shared: callers do not change it."""
    path = Path(path)
    return parse_srecords(path.read_bytes()) if path.exists() else {}


@functools.lru_cache(maxsize=32)
def parse_srecords(text):
    """Most runs leave the flash as they found it or as the image says: parsed once."""
    data = {}
    widths = {"1": 2, "2": 3, "3": 4}
    for line in text.decode(errors="replace").splitlines():
        line = line.strip()
        if len(line) < 4 or line[0] != "S" or line[1] not in widths:
            continue
        try:
            raw = bytes.fromhex(line[2:])
        except ValueError:
            continue
        width = widths[line[1]]
        address = int.from_bytes(raw[1 : 1 + width], "big")
        payload = raw[1 + width : -1]
        data.update(zip(range(address, address + len(payload)), payload))
    return data


def seeded_bytes(size, seed):
    return random.Random(seed).randbytes(size)


class Blocks:
    """The blocks a protocol sums: `blocks(position)` is a position's block, `end(block)`
    the position just past its data."""

    def __init__(self, ends):
        self.ends = ends

    def __call__(self, position):
        return self.ends(position)[0]

    def end(self, position):
        return self.ends(position)[1]


def even_blocks(base, size, total=None):
    """Blocks of `size` bytes following each other from `base`; with `total`, the last one
    ends with the data at that position."""
    def block(position):
        index = (position - base) // size
        end = base + (index + 1) * size
        return index, end if total is None else min(end, total)
    return Blocks(block)


def frames(lengths, total):
    """Frames of these lengths, in turn, carrying `total` bytes."""
    ends = []
    while not ends or ends[-1] < total:
        ends.append((ends[-1] if ends else 0) + lengths[len(ends) % len(lengths)])

    def frame(position):
        index = bisect.bisect_right(ends, position)
        return index, min(ends[index], total)  # the last frame ends with the data
    return Blocks(frame)


def compare(expected, actual, blocks, modulus):
    """EQUAL; UNDETECTABLE when the changes of every block holding wrong bytes cancel in the
    sum modulo `modulus` that the protocol checks on it, or leave it one power of two off,
    which a flip of the checksum just past the data can make up; else WRONG. `expected`
    and `actual` map positions to bytes; a missing position counts as 0xFF."""
    if expected.items() <= actual.items():
        return EQUAL  # the common case, without a loop over every byte
    change = {}
    for position, byte in expected.items():
        got = actual.get(position, 0xFF)
        if got != byte:
            change.setdefault(blocks(position), {})[position] = got - byte
    if not change:
        return EQUAL
    found = []
    for changes in change.values():
        off = sum(changes.values()) % modulus
        off = min(off, modulus - off)
        if off and (off & (off - 1) or off > 0x80):
            return WRONG
        found.append((changes, blocks.end(min(changes))))
    return Undetectable(found)


def compare_bytes(expected, actual, block_of, modulus):
    if actual is None or len(actual) != len(expected):
        return WRONG
    if actual == expected:
        return EQUAL
    return compare(dict(enumerate(expected)), dict(enumerate(actual)), block_of, modulus)


def download_blocks(srecords, model):
    """The blocks of an application download of these S-record bytes: from the first
    address, rounded down to a word, in blocks of the model's serial block limit."""
    return even_blocks(min(srecords) & ~3, model.serial_block_limit)


def compare_download(expected, flash, blocks):
    return compare(expected, flash, blocks, 1 << 32)


def compare_file_sent(expected, copy):
    """A file the PC sent to the device, against its copy there."""
    return compare_bytes(expected, copy, even_blocks(0, FILE_FRAME, len(expected)), 256)


def compare_file_received(expected, copy):
    """A file the device sent to the PC, against its copy there."""
    return compare_bytes(expected, copy, frames(DEVICE_FRAMES, len(expected)), 256)


def compare_eeprom(expected, actual):
    """An EEPROM area (from its start address) against what was sent or saved."""
    return compare_bytes(expected, actual, even_blocks(0, EEPROM_BLOCK, len(expected)), 1 << 16)


def folder_digest(folder):
    """Every file below `folder` with the SHA-256 of its contents."""
    folder = Path(folder)
    return {
        str(p.relative_to(folder)): hashlib.sha256(p.read_bytes()).hexdigest()
        for p in sorted(folder.rglob("*"))
        if p.is_file()
    }


def read_or_none(path):
    path = Path(path)
    return path.read_bytes() if path.is_file() else None


def eeprom_area(saved):
    """The header (start, data length, end) and contents of an EEPROM image file."""
    header = [int.from_bytes(saved[i : i + 4], "little") for i in (0, 4, 8)]
    return header, saved[12:]


def read_numbers(path):
    text = read_or_none(path)
    return [int(word) for word in text.split()] if text is not None else None


class DeviceState:
    """What the simulated device holds, read from its state folder: the whole flash, the
    capability record, the EEPROM, the drive sizes and every drive file."""

    def __init__(self, state):
        state = Path(state)
        self.flash = read_srecords(state / "memory.srec")
        self.caps = read_numbers(state / "caps.txt")
        self.eeprom = (read_or_none(state / "eeprom.bin") or b"").ljust(EEPROM_SIZE, b"\xff")
        self.drive_sizes = read_numbers(state / "drives.txt")
        drives = state / "drives"
        self.files = {str(p.relative_to(drives)): p.read_bytes()
                      for p in sorted(drives.rglob("*")) if p.is_file()}
        self.boot_touched = (state / "boot.txt").exists()

    def eeprom_area(self, model):
        """(start, data length, end) of the area an EEPROM save covers on this device."""
        length, end = self.caps[1], self.caps[2]
        start = model.eeprom_start
        if start == MOVABLE_EEPROM_START and self.drive_sizes[1]:
            start = end - length
        return start, length, end


def with_value(caps, index, values):
    """The record with value `index` replaced by each of `values`."""
    return [caps[:index] + [v] + caps[index + 1 :] for v in values] if caps else [caps]


def flash_changes(before, after, allowed):
    """The flash addresses outside `allowed` whose byte changed (a missing byte is 0xFF)."""
    if before is after:
        return []
    differing = {a for a, _ in before.items() ^ after.items()}
    return [a for a in differing - allowed if before.get(a, 0xFF) != after.get(a, 0xFF)]


def device_damage(op, rig, success):
    """What changed on the device that the operation must leave alone, as a list of
    reasons (empty: nothing). The flash outside what the operation writes, the boot area
    with it; the capability record beyond the one value the operation sets; the EEPROM
    outside the area it restores; drive files it does not write."""
    before, after = rig.device_before, DeviceState(rig.state)
    reasons = []
    written = op.flash_written(rig)
    if written is not None and flash_changes(before.flash, after.flash, written):
        reasons.append("flash outside the image changed")
    if after.boot_touched != before.boot_touched and written is not None:
        reasons.append("boot area erased")
    if after.caps not in op.caps_after(rig, before.caps, success):
        reasons.append(f"capability record {before.caps} became {after.caps}")
    start, end = op.eeprom_written(rig, before)
    if after.eeprom[:start] != before.eeprom[:start] or after.eeprom[end:] != before.eeprom[end:]:
        reasons.append("EEPROM outside the restored area changed")
    if after.drive_sizes != before.drive_sizes and not op.writes_drives:
        reasons.append("drive sizes changed")
    # A command line a fault changed can make the device create a file of another name;
    # the program sees the echo differ and fails, but cannot undo it: only a success is
    # held to the files it may write.
    written = op.files_written()
    changed = {f for f in set(before.files) | set(after.files)
               if before.files.get(f) != after.files.get(f)}
    if success and written is not None and changed - written:
        reasons.append("drive files changed: " + ", ".join(sorted(changed - written)))
    return reasons


class Operation:
    """One bulk operation. Subclasses fill in the device, the command and the judgement.
    What all runs on one model share is made once per model (`made[keyword]`)."""

    key = ""
    verify_applies = True
    firmware = FIRMWARE  # the monitor version of the device it runs on
    parallel = False  # sends through the parallel port
    # The console form of the program cannot start it: tarmix-faults does what the window
    # does, in process or against tarmix-sim's pty.
    needs_runner = False
    # Runs at the rate of the settings (Tarmix.ini); else at the link's own.
    rate_from_settings = True

    def runner_options(self, rig):
        """What the in-process runner is told beside the program's arguments."""
        return []

    def __init__(self):
        self.made = {}

    def applies_to(self, model):
        """Whether the model has this operation; on the others its runs are skipped."""
        return True

    def prepare_once(self, tools, workroot, model):
        """What all runs of this operation on the model share (an image, a backup)."""
        self.made[model.keyword] = SimpleNamespace()

    def mine(self, rig):
        return self.made[rig.model.keyword]

    def traffic(self, verify):
        """About how many bytes the device receives and sends in one run, measured with
        --trace: the fault rates are set from them."""
        raise NotImplementedError

    def prepare(self, rig):
        """The device's state and the PC's files before the run."""
        rig.write_state()

    def arguments(self, rig):
        raise NotImplementedError

    def judge(self, rig):
        """After a success: EQUAL, UNDETECTABLE or WRONG."""
        raise NotImplementedError

    def intact(self, rig):
        """After a failure: the PC's files as they were (no partial file under a final name)."""
        raise NotImplementedError

    not_intact = "PC files changed"  # why a failed run that is not intact is damaged

    # What the operation may change on the device (device_damage looks at everything else).
    writes_drives = False

    def flash_written(self, rig):
        """The flash addresses it writes; None: the boot area, judged on its own."""
        return set()

    def caps_after(self, rig, caps, success):
        """The capability records it may leave, from the one it found."""
        return [caps]

    def eeprom_written(self, rig, device):
        """The EEPROM addresses [start, end) it writes."""
        return 0, 0

    def files_written(self):
        """The drive files (as "A/DATA/LOG.BIN") it may change; None: any."""
        return set()


def whole(judgement, rig):
    """A file kept after a failure is whole when it is right, or when only the protocol
    could not see what is wrong with it and --verify was off."""
    return judgement == EQUAL or (judgement == UNDETECTABLE and not rig.trial.verify)


class Download(Operation):
    """The application download (/p with a ROM image) into the flash: straight into the
    flash, or on the staged models into RAM and from there into the flash."""

    def __init__(self, key, staged):
        super().__init__()
        self.key, self.staged = key, staged

    def applies_to(self, model):
        return model.staged_flash == self.staged

    def prepare_once(self, tools, workroot, model):
        made = self.made[model.keyword] = SimpleNamespace()
        made.image = Path(workroot) / f"{self.key}-{model.name}.rom"
        tools.make_image(model.keyword, IMAGE_SIZE, made.image)
        made.image_bytes = made.image.read_bytes()
        made.expected = model.placed_in_flash(read_srecords(made.image))
        made.blocks = download_blocks(made.expected, model)

    def traffic(self, verify):
        return (IMAGE_SIZE + 600) * (2 if verify else 1), 350

    def arguments(self, rig):
        return ["/p", str(self.mine(rig).image)]

    def judge(self, rig):
        made = self.mine(rig)
        return compare_download(made.expected, rig.flash(), made.blocks)

    def flash_written(self, rig):
        return set(self.mine(rig).expected)

    def caps_after(self, rig, caps, success):
        """The download clears the EEPROM data length once the image is in."""
        return with_value(caps, 1, [0]) + ([] if success else [caps])

    def intact(self, rig):
        made = self.mine(rig)
        return made.image.read_bytes() == made.image_bytes


class ParallelDownload(Download):
    """The application download with the parallel transfer switched on: the block command
    lines and the blocks go to the controller through the parallel port, the echoes and
    confirmations come back over the (bad) serial line. Only in process: the console form
    has no switch for the parallel port, the in-process runner sets it as the window's
    LPT1 choice does."""

    parallel = True
    needs_runner = True

    def runner_options(self, rig):
        return ["--lpt", "lpt"]

    def __init__(self):
        super().__init__("download-parallel", staged=False)

    def applies_to(self, model):
        return model.parallel_port and super().applies_to(model)

    def traffic(self, verify):
        """The serial line carries the talk around the blocks and the answers."""
        return 700 * (2 if verify else 1), 450 * (2 if verify else 1)


class FileOperation(Operation):
    """A file copy between the PC and drive A:, on the models with drives."""

    def applies_to(self, model):
        return model.drive_sizes_kb[0] > 0


class FileDownload(FileOperation):
    """A PC file onto drive A: (/d PCFILE DEVPATH); the PC file must stay as it is."""

    key = "file-download"

    def traffic(self, verify):
        return FILE_SIZE + 400, 400 + (FILE_SIZE if verify else 0)

    def prepare(self, rig):
        rig.write_state()
        (rig.state / "drives" / "A" / "DATA").mkdir(parents=True, exist_ok=True)
        source = rig.folder / "pc" / "LOG.BIN"
        source.parent.mkdir(parents=True, exist_ok=True)
        source.write_bytes(seeded_bytes(FILE_SIZE, rig.trial.seed))

    def arguments(self, rig):
        return ["/d", str(rig.folder / "pc" / "LOG.BIN"), DEVICE_FILE]

    def judge(self, rig):
        contents = (rig.folder / "pc" / "LOG.BIN").read_bytes()
        return compare_file_sent(contents, rig.device_file())

    def files_written(self):
        return {"/".join(DEVICE_FILE_PARTS)}

    def intact(self, rig):
        return folder_digest(rig.folder / "pc") == {
            "LOG.BIN": hashlib.sha256(seeded_bytes(FILE_SIZE, rig.trial.seed)).hexdigest()
        }


class NewProgram(FileOperation):
    """New program: an image onto drive A: as Application.exe, its first frame the header
    the monitor checks (lowest address, byte count, 32-bit sum; big-endian), then the bytes
    from the lowest to the highest address, those no record gives 0. The console form has
    no New program: tarmix-faults sends it as the window does."""

    key = "new-program"
    needs_runner = True
    rate_from_settings = False  # New program runs at the link's rate
    HEADER = 12

    def prepare_once(self, tools, workroot, model):
        made = self.made[model.keyword] = SimpleNamespace()
        made.image = Path(workroot) / f"{self.key}-{model.name}.rom"
        tools.make_image(model.keyword, IMAGE_SIZE, made.image)
        made.image_bytes = made.image.read_bytes()
        data = read_srecords(made.image)
        lowest, highest = min(data), max(data)
        body = bytes(data.get(a, 0) for a in range(lowest, highest + 1))
        made.expected = b"".join(v.to_bytes(4, "big") for v in
                                 (lowest, len(body), sum(body) & 0xFFFFFFFF)) + body

    def traffic(self, verify):
        return IMAGE_SIZE + 400, 400 + (IMAGE_SIZE if verify else 0)

    def runner_options(self, rig):
        return ["--new-program", str(self.mine(rig).image)]

    def arguments(self, rig):
        return []

    def judge(self, rig):
        """The header frame, then frames of 512 bytes, each with an 8-bit sum."""
        copy = read_or_none(rig.state / "drives" / "A" / APPLICATION_FILE)
        expected = self.mine(rig).expected
        if copy is None or len(copy) != len(expected):
            return WRONG
        return compare(dict(enumerate(expected)), dict(enumerate(copy)),
                       Blocks(self.frame), 256)

    def frame(self, position):
        if position < self.HEADER:
            return 0, self.HEADER
        index = 1 + (position - self.HEADER) // FILE_FRAME
        return index, self.HEADER + index * FILE_FRAME

    def files_written(self):
        return {f"A/{APPLICATION_FILE}"}

    def intact(self, rig):
        made = self.mine(rig)
        return made.image.read_bytes() == made.image_bytes


class FileUpload(FileOperation):
    """A file of drive A: onto the PC (/u DEVPATH PCFILE, --yes), replacing an older copy:
    after a failure the older copy must be there unchanged and nothing else beside it."""

    key = "file-upload"

    def traffic(self, verify):
        return 300 * (2 if verify else 1), (FILE_SIZE + 300) * (2 if verify else 1)

    def prepare(self, rig):
        rig.write_state()
        device_file = rig.state / "drives" / Path(*DEVICE_FILE_PARTS)
        device_file.parent.mkdir(parents=True, exist_ok=True)
        device_file.write_bytes(seeded_bytes(FILE_SIZE, rig.trial.seed))
        target = rig.folder / "pc" / "LOG.BIN"
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(b"the older copy\n")
        rig.before = folder_digest(target.parent)

    def arguments(self, rig):
        return ["--yes", "/u", DEVICE_FILE, str(rig.folder / "pc" / "LOG.BIN")]

    def judge(self, rig):
        expected = seeded_bytes(FILE_SIZE, rig.trial.seed)
        if rig.device_file() != expected:
            return WRONG  # the upload must not change the device's file
        extra = set(folder_digest(rig.folder / "pc")) - {"LOG.BIN"}
        if extra:
            return WRONG
        return compare_file_received(expected, read_or_none(rig.folder / "pc" / "LOG.BIN"))

    def intact(self, rig):
        return folder_digest(rig.folder / "pc") == rig.before


class EepromOperation(Operation):
    """Shared by the EEPROM save and restore: a device whose EEPROM holds seeded bytes."""

    def eeprom_contents(self, seed):
        return seeded_bytes(8192, seed)


class Backup(EepromOperation):
    """The whole backup (/s FOLDER --yes) into a new folder: after a success the folder holds
    the flash's application, the EEPROM area (on models with one) and every drive file;
    after a failure there is no Reload.rom, and each file under its final name is whole."""

    key = "backup"
    drive_sizes = (64, 0, 0)
    drive_files = {("A", "DATA", "LOG.BIN"): 3000, ("A", "CFG.TXT"): 200}

    def layout(self, model):
        """The drive sizes and files of the device: none on a model without drives."""
        if not model.has_drives():
            return (0, 0, 0), {}
        return self.drive_sizes, self.drive_files

    def prepare_once(self, tools, workroot, model):
        """The image, and the flash of a device it was downloaded into."""
        made = self.made[model.keyword] = SimpleNamespace()
        made.image = Path(workroot) / f"{self.key}-{model.name}.rom"
        tools.make_image(model.keyword, IMAGE_SIZE, made.image)
        # Where the device holds the image: a staged model's is read back from the flash.
        # Application.rom names each byte where a download of it puts it again: on a staged
        # model in RAM, from where the monitor copies it into the flash.
        made.image_records = read_srecords(made.image)
        made.image_data = model.placed_in_flash(made.image_records)
        rig = tools.rig(Path(workroot) / f"{self.key}-{model.name}-programmed", self, 0, model)
        rig.write_state(drives=self.layout(model)[0])
        tools.program_flash(rig, made.image)
        made.programmed = (rig.state / "memory.srec").read_bytes()

    def traffic(self, verify):
        """--verify reads everything a second time."""
        sent = 20500 + 1200 * len(self.drive_files) + sum(self.drive_files.values())
        return (250 + 60 * len(self.drive_files)) * (2 if verify else 1), sent * (2 if verify else 1)

    def prepare(self, rig):
        sizes, files = self.layout(rig.model)
        rig.write_state(drives=sizes, eeprom=self.eeprom_contents(rig.trial.seed))
        (rig.state / "memory.srec").write_bytes(self.mine(rig).programmed)
        for parts, size in files.items():
            path = rig.state / "drives" / Path(*parts)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(seeded_bytes(size, rig.trial.seed + size))

    def arguments(self, rig):
        return ["--yes", "/s", str(rig.folder / "backup")]

    def parts(self, rig):
        """Each part of the backup folder judged on its own: EQUAL, UNDETECTABLE, WRONG, or
        None when the file is not there."""
        folder = rig.folder / "backup"
        found = {}
        application = folder / "Flash" / "Application.rom"
        if application.exists():
            found["flash"] = self.judge_application(rig, read_srecords(application))
        saved = read_or_none(folder / "EEPROM" / "Eeprom.bin")
        if saved is not None:
            found["eeprom"] = self.judge_eeprom(rig, saved)
        for parts, size in self.layout(rig.model)[1].items():
            copy = read_or_none(folder / f"Drive_{parts[0]}" / Path(*parts[1:]))
            if copy is not None:
                expected = seeded_bytes(size, rig.trial.seed + size)
                found[parts] = compare_file_received(expected, copy)
        return found

    def judge_application(self, rig, saved):
        """The application as read in blocks from the first address on, each with the
        32-bit sum of its bytes."""
        if not saved:
            return WRONG
        blocks = even_blocks(min(saved), rig.model.read_block())
        return compare(self.mine(rig).image_records, saved, blocks, 1 << 32)

    def judge_eeprom(self, rig, saved):
        """The file against the device's own area: its header names the area and data
        length of the device's capability record, its contents what the EEPROM held."""
        if len(saved) < 12 or not rig.model.has_eeprom():
            return WRONG
        device = rig.device_before
        header, contents = eeprom_area(saved)
        start, length, end = device.eeprom_area(rig.model)
        if tuple(header) != (start, length, end):
            return WRONG
        return compare_eeprom(device.eeprom[start:end], contents)

    def judge(self, rig):
        """Reload.rom line by line: what it would put back equals what the device held."""
        script = read_or_none(rig.folder / "backup" / "Reload.rom")
        if script is None:
            return WRONG
        return judge_restore_script(script.decode("latin-1"), rig.folder / "backup",
                                    rig.device_before, rig.model)

    def intact(self, rig):
        """A backup that ended with the code for skipped entries keeps its Reload.rom and
        names the entries in skipped.txt; any other failure leaves no Reload.rom."""
        folder = rig.folder / "backup"
        partial = rig.exit_code == BACKUP_EXCEPT_SKIPPED and (folder / "skipped.txt").exists()
        if (folder / "Reload.rom").exists() and not partial:
            return False
        return all(whole(v, rig) for v in self.parts(rig).values())


class EepromSave(Backup):
    """The EEPROM save, as a backup judged on its EEPROM file alone."""

    key = "eeprom-save"
    drive_sizes = (0, 0, 0)
    drive_files = {}

    def applies_to(self, model):
        return model.has_eeprom()

    def judge(self, rig):
        saved = read_or_none(rig.folder / "backup" / "EEPROM" / "Eeprom.bin")
        return WRONG if saved is None else self.judge_eeprom(rig, saved)


class Restore(EepromOperation):
    """Running a backup's Reload.rom (/p, --yes) on a device that lost its application,
    EEPROM and drive files: afterwards the device holds the backed-up state again. A failure
    must leave the backup folder as it was."""

    key = "restore"
    script = "Reload.rom"
    source = Backup

    def prepare_once(self, tools, workroot, model):
        """A backup of a device with an application, EEPROM contents and drive files."""
        made = self.made[model.keyword] = SimpleNamespace()
        template = Path(workroot) / f"{self.key}-{model.name}-template"
        source = self.source()
        source.prepare_once(tools, workroot, model)
        rig = tools.rig(template, source, 4242, model)
        source.prepare(rig)
        rig.device_before = device = DeviceState(rig.state)
        made.flash = source.made[model.keyword].image_data
        made.drive_sizes, files = source.layout(model)
        made.eeprom = device.eeprom
        made.area = device.eeprom_area(model) if model.has_eeprom() else None
        made.stored_length = device.caps[1] if made.area else 0
        made.drive_files = {parts: seeded_bytes(size, 4242 + size) for parts, size in files.items()}
        code = tools.run_once(rig, source.arguments(rig))
        judgement = source.judge(rig)
        if code != 0 or judgement != EQUAL:
            raise RuntimeError(f"the backup for {self.key} failed (code {code}, judged "
                               f"{judgement}) in {rig.folder}")
        made.backup = rig.folder / "backup"
        application = read_srecords(made.backup / "Flash" / "Application.rom")
        made.blocks = download_blocks(application, model)

    def traffic(self, verify):
        """--verify compares the application (sending it again) and reads the EEPROM and
        the files back."""
        application = (IMAGE_SIZE + 600) * (2 if verify else 1)
        return application + 8200 + 3600, 1000 + (8200 + 3200 if verify else 0)

    def prepare(self, rig):
        """A device that lost its EEPROM and its EEPROM data length (value 2)."""
        made = self.mine(rig)
        rig.write_state(drives=made.drive_sizes, eeprom=b"\xff" * EEPROM_SIZE)
        rig.write_caps(with_value(list(FACTORY_CAPS), 1, [0])[0])
        shutil.copytree(made.backup, rig.folder / "backup")
        rig.before = folder_digest(rig.folder / "backup")

    def arguments(self, rig):
        return ["--yes", "/p", str(rig.folder / "backup" / self.script)]

    def judge(self, rig):
        made = self.mine(rig)
        found = [self.judge_eeprom(rig)]
        found.append(compare_download(made.flash, rig.flash(), made.blocks))
        for parts, contents in made.drive_files.items():
            copy = read_or_none(rig.state / "drives" / Path(*parts))
            found.append(compare_file_sent(contents, copy))
        return worst(found)

    def judge_eeprom(self, rig):
        """The area the backed-up device's record named, against what it held."""
        made = self.mine(rig)
        if made.area is None:
            return EQUAL
        start, _, end = made.area
        return compare_eeprom(made.eeprom[start:end], DeviceState(rig.state).eeprom[start:end])

    writes_drives = True

    def flash_written(self, rig):
        return set(self.mine(rig).flash)

    def caps_after(self, rig, caps, success):
        """The download in the script clears value 2, the EEPROM restore sets it back."""
        stored = with_value(caps, 1, [self.mine(rig).stored_length])
        return stored if success else stored + with_value(caps, 1, [0]) + [caps]

    def eeprom_written(self, rig, device):
        area = self.mine(rig).area
        return (area[0], area[2]) if area else (0, 0)

    def files_written(self):
        return None

    def intact(self, rig):
        return folder_digest(rig.folder / "backup") == rig.before


class EepromRestore(Restore):
    """The EEPROM restore alone: a script with one "restoreeprom" line."""

    key = "eeprom-restore"
    script = "Eeprom.rom"
    source = EepromSave

    def applies_to(self, model):
        return model.has_eeprom()

    def traffic(self, verify):
        """--verify reads the EEPROM back."""
        return 8200, 400 + (8200 if verify else 0)

    def prepare(self, rig):
        super().prepare(rig)
        (rig.folder / "backup" / self.script).write_bytes(b'restoreeprom "EEPROM\\Eeprom.bin"\r\n')
        rig.before = folder_digest(rig.folder / "backup")

    def judge(self, rig):
        return self.judge_eeprom(rig)

    writes_drives = False

    def flash_written(self, rig):
        return set()

    def caps_after(self, rig, caps, success):
        stored = with_value(caps, 1, [self.mine(rig).stored_length])
        return stored if success else stored + [caps]

    def files_written(self):
        return set()


def script_words(line):
    """The words of a script line; a quoted word keeps its blanks."""
    words, rest = [], line.strip()
    while rest:
        if rest.startswith('"'):
            end = rest.find('"', 1)
            end = len(rest) if end < 0 else end
            words.append(rest[1:end])
            rest = rest[end + 1 :].lstrip()
        else:
            word, _, rest = rest.partition(" ")
            words.append(word)
            rest = rest.lstrip()
    return words


def judge_restore_script(script, folder, device, model):
    """A restore script against the device it was made from: the application it programs
    is the device's flash, its EEPROM file the device's EEPROM area, its drive sizes the
    device's, and its downloads put back every drive file the device held, each as it was.
    A line that names a file that is not there is WRONG."""
    found, restored, sizes = [], {}, None
    has_program = has_eeprom = False
    for line in script.splitlines():
        words = script_words(line)
        if not words or words[0] in ("messageyesno", "format", "mkdir"):
            continue
        pc = lambda name: folder / Path(*name.split("\\"))
        if words[0] == "program" and len(words) == 2:
            has_program = True
            # Where its download puts each byte: a staged model's goes through RAM.
            saved = model.placed_in_flash(read_srecords(pc(words[1])))
            held = dict.fromkeys(saved, 0xFF) | device.flash
            blocks = even_blocks(min(saved), model.read_block())
            found.append(compare(held, saved, blocks, 1 << 32) if saved else WRONG)
        elif words[0] == "restoreeprom" and len(words) == 2:
            has_eeprom = True
            saved = read_or_none(pc(words[1])) or b""
            start, length, end = device.eeprom_area(model)
            header, contents = eeprom_area(saved) if len(saved) >= 12 else ((), b"")
            found.append(compare_eeprom(device.eeprom[start:end], contents)
                         if tuple(header) == (start, length, end) else WRONG)
        elif words[0] == "init" and words[1:2] == ["drives"]:
            sizes = [int(w) for w in words[2:]]
        elif words[0] == "download" and len(words) == 3:
            target = words[2].replace(":", "", 1).replace("\\", "/")
            restored[target] = read_or_none(pc(words[1]))
        else:
            return WRONG
    # A device without drives has no "init drives" line.
    if not has_program or has_eeprom != model.has_eeprom():
        return WRONG
    if (sizes if sizes is not None else [0, 0, 0]) != device.drive_sizes:
        return WRONG
    if set(restored) != set(device.files):
        return WRONG
    found += [compare_file_received(device.files[name], copy) for name, copy in restored.items()]
    return worst(found)


def worst(judgements):
    """WRONG over UNDETECTABLE (with the blocks of all its parts) over EQUAL."""
    judgements = list(judgements)
    if WRONG in judgements:
        return WRONG
    hidden = [j for j in judgements if isinstance(j, Undetectable)]
    return Undetectable([b for j in hidden for b in j.blocks]) if hidden else EQUAL


class BootUpdate(Operation):
    """The boot loader update ("update firmware" in a script run with /p) from the model's
    boot images: afterwards the controller, started afresh on a clean line, answers with the
    new version. After a failure it must answer at all, with the old version or the new: a
    controller whose boot area holds no whole boot loader never answers again."""

    NEW_VERSION = 52
    verify_applies = False

    def __init__(self, key, procedure, firmware):
        super().__init__()
        self.key, self.procedure, self.firmware = key, procedure, firmware

    def applies_to(self, model):
        return model.boot_update == self.procedure

    def prepare_once(self, tools, workroot, model):
        made = self.made[model.keyword] = SimpleNamespace()
        made.library = Path(workroot) / f"{self.key}-{model.name}-Library"
        tools.make_library(model.keyword, self.NEW_VERSION, self.firmware, made.library)
        made.script = Path(workroot) / f"{self.key}.rom"
        made.script.write_bytes(b"update firmware\r\n")

    def traffic(self, verify):
        """The boot-init and boot loader images go to the device as S-records."""
        return 170000, 2000

    def prepare(self, rig):
        rig.write_state(firmware=self.firmware)

    def arguments(self, rig):
        made = self.mine(rig)
        return ["--library", str(made.library), "--yes", "/p", str(made.script)]

    def judge(self, rig):
        return EQUAL if rig.tools.device_version(rig) == self.NEW_VERSION else WRONG

    def intact(self, rig):
        return rig.tools.device_version(rig) in (self.firmware, self.NEW_VERSION)

    not_intact = "the controller no longer starts"

    def flash_written(self, rig):
        return None


OPERATIONS = {
    op.key: op
    for op in (
        Download("download", staged=False),
        Download("download-staged", staged=True),
        ParallelDownload(),
        FileDownload(),
        FileUpload(),
        NewProgram(),
        EepromSave(),
        EepromRestore(),
        Backup(),
        Restore(),
        BootUpdate("boot-update", "general", 30),
        BootUpdate("boot-update-ram", "ram-bank", 30),
    )
}


class Tools:
    """What the operations need from the runner: images, a rig, one clean run."""

    def __init__(self, build, rig_class):
        self.build, self.rig_class = Path(build), rig_class

    def make_library(self, model, version, monitor, folder):
        subprocess.run([str(self.build / "tarmix-sim"), "make-library", "--model", model,
                        "--version", str(version), "--monitor", str(monitor), "-o", str(folder)],
                       check=True)

    def device_version(self, rig):
        """The monitor version the device answers with when it is switched on afresh, on a
        clean line; None when it does not answer."""
        log = rig.output_log()
        before = log.stat().st_size if log.exists() else 0
        code = self.run_once(rig, ["--df"])
        answered = log.read_bytes()[before:].decode(errors="replace")
        found = re.findall(r"Firmware version: (\d+)", answered)
        return int(found[-1]) if code == 0 and found else None

    def make_image(self, model, size, path):
        subprocess.run([str(self.build / "tarmix-sim"), "make-image", "--model", model,
                        "--size", str(size), "-o", str(path)], check=True)

    def rig(self, folder, operation, seed, model):
        return self.rig_class.standalone(self, folder, operation, seed, model)

    def run_once(self, rig, arguments):
        rig.start_simulator(faults=False)
        try:
            code, _ = rig.run_program(arguments, verify=False)
        finally:
            rig.stop_simulator()
        return code

    def program_flash(self, rig, image):
        """Puts an application into the device's flash before the run, on a clean line."""
        code = self.run_once(rig, ["/p", str(image)])
        if code != 0:
            raise RuntimeError(f"programming the device failed (code {code}) in {rig.folder}")
