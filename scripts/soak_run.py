#!/usr/bin/env python3
"""One seeded run of the soak: hhtsim --chaos SEED on a pty, formwell-cli against it, and the outcome
checked against the terminal's own record. Prints one line:
    <transfer> <seed> PASS <seconds>s exit=<status> chaos=<the spoilings it saw, or ->
    <transfer> <seed> FAIL <check> <seconds>s exit=<status> chaos=<spoilings>: <what was wrong>
and keeps the run's directory when it fails (or with --keep), so the seed can be looked at again.

Usage: soak_run.py [--keep] BUILD_DIR WORK_DIR TRANSFER SEED
Transfers: ini, receive, framed, line, hexblock.
"""
import fcntl
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import traceback

# A 42-character line each, all different, so that a line stored twice is told from two lines.
INI_LINES = [
    "ARTICLE       Text  14YN010111111111111111",
    "QUANTITY      Number04YN010111111111111111",
    "WHEN          Date  08NN080111111111111111",
    "PLACE         Text  10YN010111111111111111",
]
# "CA" travels with the check byte 0x04, the value of an EOT.
RECORDS = ["REC001;4711;3", "REC002;0815;12", "CA", "REC004;9;9", "REC005;1;1", "REC006;LAST ONE  "]

# The longest each transfer may take against a terminal that only answers late, from the protocols'
# own retries and time-outs, doubled and some seconds added for a busy machine; the pauses the
# terminal's spoiling added come on top (twice over).
#   ini:     50 requests of 200 ms, 4 lines of 3 sends of about 150 ms, 3 EOTs of 170 ms: 12.3 s
#   receive: 25 requests of 200 ms, 6 records of 3 sends of 2 s, 5 s of silence at the end: 46 s
#   loads:   a stuck frame costs 50 tries of 200 ms (framed), 100 of 1 s (line, only when the terminal
#            is silent throughout), 3 tries (hex-block); the loads take 2.6 s, 1.1 s and 15 s
BOUNDS = {"ini": 30.0, "receive": 97.0, "framed": 60.0, "line": 60.0, "hexblock": 90.0}
# A run still going this long after its bound is killed.
KILL_AFTER = 30.0

ROLES = {
    "ini": ["--role", "ini-receiver"],
    "receive": ["--role", "data-sender"],
    "framed": ["--role", "loader"],
    "line": ["--role", "line-loader"],
    "hexblock": ["--role", "rmt-loader", "--ident", "RMT VKN01"],
}
IMAGES = {"framed": "sample.s2", "line": "VKSDEMO.HEX", "hexblock": "sample.s2"}
# The framed loader's markers, which a load may leave outside the image.
MARKERS = {0x200000, 0x20FFFF}


class Failure(Exception):
    def __init__(self, check, detail):
        super().__init__(detail)
        self.check = check
        self.detail = detail


def unescape(text):
    """The inverse of hhtsim's escapeText."""
    out = bytearray()
    i = 0
    simple = {"r": 13, "n": 10, "f": 12, "t": 9, "e": 27, '"': 34, "\\": 92}
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x":
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
                continue
            out.append(simple.get(n, ord(n)))
            i += 2
            continue
        out += c.encode("latin-1")
        i += 1
    return bytes(out)


def read_record(path):
    events = []
    try:
        with open(path, encoding="latin-1") as f:
            for line in f:
                parts = line.rstrip("\n").split(" ", 1)
                if len(parts) == 2:
                    events.append(parts[1])
    except FileNotFoundError:
        pass
    return events


def image_bytes(path):
    """Address to byte for an S-record or Intel HEX image."""
    data = {}
    base = 0
    with open(path, encoding="latin-1") as f:
        for line in f:
            line = line.strip()
            if line.startswith("S") and line[1:2] in "123":
                width = {"1": 2, "2": 3, "3": 4}[line[1]]
                raw = bytes.fromhex(line[2:])
                address = int.from_bytes(raw[1:1 + width], "big")
                for k, b in enumerate(raw[1 + width:-1]):
                    data[address + k] = b
            elif line.startswith(":"):
                raw = bytes.fromhex(line[1:])
                count, offset, kind = raw[0], int.from_bytes(raw[1:3], "big"), raw[3]
                payload = raw[4:4 + count]
                if kind == 0:
                    for k, b in enumerate(payload):
                        data[base + offset + k] = b
                elif kind == 2:
                    base = int.from_bytes(payload, "big") << 4
                elif kind == 4:
                    base = int.from_bytes(payload, "big") << 16
    return data


