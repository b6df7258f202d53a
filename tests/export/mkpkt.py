#!/usr/bin/env python3
"""Builds FidoNet packets for the export tests from readable descriptions.

A description is a text file of "key: value" lines:

    packet: 2+ 2:280/5556.0 -> 2:280/5555.0   type 2+ (zones and points), or 2
    pkttype: 3                                 optional: another packet type word
    capvalid: 0x0001                           optional: another capability copy (2+)
    password: SECRET                           optional packet password
    msg: 280/5556 -> 280/5555 attr 0x0001      a packed message header
    date: 14 Sep 99  20:16:10                  the message's strings, written as
    to: UUCP                                   given (no length limit, so fields
    from: Jane Doe                             that are too long can be made)
    subject: Hello
    text:                                      text lines up to a line ".", each
    ^AMSGID: 2:280/5555.1 1a2b3c4d              ended by a carriage return; "^A" is
    Hello                                      0x01, "\\xNN" any byte, "\\\\" a
    .                                          backslash, "\\c" at the end: no CR
    terminator: no                             optional: leave out the two zero bytes
    cutlast: 10                                optional: drop the file's last bytes

A stored netmail message (*.MSG: a 190-byte header, then the text) instead:

    stored: 280/5556 -> 280/5555 attr 0x0011   origin, destination, attribute word
    date:, to:, from:, subject:, text:         as above, in any order; each header
                                               field is cut to its width (36, 36,
                                               72, 20 bytes) and zero-filled

Usage: mkpkt.py DESCRIPTION OUTPUT
       mkpkt.py --case CASEDIR [--check]   every CASEDIR/packets/NAME.txt into
                                           CASEDIR/input/pkt/NAME.PKT (NAME.EXT.txt
                                           into NAME.EXT), and CASEDIR/packets/DIR/...
                                           into CASEDIR/input/DIR/...; or compare
"""
import os
import re
import struct
import sys


def addr(text):
    m = re.fullmatch(r"(\d+):(\d+)/(\d+)(?:\.(\d+))?", text)
    if not m:
        raise ValueError("bad address " + text)
    return tuple(int(g or 0) for g in m.groups())


def netnode(text):
    m = re.fullmatch(r"(\d+)/(\d+)", text)
    if not m:
        raise ValueError("bad net/node " + text)
    return int(m.group(1)), int(m.group(2))


def textline(line):
    out = bytearray()
    nocr = line.endswith("\\c")
    if nocr:
        line = line[:-2]
    i = 0
    while i < len(line):
        if line.startswith("^A", i):
            out.append(1)
            i += 2
        elif line.startswith("\\x", i):
            out.append(int(line[i + 2:i + 4], 16))
            i += 4
        elif line.startswith("\\\\", i):
            out.append(0x5C)
            i += 2
        else:
            out += line[i].encode("latin-1")
            i += 1
    if not nocr:
        out.append(13)
    return bytes(out)


def header(kind, orig, dest, pkttype, password, capvalid):
    plus = kind == "2+"
    if capvalid is None:
        capvalid = 0x0100 if plus else 0
    h = struct.pack("<12H", orig[2], dest[2], 1999, 8, 14, 20, 16, 10, 0, pkttype,
                    orig[1], dest[1])
    h += bytes([0, 1]) + password.encode("latin-1")[:8].ljust(8, b"\0")
    h += struct.pack("<3H", orig[0] if plus else 0, dest[0] if plus else 0, 0)
    h += struct.pack("<H", capvalid) + bytes([1, 0])
    h += struct.pack("<5H", 1 if plus else 0, orig[0] if plus else 0, dest[0] if plus else 0,
                     orig[3] if plus else 0, dest[3] if plus else 0)
    h += bytes(4)
    assert len(h) == 58
    return h


def storedfield(value, width):
    return textline(value)[:-1][:width].ljust(width, b"\0")


