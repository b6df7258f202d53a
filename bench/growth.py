#!/usr/bin/env python3
"""Generates the inputs of the growth timings (bench/growth.sh): messages
whose work once grew faster than their size, each beside a normal message
of the same size.

  growth.py KIND DIR

KIND: parts (one mail of 20,000 parts that all carry the same file name),
quotes (a mail of HTML nested 14,000 blockquotes deep, 360 KB), groups (a
news batch of 4,000 articles whose first groups differ and no AreaMap line
gates); with "-normal" appended, a normal input of the same size: a plain
mail of the same bytes, plain HTML paragraphs, 4,000 articles of one gated
group. SOUP inputs are written as DIR/soup, news batches as DIR/nb.
"""
import os
import struct
import sys

HEADER = ("From: Eve <eve@example.org>\nTo: sysop@pondlark.example\nSubject: %s\n"
          "Message-ID: <%s@example.org>\nDate: Tue, 14 Sep 1999 20:16:10 +0200\nMIME-Version: 1.0\n")


def soup(outdir, message):
    os.makedirs(os.path.join(outdir, "soup"), exist_ok=True)
    data = message.encode()
    with open(os.path.join(outdir, "soup", "0000001.MSG"), "wb") as f:
        f.write(struct.pack(">I", len(data)) + data)
    with open(os.path.join(outdir, "soup", "AREAS"), "w") as f:
        f.write("0000001\tEmail\tbn\n")


def plainmail(size):
    line = "the gateway moves mail and news between fidonet and the internet\n"
    body = line * (size // len(line))
    return HEADER % ("normal", "normal") + "Content-Type: text/plain\n\n" + body


def parts(normal):
    part = ('--b\nContent-Type: application/octet-stream; name="report.pdf"\n'
            "Content-Transfer-Encoding: base64\n\nQUJD\n")
    m = (HEADER % ("parts", "parts") + 'Content-Type: multipart/mixed; boundary="b"\n\n' +
         part * 20000 + "--b--\n")
    return plainmail(len(m)) if normal else m


def quotes(normal):
    html = "<html><body>" + "<blockquote>x" * 14000 + "</blockquote>" * 14000 + "</body></html>\n"
    if normal:
        html = "<html><body>" + "<p>a paragraph of text</p>" * (len(html) // 26) + "</body></html>\n"
    return HEADER % ("html", "html") + "Content-Type: text/html; charset=utf-8\n\n" + html


def groups(outdir, normal):
    os.makedirs(os.path.join(outdir, "nb"), exist_ok=True)
    out = b""
    for i in range(4000):
        ng = "alt.test" if normal else "x%d.random" % i
        a = ("From: Eve <eve@example.org>\nNewsgroups: %s\nSubject: article %d\n"
             "Message-ID: <g%d@example.org>\nDate: Tue, 14 Sep 1999 20:16:10 +0200\n\n"
             "hello from the pond\n" % (ng, i, i)).encode()
        out += b"#! rnews %d\n" % len(a) + a
    with open(os.path.join(outdir, "nb", "batch"), "wb") as f:
        f.write(out)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    kind, outdir = sys.argv[1], sys.argv[2]
    normal = kind.endswith("-normal")
    base = kind[:-len("-normal")] if normal else kind
    if base == "parts":
        soup(outdir, parts(normal))
    elif base == "quotes":
        soup(outdir, quotes(normal))
    elif base == "groups":
        groups(outdir, normal)
    else:
        sys.exit(__doc__)
    os.makedirs(os.path.join(outdir, "soup"), exist_ok=True)


if __name__ == "__main__":
    main()
