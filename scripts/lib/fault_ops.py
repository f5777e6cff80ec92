"""The operations of the fault matrix. Each one prepares a device (the simulator's state
folder) and the PC's files in a run folder, names the tarmix command line, and judges the
outcome: after a reported success whether the device or the PC holds what was sent, after
a reported failure whether the PC's files are intact.

The simulator's state folder holds the device: memory.srec (flash), eeprom.bin, caps.txt,
drives.txt (drive sizes in kB), firmware.txt and drives/A|B|C/ (the drives' files).
"""

import bisect
import hashlib
import random
import re
import shutil
import subprocess
from pathlib import Path

IMAGE_SIZE = 12003  # four blocks of the serial download, the last one odd
FILE_SIZE = 12003  # some frames of 512 bytes, the last one short
# The blocks each protocol checks with a sum over their data bytes (a changed length,
# header or checksum byte is seen). A download block is as long as the model's serial
# block limit; the backup reads the application in blocks of 10000 bytes, or 256 where the
# backup covers the whole flash. The PC sends files in frames of 512 bytes; the simulated
# device sends its frames with these lengths in turn.
SERIAL_BLOCK_LIMIT = {"t_pq7xx": 256}
DOWNLOAD_BLOCK = 4000
APPLICATION_READ_BLOCK = {"t_pq7xx": 256}
READ_BLOCK = 10000
FILE_FRAME = 512
DEVICE_FRAMES = (1000, 65535, 4096, 1, 512, 30000)
EEPROM_BLOCK = 3840
FIRMWARE = 40  # new enough for the EEPROM save
DEVICE_FILE = "A:\\DATA\\LOG.BIN"
DEVICE_FILE_PARTS = ("A", "DATA", "LOG.BIN")

# The capability record the rig gives every device: value 2 (the EEPROM data length) and
# value 3 (the end of the EEPROM area) set, so that a save covers a real area and a
# rewritten record shows.
FACTORY_CAPS = (1, 0x1000, 0x2000, 0, 2)
EEPROM_SIZE = 8192
# The exit code of a backup that is complete except the entries it names in skipped.txt.
BACKUP_EXCEPT_SKIPPED = 14
# Where the EEPROM area a save covers starts, by the device's model: fixed on these models;
# on the others 0x100, or value 3 minus value 2 of the record when drive B: has a size.
EEPROM_FIXED_START = {"vantix": 0x200, "vantix+": 0x200}

# Judgements of a successful run.
EQUAL, UNDETECTABLE, WRONG = "equal", "undetectable", "wrong"


class Undetectable:
    """Wrong bytes whose changes cancel in the checksum of each of `blocks` blocks; equal
    to UNDETECTABLE."""

    def __init__(self, blocks):
        self.blocks = blocks

    def __eq__(self, other):
        return other == UNDETECTABLE or isinstance(other, Undetectable)

    def __repr__(self):
        return f"undetectable in {self.blocks} blocks"


def read_srecords(path):
    """Every data byte of an S-record file, by address; empty when there is no file."""
    data = {}
    if not Path(path).exists():
        return data
    widths = {"1": 2, "2": 3, "3": 4}
    for line in Path(path).read_text(errors="replace").splitlines():
        line = line.strip()
        if len(line) < 4 or line[0] != "S" or line[1] not in widths:
            continue
        try:
            raw = bytes.fromhex(line[2:])
        except ValueError:
            continue
        width = widths[line[1]]
        address = int.from_bytes(raw[1 : 1 + width], "big")
        for i, byte in enumerate(raw[1 + width : -1]):
            data[address + i] = byte
    return data


def seeded_bytes(size, seed):
    return random.Random(seed).randbytes(size)


def even_blocks(base, size):
    """The block of a position when blocks of `size` bytes follow each other from `base`."""
    return lambda position: (position - base) // size


def frames(lengths, total):
    """The frame of a position when frames of these lengths, in turn, carry `total` bytes."""
    ends = []
    while not ends or ends[-1] < total:
        ends.append((ends[-1] if ends else 0) + lengths[len(ends) % len(lengths)])
    return lambda position: bisect.bisect_right(ends, position)


def compare(expected, actual, block_of, modulus):
    """EQUAL; UNDETECTABLE when in every block holding wrong bytes their changes cancel in
    the sum modulo `modulus` that the protocol checks on the block (`block_of` maps a
    position to its block); else WRONG. `expected` and `actual` map positions to bytes; a
    missing position counts as 0xFF."""
    change = {}
    for position, byte in expected.items():
        got = actual.get(position, 0xFF)
        if got != byte:
            block = block_of(position)
            change[block] = change.get(block, 0) + got - byte
    if not change:
        return EQUAL
    return Undetectable(len(change)) if all(c % modulus == 0 for c in change.values()) else WRONG


