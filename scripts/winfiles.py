"""Reads Windows files for the scripts: programs and DLLs with pefile, shell
links with lnkinfo (Debian's python3-pefile and liblnk-utils, which
scripts/setup installs). Run it with Debian's /usr/bin/python3."""

import re
import struct
import subprocess

import pefile

MACHINES = {0x14C: "i386", 0x8664: "x86-64", 0xAA64: "ARM64", 0x1C4: "ARM"}
RT_ICON, RT_RCDATA, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 10, 14, 16, 24


class Program:
    """A PE file: a Windows program or DLL."""

    def __init__(self, data):
        self.pe = pefile.PE(data=data, fast_load=True)
        self.pe.parse_data_directories(directories=[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])

    @property
    def machine(self):
        code = self.pe.FILE_HEADER.Machine
        return MACHINES.get(code, hex(code))

    def imports(self):
        """The DLL names of the import table."""
        return [e.dll.decode("ascii", "replace") for e in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", [])]

    def resources(self):
        """{type: {id: bytes}} of the first language of each resource."""
        out = {}
        root = getattr(self.pe, "DIRECTORY_ENTRY_RESOURCE", None)
        for rtype in root.entries if root else []:
            for entry in rtype.directory.entries:
                data = entry.directory.entries[0].data.struct
                out.setdefault(rtype.id, {})[entry.id] = self.pe.get_data(data.OffsetToData, data.Size)
        return out

    def version(self):
        """(file version, product version) as 4-tuples, and {block: {key: value}} of the
        version record's strings; None without a version record."""
        if not getattr(self.pe, "VS_FIXEDFILEINFO", None):
            return None
        fixed = self.pe.VS_FIXEDFILEINFO[0]

        def split(ms, ls):
            return ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF

        strings = {}
        for info in self.pe.FileInfo[0] if self.pe.FileInfo else []:
            for table in getattr(info, "StringTable", []):
                strings[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
        return (split(fixed.FileVersionMS, fixed.FileVersionLS),
                split(fixed.ProductVersionMS, fixed.ProductVersionLS), strings)

    def icon_sizes(self):
        """(width, bits per pixel) of the images of the first icon group."""
        group = next(iter(self.resources().get(RT_GROUP_ICON, {}).values()), b"")
        if len(group) < 6:
            return []
        # GRPICONDIR: 6 bytes, then 14-byte entries (width, height, colours, reserved,
        # planes, bit count, size, id).
        count = struct.unpack_from("<H", group, 4)[0]
        return sorted((group[6 + 14 * i] or 256, struct.unpack_from("<H", group, 12 + 14 * i)[0])
                      for i in range(count))

    @property
    def signed(self):
        """Whether it carries an Authenticode signature (a security directory)."""
        security = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
        return security.Size > 0


def program(data):
    """The Program in data, or None when data is no Windows program."""
    try:
        return Program(data)
    except pefile.PEFormatError:
        return None


def shortcut(path):
    """The fields lnkinfo reads from a shell link ("Local path", "Working
    directory", ...), or {} when it is none."""
    run = subprocess.run(["lnkinfo", str(path)], capture_output=True, text=True, errors="replace")
    if run.returncode:
        return {}
    # Wine counts a closing NUL into a string's length.
    return {k.strip(): v.strip().rstrip("\0") for k, v in re.findall(r"^\t([^\t:\n][^:\n]*?)\s*: (.*)$", run.stdout, re.M)}