def entries(lines):
    """(key, value) pairs of a description; a "text" entry's value is its
    lines up to the one holding only "."."""
    i = 0
    while i < len(lines):
        line = lines[i]
        i += 1
        if not line.strip() or line.startswith("#"):
            continue
        key, _, value = line.partition(":")
        value = value[1:] if value.startswith(" ") else value
        if key == "text":
            end = lines.index(".", i)
            value, i = lines[i:end], end + 1
        yield key, value


def msgwords(value):
    """orig net/node, dest net/node and attribute of a "msg"/"stored" entry."""
    words = value.split()
    onet, onode = netnode(words[0])
    dnet, dnode = netnode(words[2])
    return onet, onode, dnet, dnode, int(words[4], 0) if len(words) > 4 else 0


def buildstored(lines):
    fields = {"date": "", "to": "", "from": "", "subject": ""}
    text = b""
    onet = onode = dnet = dnode = attr = 0
    for key, value in entries(lines):
        if key == "stored":
            onet, onode, dnet, dnode, attr = msgwords(value)
        elif key in fields:
            fields[key] = value
        elif key == "text":
            text += b"".join(textline(l) for l in value)
        else:
            raise ValueError("unknown key " + key)
    out = storedfield(fields["from"], 36) + storedfield(fields["to"], 36)
    out += storedfield(fields["subject"], 72) + storedfield(fields["date"], 20)
    out += struct.pack("<6H", 0, dnode, onode, 0, onet, dnet) + bytes(8)
    out += struct.pack("<3H", 0, attr, 0)
    assert len(out) == 190
    return out + text + b"\0"


def build(desc):
    lines = desc.split("\n")
    if any(l.startswith("stored:") for l in lines):
        return buildstored(lines)
    out = bytearray()
    pkt = None
    pkttype, password, terminator, cutlast, capvalid = 2, "", True, 0, None
    for key, value in entries(lines):
        if key == "packet":
            kind, orig, _, dest = value.split()
            pkt = (kind, addr(orig), addr(dest))
        elif key == "pkttype":
            pkttype = int(value)
        elif key == "capvalid":
            capvalid = int(value, 0)
        elif key == "password":
            password = value
        elif key == "terminator":
            terminator = value.strip() != "no"
        elif key == "cutlast":
            cutlast = int(value)
        elif key == "msg":
            if not out:
                out += header(pkt[0], pkt[1], pkt[2], pkttype, password, capvalid)
            onet, onode, dnet, dnode, attr = msgwords(value)
            out += struct.pack("<7H", 2, onode, dnode, onet, dnet, attr, 0)
        elif key in ("date", "to", "from", "subject"):
            out += textline(value)[:-1] + b"\0"
        elif key == "text":
            out += b"".join(textline(l) for l in value) + b"\0"
        else:
            raise ValueError("unknown key " + key)
    if not out:
        out += header(pkt[0], pkt[1], pkt[2], pkttype, password, capvalid)
    if terminator:
        out += b"\0\0"
    if cutlast:
        out = out[:-cutlast]
    return bytes(out)


def casefiles(case):
    """(description, target) pairs of a case folder."""
    src = os.path.join(case, "packets")
    for root, dirs, names in os.walk(src):
        dirs.sort()
        for name in sorted(names):
            if not name.endswith(".txt"):
                continue
            stem = name[:-4]
            sub = os.path.relpath(root, src)
            folder = os.path.join(case, "input", "pkt" if sub == "." else sub)
            yield (os.path.join(root, name),
                   os.path.join(folder, stem if "." in stem else stem + ".PKT"))


def main(argv):
    if len(argv) >= 3 and argv[1] == "--case":
        check = "--check" in argv
        bad = 0
        for desc, target in casefiles(argv[2]):
            with open(desc, encoding="latin-1") as f:
                data = build(f.read())
            if check:
                with open(target, "rb") as f:
                    if f.read() != data:
                        print("differs: " + target)
                        bad = 1
            else:
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(data)
        return bad
    if len(argv) == 3:
        with open(argv[1], encoding="latin-1") as f:
            data = build(f.read())
        with open(argv[2], "wb") as f:
            f.write(data)
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