def compare_bytes(expected, actual, block_of, modulus):
    if actual is None or len(actual) != len(expected):
        return WRONG
    return compare(dict(enumerate(expected)), dict(enumerate(actual)), block_of, modulus)


def download_blocks(srecords, model):
    """The blocks of an application download of these S-record bytes: from the first
    address, rounded down to a word, in blocks of the model's serial block limit."""
    return even_blocks(min(srecords) & ~3, SERIAL_BLOCK_LIMIT.get(model, DOWNLOAD_BLOCK))


def compare_download(expected, flash, blocks):
    return compare(expected, flash, blocks, 1 << 32)


def compare_file_sent(expected, copy):
    """A file the PC sent to the device, against its copy there."""
    return compare_bytes(expected, copy, even_blocks(0, FILE_FRAME), 256)


def compare_file_received(expected, copy):
    """A file the device sent to the PC, against its copy there."""
    return compare_bytes(expected, copy, frames(DEVICE_FRAMES, len(expected)), 256)


def compare_eeprom(expected, actual):
    """An EEPROM area (from its start address) against what was sent or saved."""
    return compare_bytes(expected, actual, even_blocks(0, EEPROM_BLOCK), 1 << 16)


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
        start = EEPROM_FIXED_START.get(model, end - length if self.drive_sizes[1] else 0x100)
        return start, length, end


def with_value(caps, index, values):
    """The record with value `index` replaced by each of `values`."""
    return [caps[:index] + [v] + caps[index + 1 :] for v in values] if caps else [caps]


def flash_changes(before, after, allowed):
    """The flash addresses outside `allowed` whose byte changed (a missing byte is 0xFF)."""
    return [a for a in set(before) | set(after)
            if a not in allowed and before.get(a, 0xFF) != after.get(a, 0xFF)]


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
    if after.caps not in op.caps_after(before.caps, success):
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
    """One bulk operation. Subclasses fill in the device, the command and the judgement."""

    key = ""
    model = "alder"
    verify_applies = True

    def prepare_once(self, tools, workroot):
        """What all runs of this operation share (an image, a backup), made once."""

    def traffic(self, verify):
        """About how many bytes the device receives and sends in one run, measured with
        --trace: the fault rates are set from them."""
        raise NotImplementedError

    def prepare(self, rig):
        """The device's state and the PC's files before the run."""
        rig.write_state(drives=(1024, 64, 256))

    def arguments(self, rig):
        raise NotImplementedError

    def judge(self, rig):
        """After a success: EQUAL, UNDETECTABLE or WRONG."""
        raise NotImplementedError

    def intact(self, rig):
        """After a failure: the PC's files as they were (no partial file under a final name)."""
        raise NotImplementedError

    # What the operation may change on the device (device_damage looks at everything else).
    writes_drives = False

    def flash_written(self, rig):
        """The flash addresses it writes; None: the boot area, judged on its own."""
        return set()

    def caps_after(self, caps, success):
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
    """The application download (/p with a ROM image) into the flash."""

    def __init__(self, key, model, flash_of):
        self.key, self.model, self.flash_of = key, model, flash_of

    def prepare_once(self, tools, workroot):
        self.image = Path(workroot) / f"{self.key}.rom"
        tools.make_image(self.model, IMAGE_SIZE, self.image)
        self.image_bytes = self.image.read_bytes()
        self.expected = {self.flash_of(a): b for a, b in read_srecords(self.image).items()}
        self.blocks = download_blocks(self.expected, self.model)

    def traffic(self, verify):
        return (IMAGE_SIZE + 600) * (2 if verify else 1), 350

    def prepare(self, rig):
        rig.write_state()

    def arguments(self, rig):
        return ["/p", str(self.image)]

    def judge(self, rig):
        return compare_download(self.expected, rig.flash(), self.blocks)

    def flash_written(self, rig):
        return set(self.expected)

    def caps_after(self, caps, success):
        """The download clears the EEPROM data length once the image is in."""
        return with_value(caps, 1, [0]) + ([] if success else [caps])

    def intact(self, rig):
        return self.image.read_bytes() == self.image_bytes


class FileDownload(Operation):
    """A PC file onto drive A: (/d PCFILE DEVPATH); the PC file must stay as it is."""

    key = "file-download"

    def traffic(self, verify):
        return FILE_SIZE + 400, 400 + (FILE_SIZE if verify else 0)

    def prepare(self, rig):
        rig.write_state(drives=(1024, 64, 256))
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