def port_free(device):
    """The next transfer's open: exclusive, at once."""
    try:
        fd = os.open(device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    except OSError as error:
        return "cannot open %s: %s" % (device, error.strerror)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError as error:
        return "%s is locked: %s" % (device, error.strerror)
    finally:
        os.close(fd)
    return None


def collapse(lines):
    out = []
    for line in lines:
        if not out or out[-1] != line:
            out.append(line)
    return out


def check_ini(events, status):
    if status != 0:
        return
    sessions = [i for i, e in enumerate(events) if e.startswith("SESSION")]
    stored = [i for i, e in enumerate(events) if e.startswith("STORED")]
    if not stored:
        raise Failure("success-without-data", "Download Process Complete, but the terminal never stored the file")
    end = stored[-1]
    start = max([s for s in sessions if s < end], default=0)
    held = []  # (line, answered cleanly)
    for event in events[start:end]:
        m = re.match(r'ACCEPT "(.*)" answer=(clean|garbled)$', event)
        if not m:
            continue
        line = unescape(m.group(1)).decode("latin-1")
        clean = m.group(2) == "clean"
        # A line whose answer never reached the host as an ACK comes again: the protocol has no
        # sequence numbers, and the terminal keeps both copies. Not so after a clean ACK.
        if held and held[-1][0] == line and not held[-1][1]:
            held[-1] = (line, clean)
            continue
        held.append((line, clean))
    want = [line + "\r\n" for line in INI_LINES]
    got = [line for line, _ in held]
    if got != want:
        raise Failure("success-without-data",
                      "Download Process Complete, but the terminal holds %r" % [g.rstrip("\r\n") for g in got])


def check_receive(events, status, directory):
    sent = {}
    acked = []
    for event in events:
        m = re.match(r"SENT (\d+) ", event)
        if m:
            sent[int(m.group(1))] = sent.get(int(m.group(1)), 0) + 1
        m = re.match(r"ACKED (\d+)$", event)
        if m:
            acked.append(int(m.group(1)))
    delivered = len(acked)
    path = os.path.join(directory, "import.txt")
    data = open(path, "rb").read() if os.path.exists(path) else b""
    if data and not data.endswith(b"\r\n"):
        raise Failure("import-half-line", "import.txt ends in %r, not CR LF" % data[-20:])
    lines = [line.decode("latin-1") for line in data.split(b"\r\n")[:-1]] if data else []
    for line in lines:
        if line not in RECORDS:
            raise Failure("import-corrupt", "import.txt holds %r, which the terminal never sent" % line)
    for index, record in enumerate(RECORDS, 1):
        if lines.count(record) > sent.get(index, 0):
            raise Failure("import-extra", "import.txt holds %r %d times, the terminal sent it %d" %
                          (record, lines.count(record), sent.get(index, 0)))
    held = collapse(lines)
    if held != RECORDS[:len(held)] or len(held) < delivered:
        raise Failure("acked-missing", "the terminal saw %d records ACKed, import.txt holds %r" %
                      (delivered, lines))
    if len(held) > delivered + 1:
        raise Failure("import-extra", "import.txt holds %d records, the terminal sent only %d to ACK" %
                      (len(held), delivered + 1))
    if status == 0 and (delivered < len(RECORDS) or "EOT" not in events or len(held) < len(RECORDS)):
        raise Failure("success-without-data", "Upload Complete, but the terminal saw %d of %d records ACKed%s" %
                      (delivered, len(RECORDS), "" if "EOT" in events else " and never sent its EOT"))


def check_load(events, status, image, flash_path):
    flash = image_bytes(flash_path) if os.path.exists(flash_path) else {}
    for address, value in flash.items():
        # The loader writes its markers before the image, so a load cut short can leave them where the
        # image has other bytes; a finished load has overwritten them.
        marker = address in MARKERS and value == 0x00 and status != 0
        if address in image:
            if value != image[address] and not marker:
                raise Failure("flash-wrong", "flash holds %02X at %06X, the image %02X" %
                              (value, address, image[address]))
        elif value != 0xFF and not (address in MARKERS and value == 0x00):
            raise Failure("flash-stray", "flash holds %02X at %06X, outside the image" % (value, address))
    if status != 0:
        return
    missing = [a for a in image if a not in flash]
    if missing:
        raise Failure("success-without-data", "the load reported success, flash lacks %d of the image's %d bytes "
                      "(first at %06X)" % (len(missing), len(image), missing[0]))
    if "EXCHANGE completed" not in events:
        raise Failure("success-without-data", "the load reported success, the terminal's session never completed")


def spoilings(events):
    """The spoilings the run saw, in order: "late,noise-before", or "-"."""
    kinds = [m.group(1) for e in events for m in [re.match(r"CHAOS #\d+ (\S+)", e)] if m]
    return ",".join(kinds) or "-"


def start_terminal(build, directory, transfer, seed):
    term = os.path.join(directory, "terminal")
    args = [os.path.join(build, "bin", "hhtsim")] + ROLES[transfer] + [
        "--chaos", str(seed), "--record", os.path.join(term, "record.txt"),
        "--log", os.path.join(term, "hhtsim.log")]
    if transfer == "ini":
        args += ["--out", os.path.join(term, "received.ini")]
    elif transfer == "receive":
        args += ["--records", os.path.join(term, "records.txt")]
    else:
        args += ["--flash-out", os.path.join(term, "flash.s2")]
    sim = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=open(os.path.join(term, "hhtsim.err"), "wb"))
    device = sim.stdout.readline().decode().strip()
    if not device:
        sim.kill()
        sim.wait()
        raise Failure("setup", "hhtsim did not start")
    return sim, device


