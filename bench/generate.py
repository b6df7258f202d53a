#!/usr/bin/env python3
"""Generates large, realistic inputs for timing PondLark.

  generate.py soup DIR COUNT   a SOUP packet (AREAS and message files) with mail and news
  generate.py pkt  DIR COUNT   a folder of FidoNet packets with netmail and echomail
  generate.py maildir DIR COUNT   a Maildir (new/, cur/, tmp/) of COUNT mails, one a file

The mix: plain mail, quoted-printable mail, mail with a Base64 attachment, long
lines, replies with References, and news crossposted to several groups. The
output depends only on COUNT (a fixed random seed), so runs are comparable.
"""
import base64
import os
import random
import struct
import sys

WORDS = ("the gateway moves mail and news between fidonet and the internet while the "
         "sysop sleeps every message must arrive exactly once with its text intact and "
         "its attachments as files pond lark heron reed water morning echo netmail "
         "tosser mailer packet origin seen-by path kludge area newsgroup reply quote").split()
GROUPS = ["alt.test", "comp.lang.c", "comp.os.linux.misc", "rec.birds", "de.comm.fido"]
AREAS = ["PONDLARK.TEST", "C_ECHO", "LINUX.MISC", "BIRDS", "FIDO.GER"]


def sentence(rng, n):
    return " ".join(rng.choice(WORDS) for _ in range(n))


def body(rng, lines, quoted=False):
    out = []
    if quoted:
        out.append("Jane Doe wrote:")
        for _ in range(3):
            out.append("> " + sentence(rng, 10))
        out.append("")
    for i in range(lines):
        if i % 17 == 16:
            out.append(sentence(rng, 70))  # a long line (about 400 characters)
        elif i % 6 == 5:
            out.append("")
        else:
            out.append(sentence(rng, rng.randint(6, 13)))
    return "\n".join(out) + "\n"


def qp(text):
    out = []
    for line in text.split("\n"):
        enc = ""
        for ch in line:
            c = ord(ch)
            enc += ch if (32 <= c < 127 and ch != "=") else "=%02X" % c
        while len(enc) > 75:
            out.append(enc[:75] + "=")
            enc = enc[75:]
        out.append(enc)
    return "\n".join(out)


def mail(rng, i):
    kind = i % 5
    hdr = [
        "From: Joe Sender <joe%d@example.com>" % (i % 97),
        "To: Jane Doe <jane@pondlark.example>",
        "Subject: %s" % sentence(rng, 5),
        "Date: Tue, 14 Sep 1999 20:%02d:%02d +0200" % (i % 60, (i * 7) % 60),
        "Message-ID: <%d.%d@mail.example.com>" % (i, rng.randint(1, 10**9)),
        "Received: from relay.example.com by mx.pondlark.example; Tue, 14 Sep 1999 20:16:10",
    ]
    text = body(rng, rng.randint(10, 40), quoted=(kind == 3))
    if kind == 1:
        hdr += ["MIME-Version: 1.0", "Content-Type: text/plain; charset=iso-8859-1",
                "Content-Transfer-Encoding: quoted-printable"]
        text = qp(text.replace("water", "w\xe4ter").replace("lark", "l\xe9rk")) + "\n"
    elif kind == 2:
        blob = bytes(rng.getrandbits(8) for _ in range(1500 + (i % 900)))
        b64 = base64.encodebytes(blob).decode()
        hdr += ["MIME-Version: 1.0",
                'Content-Type: multipart/mixed; boundary="=_bound%d"' % i]
        text = ("This is a multi-part message in MIME format.\n\n--=_bound%d\n"
                "Content-Type: text/plain; charset=us-ascii\n\n%s\n--=_bound%d\n"
                'Content-Type: application/octet-stream; name="data%d.bin"\n'
                "Content-Transfer-Encoding: base64\n"
                'Content-Disposition: attachment; filename="data%d.bin"\n\n%s\n--=_bound%d--\n'
                % (i, text, i, i, i, b64, i))
    elif kind == 3:
        hdr.append("In-Reply-To: <%d.1@mail.example.com>" % (i - 1))
    return "\n".join(hdr) + "\n\n" + text


def news(rng, i, group):
    others = [g for g in GROUPS if g != group]
    groups = [group] + (rng.sample(others, 2) if i % 4 == 0 else [])
    hdr = [
        "Path: news.example.com!feeder!not-for-mail",
        "From: poster%d@news.example.net (Poster %d)" % (i % 53, i % 53),
        "Newsgroups: " + ",".join(groups),
        "Subject: Re: %s" % sentence(rng, 4),
        "Date: 14 Sep 99 20:16:%02d GMT" % (i % 60),
        "Message-ID: <n%d@news.example.net>" % i,
        "References: <n%d@news.example.net> <n%d@news.example.net>" % (i - 2, i - 1),
        "Organization: Example News",
    ]
    return "\n".join(hdr) + "\n\n" + body(rng, rng.randint(8, 30), quoted=(i % 3 == 0))


