#!/usr/bin/env python3
"""Checks SOUP reply files with Python's email package, an RFC 5322/MIME
parser that shares nothing with the gateway.

Usage: checkreplies.py [--decoded FILE] SOUPDIR ORIGINALDIR...

Every file registered in SOUPDIR/REPLIES is cut into its records (4-byte
big-endian length, message). Each message must parse without defects and
carry a valid Date and Message-ID; news needs Newsgroups, mail recipients.
Attached files must decode to the bytes of the file of the same name found
below one of the ORIGINALDIRs. Header lines must be ASCII (text that is
not goes in encoded words, on lines of at most 78 characters, none of them
empty), and so must every address. With --decoded, FILE holds lines
"RECORD<TAB>WHAT<TAB>TEXT" (RECORD as in the problem lines, MAIL0000#2):
WHAT "From" is the display name of the first sender, "From-address" its
address, "Body" a text the decoded body must hold, any other a header
whose decoded value must be TEXT ("(none)": a header the message must not
have). Problems are printed; the exit status is
1 when there were any.
"""
import binascii
import email
import email.policy
import email.utils
import os
import re
import sys

MSGID = re.compile(r"<[^<>@\s]+@[^<>@\s]+>")
problems = []


def problem(where, text):
    problems.append("%s: %s" % (where, text))


def records(path):
    data = open(path, "rb").read()
    at = 0
    while at < len(data):
        if at + 4 > len(data):
            raise ValueError("record length cut off at %d" % at)
        n = int.from_bytes(data[at:at + 4], "big")
        if at + 4 + n > len(data):
            raise ValueError("record at %d runs past the end" % at)
        yield data[at + 4:at + 4 + n]
        at += 4 + n


def original(name, dirs):
    for d in dirs:
        for root, _, files in os.walk(d):
            if name in files:
                return open(os.path.join(root, name), "rb").read()
    return None


def uudecode(text):
    lines = text.splitlines()
    if not lines or not lines[0].startswith("begin 644 "):
        raise ValueError("no begin line")
    out = b""
    for line in lines[1:]:
        if line == "`" or line == "end":
            break
        out += binascii.a2b_uu(line)
    if "end" not in lines:
        raise ValueError("no end line")
    return out


def rawheader(raw):
    end = raw.find(b"\n\n")
    return raw if end < 0 else raw[:end + 1]


def checkrawheader(where, raw):
    head = rawheader(raw)
    try:
        text = head.decode("ascii")
    except UnicodeDecodeError as e:
        problem(where, "8-bit byte in the header at %d" % e.start)
        return
    lines = text.split("\n")[:-1]
    for i, line in enumerate(lines):
        continued = line[:1] in (" ", "\t")
        if continued and not line.strip():
            problem(where, "empty continuation line after %r" % lines[i - 1])
        if "=?" in line and len(line) > 78:
            problem(where, "encoded header line of %d characters: %r" % (len(line), line))


def checkaddresses(where, msg):
    for name in ("From", "To", "Cc", "Bcc", "Reply-To", "Sender"):
        value = msg[name]
        if value is None:
            continue
        for a in getattr(value, "addresses", ()):
            if not a.addr_spec.isascii():
                problem(where, "%s: address %r is not ASCII" % (name, a.addr_spec))


def decodedvalue(msg, what):
    if what in ("From", "From-address"):
        addrs = getattr(msg["From"], "addresses", ())
        if not addrs:
            return None
        return addrs[0].display_name if what == "From" else addrs[0].addr_spec
    value = msg[what]
    return None if value is None else str(value)


def checkdecoded(where, msg, wants):
    for what, text in wants.get(where, ()):
        if what == "Body":
            part = msg.get_payload()[0] if msg.is_multipart() else msg
            body = part.get_content()
            if text not in body:
                problem(where, "body does not hold %r: %r" % (text, body[:200]))
            continue
        got = decodedvalue(msg, what)
        if text == "(none)":
            if got is not None:
                problem(where, "%s present: %r" % (what, got))
            continue
        if got != text:
            problem(where, "%s decodes to %r, not %r" % (what, got, text))


def readdecoded(path):
    wants = {}
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if not line or line.startswith("#"):
            continue
        record, what, text = line.split("\t", 2)
        wants.setdefault(record, []).append((what, text))
    return wants


