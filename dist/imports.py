"""What a Windows executable imports, against what Windows XP has.

    python3 dist/imports.py EXE...

Reads each executable's PE header and import table and names every import
that dist/xp-imports.txt does not allow for its architecture, any import by
ordinal or loaded late, and a header that does not state Windows XP (5.1
for 32-bit, 5.2 for x64: XP x64 is the first x64 Windows). Exit status 1
when anything is refused. dist/package.py refuses the same executables."""

import struct
import sys
from pathlib import Path

ALLOWED = Path(__file__).resolve().parent / "xp-imports.txt"
# PE machine: (architecture in the list, the Windows version the header must state)
MACHINES = {0x14C: ("x86", (5, 1)), 0x8664: ("x64", (5, 2))}


class PEError(Exception):
    pass


def allowed():
    """{(dll in lower case, function): set of architectures} from the list."""
    table = {}
    for line in ALLOWED.read_text(encoding="utf-8").splitlines():
        if line.strip() and not line.startswith("#"):
            dll, function, arch, _why = line.split(None, 3)
            table[(dll.lower(), function)] = {"x86", "x64"} if arch == "both" else {arch}
    return table


def read_pe(path):
    """(machine, OS version, subsystem version, [(dll, function)], delay-loaded)."""
    try:
        return parse(path, Path(path).read_bytes())
    except (struct.error, ValueError):
        raise PEError("%s: its header or import table is damaged" % path) from None


def parse(path, data):
    if data[:2] != b"MZ":
        raise PEError("%s is not a Windows executable" % path)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise PEError("%s is not a Windows executable" % path)
    machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    opt = pe + 24
    wide = struct.unpack_from("<H", data, opt)[0] == 0x20B  # PE32+
    os_version = struct.unpack_from("<HH", data, opt + 40)
    subsystem_version = struct.unpack_from("<HH", data, opt + 48)
    directories = opt + (112 if wide else 96)
    table = [struct.unpack_from("<IIIII", data, opt + optional_size + 40 * i + 8) for i in range(sections)]

    def offset(rva):
        for size, address, raw_size, raw, _ in table:
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw
        raise PEError("%s: address %#x is in no section" % (path, rva))

    def string(rva):
        at = offset(rva)
        return data[at:data.index(b"\0", at)].decode("ascii")

    imports = []
    rva = struct.unpack_from("<I", data, directories + 8)[0]
    at = offset(rva) if rva else None
    while at is not None:
        lookup, _, _, name, thunks = struct.unpack_from("<IIIII", data, at)
        if not name:
            break
        dll, entry = string(name), offset(lookup or thunks)
        size, ordinal = (8, 1 << 63) if wide else (4, 1 << 31)
        while True:
            value = struct.unpack_from("<Q" if wide else "<I", data, entry)[0]
            if not value:
                break
            imports.append((dll, "#%d" % (value & 0xFFFF) if value & ordinal else string(value + 2)))
            entry += size
        at += 20
    delayed = struct.unpack_from("<I", data, directories + 13 * 8 + 4)[0] != 0
    return machine, os_version, subsystem_version, imports, delayed


def refusals(path, table=None):
    """(why `path` could not start on Windows XP, empty when it could; how many
    functions it imports)."""
    table = table or allowed()
    machine, os_version, subsystem_version, imports, delayed = read_pe(path)
    if machine not in MACHINES:
        return ["%s is for machine %#x, neither x86 nor x64" % (path, machine)], len(imports)
    arch, xp = MACHINES[machine]
    why = ["%s states Windows %d.%d as its %s version, not %d.%d" % (path, *version, kind, *xp)
           for kind, version in (("OS", os_version), ("subsystem", subsystem_version)) if version != xp]
    if delayed:
        why.append("%s loads imports late, out of this check's sight" % path)
    why += ["%s imports %s from %s, which %s does not allow" % (path, function, dll, ALLOWED.name)
            for dll, function in imports if arch not in table.get((dll.lower(), function), ())]
    return why, len(imports)


def main(argv=None):
    paths = sys.argv[1:] if argv is None else argv
    if not paths:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    table, refused = allowed(), False
    for path in paths:
        try:
            why, count = refusals(path, table)
        except (OSError, PEError) as e:
            why = [str(e)]
        for line in why:
            print("imports: %s" % line, file=sys.stderr)
        refused = refused or bool(why)
        if not why:
            print("%s: %d imports, all in %s; header states Windows XP" % (path, count, ALLOWED.name))
    return 1 if refused else 0


if __name__ == "__main__":
    sys.exit(main())