def stop(process, grace):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def report(line):
    """The run's line, in one write: the runs going at once append to the same file, and print() may
    write the text and its newline apart (it does under PYTHONUNBUFFERED), so that two lines merge."""
    os.write(sys.stdout.fileno(), (line.replace("\n", " ") + "\n").encode("utf-8", "replace"))


def run(build, work, transfer, seed, keep):
    directory = os.path.join(work, "%s-%d" % (transfer, seed))
    shutil.rmtree(directory, ignore_errors=True)
    term = os.path.join(directory, "terminal")
    os.makedirs(term)
    with open(os.path.join(directory, "mbx.dat"), "wb") as f:
        f.write(b"Com1:19200 8N10")
    with open(os.path.join(directory, "fields.ini"), "wb") as f:
        f.write("".join(line + "\r\n" for line in INI_LINES).encode())
    with open(os.path.join(term, "records.txt"), "wb") as f:
        f.write("".join(r + "\n" for r in RECORDS).encode())

    status = None
    elapsed = 0.0
    sim = None
    events = []
    try:
        sim, device = start_terminal(build, directory, transfer, seed)
        command = {"ini": ["send-ini", os.path.join(directory, "fields.ini")], "receive": ["receive"]}.get(
            transfer, ["load", os.path.join(build, "demo", IMAGES.get(transfer, ""))])
        env = dict(os.environ, COM1=device)
        start = time.monotonic()
        with open(os.path.join(directory, "cli.out"), "wb") as out, \
                open(os.path.join(directory, "cli.err"), "wb") as err:
            cli = subprocess.Popen([os.path.join(build, "bin", "formwell-cli"), "--dir", directory, "--yes"] +
                                   command, stdout=out, stderr=err, stdin=subprocess.DEVNULL, env=env)
            try:
                status = cli.wait(BOUNDS[transfer] + KILL_AFTER)
            except subprocess.TimeoutExpired:
                cli.kill()
                cli.wait()
        elapsed = time.monotonic() - start

        events = read_record(os.path.join(term, "record.txt"))
        hung_up = any(e.startswith("CHAOS") and " hang-up" in e for e in events)
        busy = None if hung_up or sim.poll() is not None else port_free(device)
        stop(sim, 5)
        events = read_record(os.path.join(term, "record.txt"))
        delay = sum(int(m.group(1)) / 1000 for e in events for m in [re.search(r" delay=(\d+)$", e)] if m)
        bound = BOUNDS[transfer] + 2 * delay
        if status is None:
            raise Failure("bound", "still running after %.0f s (bound %.0f s): killed" % (elapsed, bound))
        if elapsed > bound:
            raise Failure("bound", "took %.1f s, bound %.1f s" % (elapsed, bound))
        if busy:
            raise Failure("port-busy", busy)
        if transfer == "ini":
            check_ini(events, status)
        elif transfer == "receive":
            check_receive(events, status, directory)
        else:
            check_load(events, status, image_bytes(os.path.join(build, "demo", IMAGES[transfer])),
                       os.path.join(term, "flash.s2"))
    except Failure as failure:
        report("%s %d FAIL %s %.1fs exit=%s chaos=%s: %s" % (transfer, seed, failure.check, elapsed, status,
                                                           spoilings(events), failure.detail))
        return 1
    except Exception as error:  # a fault of this script: named, with its traceback kept beside the run
        with open(os.path.join(directory, "soak_run.traceback"), "w") as f:
            traceback.print_exc(file=f)
        report("%s %d FAIL harness %.1fs exit=%s chaos=%s: %s: %s" % (transfer, seed, elapsed, status,
                                                                    spoilings(events), type(error).__name__,
                                                                    error))
        return 1
    finally:
        if sim is not None:
            stop(sim, 5)
    report("%s %d PASS %.1fs exit=%s chaos=%s" % (transfer, seed, elapsed, status, spoilings(events)))
    if not keep:
        shutil.rmtree(directory, ignore_errors=True)
    return 0


def main(argv):
    keep = "--keep" in argv
    args = [a for a in argv if a != "--keep"]
    if len(args) != 4 or args[2] not in ROLES or not args[3].isdigit():
        sys.stderr.write(__doc__)
        return 2
    return run(args[0], args[1], args[2], int(args[3]), keep)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