def checkheaders(where, msg, kind):
    for d in msg.defects:
        problem(where, "message defect %r" % d)
    for name, value in msg.items():
        for d in getattr(value, "defects", ()):
            problem(where, "%s: defect %r" % (name, d))
    for name in ("From", "Subject", "Date", "Message-ID", "Mime-version", "Content-Type"):
        if msg[name] is None:
            problem(where, "no %s header" % name)
    if kind == "news" and msg["Newsgroups"] is None:
        problem(where, "news without Newsgroups")
    if kind == "mail" and msg["To"] is None and msg["Bcc"] is None:
        problem(where, "mail without recipients")
    try:
        date = email.utils.parsedate_to_datetime(str(msg["Date"]))
        if date.tzinfo is None:
            problem(where, "Date without zone: %s" % msg["Date"])
    except (TypeError, ValueError) as e:
        problem(where, "bad Date %r: %s" % (msg["Date"], e))
    if not MSGID.fullmatch(str(msg["Message-ID"])):
        problem(where, "bad Message-ID %r" % msg["Message-ID"])
    for name in ("In-Reply-To", "References"):
        if msg[name] is not None and not MSGID.fullmatch(str(msg[name])):
            problem(where, "bad %s %r" % (name, msg[name]))


def checktext(where, part):
    cte = str(part.get("Content-Transfer-Encoding", "7bit")).lower()
    raw = part.get_payload(decode=False)
    for line in raw.split("\n"):
        if cte == "quoted-printable" and len(line) > 76:
            problem(where, "quoted-printable line of %d characters" % len(line))
        if len(line) > 998:
            problem(where, "line of %d characters" % len(line))
    try:
        part.get_content()
    except Exception as e:  # any failure to decode is a problem to report
        problem(where, "text does not decode: %s" % e)


def checkattachment(where, part, dirs):
    name = part.get_filename()
    if not name:
        problem(where, "attachment without name")
        return
    cte = str(part.get("Content-Transfer-Encoding", "")).lower()
    try:
        if cte == "base64":
            data = part.get_payload(decode=True)
        else:
            data = uudecode(part.get_payload(decode=False))
    except (ValueError, binascii.Error) as e:
        problem(where, "%s does not decode: %s" % (name, e))
        return
    want = original(name, dirs)
    if want is None:
        problem(where, "no original for %s" % name)
    elif data != want:
        problem(where, "%s decodes to %d bytes that differ from the original" % (name, len(data)))


def checkmessage(where, raw, kind, dirs, wants):
    checkrawheader(where, raw)
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    checkheaders(where, msg, kind)
    checkaddresses(where, msg)
    checkdecoded(where, msg, wants)
    if msg.is_multipart():
        parts = msg.get_payload()
        if not parts or parts[0].get_content_type() != "text/plain":
            problem(where, "multipart without a text part first")
            return
        checktext(where, parts[0])
        for p in parts[1:]:
            if p.get_content_type() != "application/octet-stream":
                problem(where, "unexpected part %s" % p.get_content_type())
            checkattachment(where, p, dirs)
    elif msg.get_content_type() != "text/plain":
        problem(where, "unexpected type %s" % msg.get_content_type())
    else:
        checktext(where, msg)


def main(argv):
    wants = {}
    if len(argv) > 2 and argv[1] == "--decoded":
        wants = readdecoded(argv[2])
        argv = argv[:1] + argv[3:]
    if len(argv) < 2:
        print(__doc__)
        return 2
    soup, dirs = argv[1], argv[2:]
    seen = set()
    count = 0
    replies = os.path.join(soup, "REPLIES")
    if os.path.exists(replies):
        for line in open(replies, encoding="ascii"):
            base, kind, fmt = line.rstrip("\n").split("\t")
            if fmt not in ("bn", "Bn"):
                problem(base, "unknown format %s" % fmt)
                continue
            try:
                for i, raw in enumerate(records(os.path.join(soup, base + ".MSG"))):
                    where = "%s#%d" % (base, i + 1)
                    seen.add(where)
                    checkmessage(where, raw, kind, dirs, wants)
                    count += 1
            except (OSError, ValueError) as e:
                problem(base, str(e))
    for record in sorted(set(wants) - seen):
        problem(record, "no such message")
    for p in problems:
        print(p)
    print("%d messages checked" % count)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
