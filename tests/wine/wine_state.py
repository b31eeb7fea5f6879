"""What a Wine prefix holds, as the package proofs compare it from one session to the next: the
registry, read from the files in which Wine saves it, and the Windows folder, by path, size and
SHA-256 of every file."""

import hashlib
import os
import re
import stat

# Left out of every comparison: Wine's per-program settings, which run_case.sh writes for each
# program it starts (Windows 98 mode), and the date and the link that Wine gives its display
# adapter when a session brings up the display or a virtual desktop (under the display adapters'
# class key).
NOT_COMPARED_KEYS = re.compile(r"^HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults(\\|$)", re.I)
NOT_COMPARED_VALUES = [
    (re.compile(r"^HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\"
                r"\{4D36E968-E325-11CE-BFC1-08002BE10318\}\\[0-9]{4}$", re.I), "DriverDateData"),
    (re.compile(r"^HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\"
                r"\{4D36E968-E325-11CE-BFC1-08002BE10318\}\\[0-9]{4}$", re.I), "SymbolicLinkValue"),
]


# --- the registry, as Wine keeps it --------------------------------------------------------------

# Wine saves the registry into these files of the prefix when its server ends, as it does at the
# end of every run_case.sh session. Volatile keys (the session's own display devices, among them)
# are not saved, so two sessions that changed nothing give the same files but for key times.
HIVES = {
    "system.reg": "HKEY_LOCAL_MACHINE",
    "user.reg": "HKEY_CURRENT_USER",
    "userdef.reg": "HKEY_USERS\\.Default",
}


def unquote(text):
    """The string of a quoted value ("..." with backslash escapes), and what follows it."""
    out, i = [], 1
    while text[i] != '"':
        if text[i] == "\\":
            i += 1
        out.append(text[i])
        i += 1
    return "".join(out), text[i + 1:]


def parse_hive(path, root):
    """{key: {value name: data as written}}; the name None stands for the key itself, "" for its
    default value. Key times and Wine's #-lines are left out."""
    reg, key, last = {}, None, None
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f.read().splitlines():
            if line.startswith("  ") and last is not None:  # a long value goes on
                reg[key][last] += line.strip()
            elif line.startswith("["):
                path_text = line[1:line.rindex("]")]
                key, last = root + "\\" + re.sub(r"\\(.)", r"\1", path_text), None
                reg.setdefault(key, {None: ""})
            elif key is None or line.startswith("#"):
                continue
            elif line.startswith("@="):
                last = ""
                reg[key][last] = line[2:]
            elif line.startswith('"'):
                last, rest = unquote(line)
                reg[key][last] = rest[1:]
    return reg


def registry(prefix):
    """The whole registry but what is not compared. Wine writes a key without values only when it
    has no subkeys either: every key above a written one exists as well."""
    reg = {}
    for name, root in HIVES.items():
        reg.update(parse_hive(os.path.join(prefix, name), root))
    for key in list(reg):
        while "\\" in key:
            key = key.rsplit("\\", 1)[0]
            reg.setdefault(key, {None: ""})
    for key, values in reg.items():
        for pattern, name in NOT_COMPARED_VALUES:
            if pattern.match(key):
                values.pop(name, None)
    return {k: v for k, v in reg.items() if not NOT_COMPARED_KEYS.match(k)}


def reg_string(data):
    """The text of a string value as Wine writes it, or None for another type."""
    return unquote(data)[0] if data.startswith('"') else None


def flat(reg):
    return {(k, n): d for k, values in reg.items() for n, d in values.items()}


def reg_changes(before, after):
    """(added, removed, changed) as sets of (key, value name); a name of None is the key itself."""
    b, a = flat(before), flat(after)
    return (set(a) - set(b), set(b) - set(a), {k for k in set(a) & set(b) if a[k] != b[k]})


def describe_reg_changes(before, after, limit=8):
    added, removed, changed = reg_changes(before, after)
    texts = []
    for what, items in (("added", added), ("removed", removed), ("changed", changed)):
        for key, name in sorted(items, key=lambda kn: (kn[0], kn[1] or ""))[:limit]:
            texts.append("registry %s: [%s]%s" % (what, key, "" if name is None else " %r" % name))
    return texts


# --- the Windows folder ------------------------------------------------------------------------

_digests = {}


def listing(root, left_out=frozenset()):
    """{path below root, in lower case: "dir" or (size, sha256)}, but for the paths left_out;
    contents are hashed again only when a file's size, time or inode changed."""
    found = {}
    for top, dirs, files in os.walk(root):
        for d in dirs:
            found[os.path.relpath(os.path.join(top, d), root).lower()] = "dir"
        for f in files:
            path = os.path.join(top, f)
            st = os.lstat(path)
            if stat.S_ISLNK(st.st_mode):
                found[os.path.relpath(path, root).lower()] = ("link", os.readlink(path))
                continue
            stamp = (st.st_size, st.st_mtime_ns, st.st_ino)
            if _digests.get(path, (None,))[0] != stamp:
                with open(path, "rb") as fh:
                    _digests[path] = (stamp, hashlib.sha256(fh.read()).hexdigest())
            found[os.path.relpath(path, root).lower()] = (st.st_size, _digests[path][1])
    return {p: v for p, v in found.items() if p not in left_out}


def describe_folder_changes(before, after, limit=8):
    texts = []
    for path in sorted(set(before) | set(after)):
        if before.get(path) != after.get(path):
            what = "added" if path not in before else "removed" if path not in after else "changed"
            texts.append("Windows folder %s: %s" % (what, path))
    return texts[:limit]
