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

# Judgements of a successful run.
EQUAL, UNDETECTABLE, WRONG = "equal", "undetectable", "wrong"


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
    return UNDETECTABLE if all(c % modulus == 0 for c in change.values()) else WRONG


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
        self.image = Path(workroot) / f"{self.key}.rom"
        tools.make_image(self.model, IMAGE_SIZE, self.image)
        self.image_data = read_srecords(self.image)

    def traffic(self, verify):
        """--verify reads everything a second time."""
        sent = 20500 + 1200 * len(self.drive_files) + sum(self.drive_files.values())
        return (250 + 60 * len(self.drive_files)) * (2 if verify else 1), sent * (2 if verify else 1)

    def prepare(self, rig):
        rig.write_state(drives=self.drive_sizes, eeprom=self.eeprom_contents(rig.trial.seed))
        rig.tools.program_flash(rig, self.image)
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
        if len(saved) < 12:
            return WRONG
        (start, _, end), contents = eeprom_area(saved)
        return compare_eeprom(self.eeprom_contents(rig.trial.seed)[start:end], contents)

    def judge(self, rig):
        found = self.parts(rig)
        wanted = {"flash", "eeprom"} | set(self.drive_files)
        if set(found) != wanted or not (rig.folder / "backup" / "Reload.rom").exists():
            return WRONG
        return worst(found.values())

    def intact(self, rig):
        if (rig.folder / "backup" / "Reload.rom").exists():
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
        self.flash = source.image_data
        self.drive_sizes = source.drive_sizes
        self.eeprom = self.eeprom_contents(4242)
        self.drive_files = {
            parts: seeded_bytes(size, 4242 + size) for parts, size in source.drive_files.items()
        }
        code = tools.run_once(rig, source.arguments(rig))
        if code != 0 or source.judge(rig) != EQUAL:
            raise RuntimeError(f"the backup for {self.key} failed (code {code}) in {rig.folder}")
        self.backup = rig.folder / "backup"
        self.limits = eeprom_area((self.backup / "EEPROM" / "Eeprom.bin").read_bytes())[0]
        application = read_srecords(self.backup / "Flash" / "Application.rom")
        self.blocks = download_blocks(application, source.model)

    def traffic(self, verify):
        """--verify compares the application (sending it again) and reads the EEPROM and
        the files back."""
        application = (IMAGE_SIZE + 600) * (2 if verify else 1)
        return application + 8200 + 3600, 1000 + (8200 + 3200 if verify else 0)

    def prepare(self, rig):
        rig.write_state(drives=self.drive_sizes, eeprom=b"\xff" * 8192)
        shutil.copytree(self.backup, rig.folder / "backup")
        rig.before = folder_digest(rig.folder / "backup")

    def arguments(self, rig):
        return ["--yes", "/p", str(rig.folder / "backup" / self.script)]

    def judge(self, rig):
        start, _, end = self.limits
        eeprom = read_or_none(rig.state / "eeprom.bin") or b""
        found = [compare_eeprom(self.eeprom[start:end], eeprom[start:end])]
        found.append(compare_download(self.flash, rig.flash(), self.blocks))
        for parts, contents in self.drive_files.items():
            copy = read_or_none(rig.state / "drives" / Path(*parts))
            found.append(compare_file_sent(contents, copy))
        return worst(found)

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
        start, _, end = self.limits
        eeprom = read_or_none(rig.state / "eeprom.bin") or b""
        return compare_eeprom(self.eeprom[start:end], eeprom[start:end])


def worst(judgements):
    judgements = list(judgements)
    for j in (WRONG, UNDETECTABLE):
        if j in judgements:
            return j
    return EQUAL


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
    )
}


class Tools:
    """What the operations need from the runner: images, a rig, one clean run."""

    def __init__(self, build, rig_class):
        self.build, self.rig_class = Path(build), rig_class

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