class FileUpload(Operation):
    """A file of drive A: onto the PC (/u DEVPATH PCFILE, --yes), replacing an older copy:
    after a failure the older copy must be there unchanged and nothing else beside it."""

    key = "file-upload"

    def traffic(self, verify):
        return 300 * (2 if verify else 1), (FILE_SIZE + 300) * (2 if verify else 1)

    def prepare(self, rig):
        rig.write_state(drives=(1024, 64, 256))
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
    the flash's application, the EEPROM area and every drive file; after a failure there is
    no Reload.rom, and each file under its final name is whole."""

    key = "backup"
    drive_sizes = (64, 0, 0)
    drive_files = {("A", "DATA", "LOG.BIN"): 3000, ("A", "CFG.TXT"): 200}

    def prepare_once(self, tools, workroot):
        """The image, and the flash of a device it was downloaded into."""
        self.image = Path(workroot) / f"{self.key}.rom"
        tools.make_image(self.model, IMAGE_SIZE, self.image)
        self.image_data = read_srecords(self.image)
        rig = tools.rig(Path(workroot) / f"{self.key}-programmed", self, seed=0)
        rig.write_state(drives=self.drive_sizes)
        tools.program_flash(rig, self.image)
        self.programmed = (rig.state / "memory.srec").read_bytes()

    def traffic(self, verify):
        """--verify reads everything a second time."""
        sent = 20500 + 1200 * len(self.drive_files) + sum(self.drive_files.values())
        return (250 + 60 * len(self.drive_files)) * (2 if verify else 1), sent * (2 if verify else 1)

    def prepare(self, rig):
        rig.write_state(drives=self.drive_sizes, eeprom=self.eeprom_contents(rig.trial.seed))
        (rig.state / "memory.srec").write_bytes(self.programmed)
        for parts, size in self.drive_files.items():
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
            found["flash"] = self.judge_application(read_srecords(application))
        saved = read_or_none(folder / "EEPROM" / "Eeprom.bin")
        if saved is not None:
            found["eeprom"] = self.judge_eeprom(rig, saved)
        for parts, size in self.drive_files.items():
            copy = read_or_none(folder / f"Drive_{parts[0]}" / Path(*parts[1:]))
            if copy is not None:
                expected = seeded_bytes(size, rig.trial.seed + size)
                found[parts] = compare_file_received(expected, copy)
        return found

    def judge_application(self, saved):
        """The application as read in blocks from the first address on, each with the
        32-bit sum of its bytes."""
        if not saved:
            return WRONG
        size = APPLICATION_READ_BLOCK.get(self.model, READ_BLOCK)
        return compare(self.image_data, saved, even_blocks(min(saved), size), 1 << 32)

    def judge_eeprom(self, rig, saved):
        """The file against the device's own area: its header names the area and data
        length of the device's capability record, its contents what the EEPROM held."""
        if len(saved) < 12:
            return WRONG
        device = rig.device_before
        header, contents = eeprom_area(saved)
        start, length, end = device.eeprom_area(self.model)
        if tuple(header) != (start, length, end):
            return WRONG
        return compare_eeprom(device.eeprom[start:end], contents)

    def judge(self, rig):
        """Reload.rom line by line: what it would put back equals what the device held."""
        script = read_or_none(rig.folder / "backup" / "Reload.rom")
        if script is None:
            return WRONG
        return judge_restore_script(script.decode("latin-1"), rig.folder / "backup",
                                    rig.device_before, self.model)

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

    def prepare_once(self, tools, workroot):
        """A backup of a device with an application, EEPROM contents and drive files."""
        self.template = Path(workroot) / f"{self.key}-template"
        source = self.source()
        source.prepare_once(tools, workroot)
        rig = tools.rig(self.template, source, seed=4242)
        source.prepare(rig)
        rig.device_before = device = DeviceState(rig.state)
        self.flash = source.image_data
        self.drive_sizes = source.drive_sizes
        self.eeprom = device.eeprom
        self.area = device.eeprom_area(source.model)
        self.stored_length = device.caps[1]
        self.drive_files = {
            parts: seeded_bytes(size, 4242 + size) for parts, size in source.drive_files.items()
        }
        code = tools.run_once(rig, source.arguments(rig))
        if code != 0 or source.judge(rig) != EQUAL:
            raise RuntimeError(f"the backup for {self.key} failed (code {code}) in {rig.folder}")
        self.backup = rig.folder / "backup"
        application = read_srecords(self.backup / "Flash" / "Application.rom")
        self.blocks = download_blocks(application, source.model)

    def traffic(self, verify):
        """--verify compares the application (sending it again) and reads the EEPROM and
        the files back."""
        application = (IMAGE_SIZE + 600) * (2 if verify else 1)
        return application + 8200 + 3600, 1000 + (8200 + 3200 if verify else 0)

    def prepare(self, rig):
        """A device that lost its EEPROM and its EEPROM data length (value 2)."""
        rig.write_state(drives=self.drive_sizes, eeprom=b"\xff" * EEPROM_SIZE)
        rig.write_caps(with_value(list(FACTORY_CAPS), 1, [0])[0])
        shutil.copytree(self.backup, rig.folder / "backup")
        rig.before = folder_digest(rig.folder / "backup")

    def arguments(self, rig):
        return ["--yes", "/p", str(rig.folder / "backup" / self.script)]

    def judge(self, rig):
        found = [self.judge_eeprom(rig)]
        found.append(compare_download(self.flash, rig.flash(), self.blocks))
        for parts, contents in self.drive_files.items():
            copy = read_or_none(rig.state / "drives" / Path(*parts))
            found.append(compare_file_sent(contents, copy))
        return worst(found)

    def judge_eeprom(self, rig):
        """The area the backed-up device's record named, against what it held."""
        start, _, end = self.area
        return compare_eeprom(self.eeprom[start:end], DeviceState(rig.state).eeprom[start:end])

    writes_drives = True

    def flash_written(self, rig):
        return set(self.flash)

    def caps_after(self, caps, success):
        """The download in the script clears value 2, the EEPROM restore sets it back."""
        stored = with_value(caps, 1, [self.stored_length])
        return stored if success else stored + with_value(caps, 1, [0]) + [caps]

    def eeprom_written(self, rig, device):
        return self.area[0], self.area[2]

    def files_written(self):
        return None

    def intact(self, rig):
        return folder_digest(rig.folder / "backup") == rig.before