def gensoup(outdir, count):
    rng = random.Random(1999)
    os.makedirs(outdir, exist_ok=True)
    nmail = count // 2
    areas = []
    with open(os.path.join(outdir, "0000001.MSG"), "wb") as f:
        for i in range(nmail):
            data = mail(rng, i).encode("latin-1")
            f.write(struct.pack(">I", len(data)) + data)
    areas.append("0000001\tEmail\tbn")
    per = (count - nmail) // len(GROUPS)
    for g, group in enumerate(GROUPS):
        name = "%07d" % (g + 2)
        with open(os.path.join(outdir, name + ".MSG"), "wb") as f:
            for k in range(per):
                data = news(rng, g * per + k, group).encode("latin-1")
                f.write(b"#! rnews %d\n" % len(data) + data)
        areas.append("%s\t%s\tun" % (name, group))
    with open(os.path.join(outdir, "AREAS"), "w") as f:
        f.write("\n".join(areas) + "\n")


def genmaildir(outdir, count):
    # The mail of the SOUP packet's mix, as a mail server delivers it.
    rng = random.Random(1999)
    for d in ("new", "cur", "tmp"):
        os.makedirs(os.path.join(outdir, d), exist_ok=True)
    for i in range(count):
        data = ("Return-Path: <joe%d@example.com>\nDelivered-To: jane@pondlark.example\n" % (i % 97)
                + mail(rng, i)).encode("latin-1")
        name = "%d.M%dP1.bench.example" % (1700000000 + i, i)
        with open(os.path.join(outdir, "new", name), "wb") as f:
            f.write(data)


def pktheader(orig, dest):
    h = struct.pack("<HHHHHHHHHHHH", orig[2], dest[2], 1999, 8, 14, 20, 16, 10, 0, 2,
                    orig[1], dest[1])
    h += bytes([0, 0]) + b"\0" * 8
    h += struct.pack("<HHHH", orig[0], dest[0], 0, 0x0100)
    h += bytes([1, 0]) + struct.pack("<HHHHHI", 1, orig[0], dest[0], orig[3], dest[3], 0)
    assert len(h) == 58
    return h


def fidomsg(rng, i, gate):
    frm = (2, 280, 5555, 1 + i % 3)
    names = ["Jane Doe", "Joe Bloggs", "Sysop Pondlark"]
    if i % 2 == 0:  # netmail to the Internet
        to = "UUCP"
        lines = ["\x01INTL %d:%d/%d %d:%d/%d" % (gate[0], gate[1], gate[2], frm[0], frm[1], frm[2]),
                 "\x01FMPT %d" % frm[3],
                 "\x01MSGID: %d:%d/%d.%d %08x" % (frm + (rng.getrandbits(32),)),
                 "\x01PID: SomeEditor 1.0",
                 "\x01CHRS: LATIN-1 2",
                 "To: friend%d@example.com" % (i % 41),
                 ""]
        area = None
    else:
        to = "All"
        area = AREAS[i % len(AREAS)]
        lines = ["AREA:%s" % area,
                 "\x01MSGID: %d:%d/%d.%d %08x" % (frm + (rng.getrandbits(32),)),
                 "\x01REPLY: 2:280/1 %08x" % rng.getrandbits(32)]
    text = body(rng, rng.randint(10, 35), quoted=(i % 3 == 0)).rstrip("\n").split("\n")
    text = [t.replace("water", "w\xe4ter") if i % 4 == 1 else t for t in text]
    lines += text
    lines += ["", "--- SomeEditor 1.0", " * Origin: Pond & Lark point (2:280/5555.%d)" % frm[3]]
    if area:
        lines += ["SEEN-BY: 280/5555", "\x01PATH: 280/5555"]
    else:
        lines += ["\x01Via 2:280/5555 @19990914.201610 SomeTosser"]
    head = struct.pack("<HHHHHHH", 2, frm[2], gate[2], frm[1], gate[1], 0x0001 if not area else 0, 0)
    date = b"14 Sep 99  20:16:10\0"
    return (head + date + to.encode() + b"\0" + names[i % 3].encode() + b"\0" +
            sentence(rng, 5).encode() + b"\0" + "\r".join(lines).encode("latin-1") + b"\r\0")


def genpkt(outdir, count, perpacket=100):
    rng = random.Random(2026)
    os.makedirs(outdir, exist_ok=True)
    gate = (2, 280, 5555, 0)
    orig = (2, 280, 5555, 1)
    n = 0
    p = 0
    while n < count:
        with open(os.path.join(outdir, "%08X.PKT" % p), "wb") as f:
            f.write(pktheader(orig, gate))
            for _ in range(min(perpacket, count - n)):
                f.write(fidomsg(rng, n, gate))
                n += 1
            f.write(b"\0\0")
        p += 1


def main():
    kinds = {"soup": gensoup, "pkt": genpkt, "maildir": genmaildir}
    if len(sys.argv) != 4 or sys.argv[1] not in kinds:
        sys.exit(__doc__)
    kinds[sys.argv[1]](sys.argv[2], int(sys.argv[3]))


if __name__ == "__main__":
    main()
