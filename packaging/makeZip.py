#!/usr/bin/python3
"""Writes the release zip: the plug-in, the user readme, the licence and the
SHA-256 sums of those three, in that order, every member stamped with one
fixed time and fixed attributes, so that the same inputs give the same bytes
whatever the files' own times, owners or permissions.

    makeZip.py OUT.zip gen_zanq.dll README.txt LICENSE.txt
"""
import hashlib
import sys
import zipfile

FIXED_TIME = (2026, 1, 1, 0, 0, 0)


def windowsText(data):
    """The texts are read on Windows: CR LF line ends, whatever the checkout has."""
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def members(dllPath, readmePath, licencePath):
    with open(dllPath, "rb") as f:
        dll = f.read()
    with open(readmePath, "rb") as f:
        readme = windowsText(f.read())
    with open(licencePath, "rb") as f:
        licence = windowsText(f.read())
    files = [("gen_zanq.dll", dll), ("README.txt", readme), ("LICENSE.txt", licence)]
    # The format that sha256sum -c reads; LF ends, which it requires.
    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name) for name, data in files)
    return files + [("SHA256SUMS.txt", sums.encode("ascii"))]


def writeZip(outPath, entries):
    with zipfile.ZipFile(outPath, "w") as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            # MS-DOS attributes, "archive" only: no Unix owner or mode bits
            # (zipfile would put in its own mode for a zero).
            info.create_system = 0
            info.external_attr = 0x20
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)


def main(argv):
    if len(argv) != 5:
        sys.exit("usage: makeZip.py OUT.zip gen_zanq.dll README.txt LICENSE.txt")
    writeZip(argv[1], members(argv[2], argv[3], argv[4]))


if __name__ == "__main__":
    main(sys.argv)
