"""A small reader of PE images, for the checks of the Windows executables: headers, sections,
data directories, the import tables and the resource tree with the string, menu, accelerator and
version resources it holds. It states no rule about what an executable must be; check_win95_exe.py
does that."""

import struct

SCN_EXECUTE, SCN_READ, SCN_WRITE = 0x20000000, 0x40000000, 0x80000000
DIR_IMPORT, DIR_RESOURCE, DIR_TLS, DIR_LOAD_CONFIG, DIR_BOUND_IMPORT, DIR_DELAY_IMPORT = 1, 2, 9, 10, 11, 13
RT_ICON, RT_MENU, RT_DIALOG, RT_STRING, RT_ACCELERATOR, RT_GROUP_ICON, RT_VERSION = 3, 4, 5, 6, 9, 14, 16


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe : pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, _, _, _, optional_size, self.characteristics) = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        opt = self.optional_at = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        if self.magic != 0x10B:
            raise ValueError("not a PE32 image (optional header magic 0x%X)" % self.magic)
        self.entry = struct.unpack_from("<I", data, opt + 16)[0]
        (self.image_base, self.section_alignment, self.file_alignment) = struct.unpack_from(
            "<III", data, opt + 28)
        (self.os_major, self.os_minor, _, _, self.subsys_major, self.subsys_minor) = struct.unpack_from(
            "<HHHHHH", data, opt + 40)
        self.image_size, self.headers_size = struct.unpack_from("<II", data, opt + 56)
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        count = struct.unpack_from("<I", data, opt + 92)[0]
        self.directories = [struct.unpack_from("<II", data, opt + 96 + 8 * i) for i in range(count)]
        self.sections, self.section_headers = [], []
        for i in range(sections):
            at = opt + optional_size + 40 * i
            self.section_headers.append(at)
            name = data[at : at + 8].rstrip(b"\0").decode("ascii", "replace")
            vsize, rva, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
            flags = struct.unpack_from("<I", data, at + 36)[0]
            self.sections.append((name, rva, vsize, raw_at, raw_size, flags))

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def section_at(self, rva):
        for section in self.sections:
            _, start, vsize, _, raw_size, _ = section
            if start <= rva < start + max(vsize, raw_size):
                return section
        return None

    def offset(self, rva):
        section = self.section_at(rva)
        if section is None:
            raise ValueError("RVA 0x%X is in no section" % rva)
        _, start, _, raw_at, _, _ = section
        return raw_at + rva - start

    def u16(self, rva):
        return struct.unpack_from("<H", self.data, self.offset(rva))[0]

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def cstring(self, rva):
        at = self.offset(rva)
        return self.data[at : self.data.index(b"\0", at)].decode("ascii", "replace")


def import_descriptors(image):
    """(dll, lookup table RVA, address table RVA) of every DLL imported from."""
    found = []
    rva = image.directory(DIR_IMPORT)[0]
    while rva:
        lookup, _, _, name_rva, thunks = struct.unpack_from("<IIIII", image.data, image.offset(rva))
        if not name_rva:
            break
        found.append((image.cstring(name_rva), lookup, thunks))
        rva += 20
    return found


def imports(image):
    """(dll, name or None for an ordinal) of every import."""
    found = []
    for dll, lookup, thunks in import_descriptors(image):
        entry = lookup or thunks
        while image.u32(entry):
            value = image.u32(entry)
            found.append((dll, None if value & 0x80000000 else image.cstring(value + 2)))
            entry += 4
    return found



def resources(image):
    """{(type, name): {language: bytes}}; names are ints or upper-case strings."""
    base = image.directory(DIR_RESOURCE)[0]
    if not base:
        return {}
    root = image.offset(base)
    data = image.data

    def entries(at):
        named, ids = struct.unpack_from("<HH", data, root + at + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, root + at + 16 + 8 * i)
            if name & 0x80000000:
                length = struct.unpack_from("<H", data, root + (name & 0x7FFFFFFF))[0]
                start = root + (name & 0x7FFFFFFF) + 2
                name = data[start : start + 2 * length].decode("utf-16-le")
            yield name, target

    found = {}
    for rtype, types_at in entries(0):
        for name, names_at in entries(types_at & 0x7FFFFFFF):
            for lang, leaf in entries(names_at & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, root + leaf)
                found.setdefault((rtype, name), {})[lang] = data[image.offset(rva) : image.offset(rva) + size]
    return found


def wstring(data, at):
    end = at
    while data[end : end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def string_block(data):
    strings, at = [], 0
    for _ in range(16):
        length = struct.unpack_from("<H", data, at)[0]
        strings.append(data[at + 2 : at + 2 + 2 * length].decode("utf-16-le"))
        at += 2 + 2 * length
    return strings


def menu(data):
    """[(text, id or [children])]; the header must be the plain one."""
    if struct.unpack_from("<HH", data, 0) != (0, 0):
        raise ValueError("not a standard menu header")

    def items(at):
        out = []
        while True:
            flags = struct.unpack_from("<H", data, at)[0]
            if flags & 0x10:  # MF_POPUP
                text, at = wstring(data, at + 2)
                children, at = items(at)
                out.append((flags & ~0x90, text, children))
            else:
                ident = struct.unpack_from("<H", data, at + 2)[0]
                text, at = wstring(data, at + 4)
                out.append((flags & ~0x80, text, ident))
            if flags & 0x80:  # MF_END
                return out, at

    tree, end = items(4)
    if end != len(data):
        raise ValueError("%d bytes after the last item" % (len(data) - end))
    return tree


def accelerators(data):
    out = []
    for at in range(0, len(data), 8):
        flags, key, ident, _ = struct.unpack_from("<HHHH", data, at)
        out.append((flags & ~0x80, key, ident))
        if flags & 0x80:
            break
    return out


def version_node(data, at):
    """(key, value, children, length) of one VS_VERSIONINFO-style block."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    key, p = wstring(data, at + 6)
    p = (p + 3) & ~3
    if kind == 1:
        raw = data[p : p + 2 * value_length]
        value = raw.decode("utf-16-le").split("\0", 1)[0]
        p += 2 * value_length
    else:
        value = data[p : p + value_length]
        p += value_length
    children = []
    while True:
        p = (p + 3) & ~3
        if p >= at + length:
            break
        child = version_node(data, p)
        children.append(child)
        p += child[3]
    return key, value, children, length