class EepromRestore(Restore):
    """The EEPROM restore alone: a script with one "restoreeprom" line."""

    key = "eeprom-restore"
    script = "Eeprom.rom"
    source = EepromSave

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

    def caps_after(self, caps, success):
        stored = with_value(caps, 1, [self.stored_length])
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
            saved = read_srecords(pc(words[1]))
            held = {a: device.flash.get(a, 0xFF) for a in set(device.flash) | set(saved)}
            blocks = even_blocks(min(saved), APPLICATION_READ_BLOCK.get(model, READ_BLOCK))
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
    if not has_program or not has_eeprom or sizes != device.drive_sizes:
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
    return Undetectable(sum(j.blocks for j in hidden)) if hidden else EQUAL


class BootUpdate(Operation):
    """The boot loader update ("update firmware" in a script run with /p) from the model's
    boot images: afterwards the controller, started afresh on a clean line, answers with the
    new version. After a failure it must answer at all, with the old version or the new: a
    controller whose boot area holds no whole boot loader never answers again."""

    NEW_VERSION = 52
    verify_applies = False

    def __init__(self, key, model, firmware):
        self.key, self.model, self.firmware = key, model, firmware

    def prepare_once(self, tools, workroot):
        self.library = Path(workroot) / f"{self.key}-Library"
        tools.make_library(self.model, self.NEW_VERSION, self.firmware, self.library)
        self.script = Path(workroot) / f"{self.key}.rom"
        self.script.write_bytes(b"update firmware\r\n")

    def traffic(self, verify):
        """The boot-init and boot loader images go to the device as S-records."""
        return 170000, 2000

    def prepare(self, rig):
        rig.write_state()
        (rig.state / "firmware.txt").write_text(f"{self.firmware}\n")

    def arguments(self, rig):
        return ["--library", str(self.library), "--yes", "/p", str(self.script)]

    def judge(self, rig):
        return EQUAL if rig.tools.device_version(rig) == self.NEW_VERSION else WRONG

    def intact(self, rig):
        return rig.tools.device_version(rig) in (self.firmware, self.NEW_VERSION)

    def flash_written(self, rig):
        return None


OPERATIONS = {
    op.key: op
    for op in (
        Download("download", "alder", lambda a: a),
        Download("download-staged", "vantix", lambda a: a - 0x80000000 + 0x100000),
        FileDownload(),
        FileUpload(),
        EepromSave(),
        EepromRestore(),
        Backup(),
        Restore(),
        BootUpdate("boot-update", "heron", 30),
        BootUpdate("boot-update-ram", "vantix+", 30),
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

    def rig(self, folder, operation, seed):
        return self.rig_class.standalone(self, folder, operation, seed)

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
