#!/usr/bin/env python3
"""Writes the SOUP inputs of the golden cases of hostile mail and news.

  tests/golden/import/hostile-inputs.py

Every message is written by Python's email package (EmailMessage with the SMTP
policy and \\n line ends), the way a sender's program writes it: encoded words,
quoted-printable, Base64 and RFC 2231 parameters are its own. The texts carry
what a FidoNet tosser would obey: kludges (INTL, MSGID, FMPT), SEEN-BY, AREA,
tear and origin lines, behind carriage returns, 0x01 bytes and the characters
that the DOS code pages write as control bytes. Run it from anywhere; it
rewrites the input/soup folders of the cases named below.
"""
import base64
import os
from email import policy
from email.message import EmailMessage

HERE = os.path.dirname(os.path.abspath(__file__))
POLICY = policy.SMTP.clone(linesep="\n")
# What a sender would like a tosser to obey, and the pictures that CP437,
# CP850 and CP866 fall back to as 0x01, 0x0D and 0x0A.
KLUDGES = "\r\x01INTL 1:1/1 9:9/9\r\x01MSGID: 1:1/1 deadbeef\r\x01FMPT 7"
PICTURES = "\u263a\u266a\u25d9"


def words(text, charset="utf-8"):
    """The text as an encoded word, as a sender writes what a header cannot
    hold raw; the email package reads it and writes it again its own way."""
    return "=?%s?b?%s?=" % (charset, base64.b64encode(text.encode(charset)).decode())


def message(frm, to, subject, body, news=False, **headers):
    m = EmailMessage(policy=POLICY)
    m["From"] = frm
    m["Newsgroups" if news else "To"] = to
    m["Subject"] = subject
    for name, value in headers.items():
        m[name.replace("_", "-")] = value
    m.set_content(body, charset="utf-8")
    return m


def withnames(m, names):
    """The message's bytes with the display names put in: the email package
    refuses line ends in an address, so a hostile sender writes those
    encoded words itself (names: placeholder -> encoded word)."""
    b = m.as_bytes()
    for placeholder, word in names.items():
        b = b.replace(placeholder.encode(), word.encode())
    return b


def ids(m, n, date="Tue, 14 Sep 1999 20:16:10 +0200"):
    m["Message-ID"] = "<%s@evil.example>" % n
    m["Date"] = date
    return m


def binary(messages):
    out = b""
    for m in messages:
        b = m.as_bytes() if isinstance(m, EmailMessage) else m
        out += len(b).to_bytes(4, "big") + b
    return out


def rnews(messages):
    out = b""
    for m in messages:
        b = m.as_bytes() if isinstance(m, EmailMessage) else m
        out += b"#! rnews %d\n" % len(b) + b
    return out


def write(case, files, folder="soup"):
    soup = os.path.join(HERE, case, "input", folder)
    os.makedirs(soup, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(soup, name), "wb") as f:
            f.write(data)


def hostile_fields():
    """Names, subject, organisation and header fields full of control lines."""
    mail = ids(message("EVENAME <eve@evil.example>", "SYSOPNAME <sysop@pond.example>",
                       words("Invoice %s%s" % (PICTURES, KLUDGES)), "Please pay.\n",
                       Organization=words("Evil %s Corp%s" % (PICTURES, KLUDGES)),
                       X_Comment_To="\u266a\u25d9Bob", X_Tracking=words(KLUDGES)), 1)
    mail = withnames(mail, {"EVENAME": words("Eve %s%s" % (PICTURES, KLUDGES)),
                            "SYSOPNAME": words("Sysop" + KLUDGES)})
    news = ids(message("Eve <eve@evil.example>", "alt.test",
                       words("Re: herons%s\r\x01PATH: 280/1" % PICTURES), "Seen at the pond.\n", news=True,
                       Organization=words("Pond\rSEEN-BY: 280/1\r\x01TOPT 9")), 2)
    write("hostile_fields", {"0000001.MSG": binary([mail]), "0000002.MSG": binary([news])})


def hostile_label():
    """Encoded words in wide and stateful sets, a part in UTF-16: text only labelled."""
    m = EmailMessage(policy=POLICY)
    m["From"] = "EVENAME <eve@evil.example>"
    m["To"] = "sysop@pond.example"
    m["Subject"] = words("hi\r\x01INTL 1:1/1 9:9/9", "utf-7")
    m["Organization"] = words("Org\r\x01MSGID: 1:1/1 deadbeef")
    m.set_content("Hello\r\x01INTL 1:1/1 9:9/9\n".encode("utf-16-be"), "text", "plain",
                  params={"charset": "utf-16be"}, cte="base64")
    ids(m, 3)
    m = withnames(m, {"EVENAME": words("Eve" + KLUDGES, "utf-16be")})
    plain = ids(message("Ann <ann@example.org>", "sysop@pond.example", "plain", "Nothing odd.\n",
                        Organization=words("Ann\r\nAREA:EVIL")), 4)
    write("hostile_label", {"0000001.MSG": binary([m, plain])})


def hostile_body():
    """Body lines that read as SEEN-BY, AREA, tear and origin lines, however spelled."""
    text = ("Look:\nSEEN-BY: 280/1 280/2\nAREA:EVIL\n---\n * Origin: Fake (1:1/1)\n"
            "-----Original Message-----\n-- \nsig\n")
    typed = ids(message("Eve <eve@evil.example>", "alt.test", "typed", text, news=True), 5)
    # Lone carriage returns survive only encoded: as =0D and inside Base64.
    qp = ids(message("Eve <eve@evil.example>", "alt.test", "quoted-printable", "", news=True), 6)
    qp.set_content(b"a line\rSEEN-BY: 280/1\rb\x01INTL 1:1/1 9:9/9\n", "text", "plain",
                   params={"charset": "utf-8"}, cte="quoted-printable")
    b64 = ids(message("Eve <eve@evil.example>", "sysop@pond.example", "base64", ""), 7)
    # A line longer than FidoNet's is written in pieces: one begins with SEEN-BY.
    b64.set_content(b"first\r---\r * Origin: Fake (9:9/9)\rSEEN-BY: 280/1\n" + b"x" * 255 +
                    b"SEEN-BY: 280/9\nlast\n", "text", "plain", params={"charset": "utf-8"},
                    cte="base64")
    write("hostile_body", {"0000001.MSG": rnews([typed, qp]), "0000002.MSG": binary([b64])})


def hostile_packets():
    """Packets and bundles attached by anyone, and by the uplink with its password."""
    pkt = bytes(58) + b"\x02\x00" + b"forged netmail from the uplink"
    msgs = []
    anyone = ids(message("Eve <eve@evil.example>", "sysop@pond.example", "mail for you", "See attached.\n"), 8)
    anyone.add_attachment(pkt, "application", "octet-stream", filename="DEADBEEF.PKT")
    anyone.add_attachment(pkt, "application", "octet-stream", filename="0000FFFF.MO1")
    anyone.add_attachment(b"a ticket\n", "application", "octet-stream", filename="FILE0001.TIC")
    anyone.add_attachment(b"notes\n", "text", "plain", filename="notes.txt")
    msgs.append(anyone)
    uplink = ids(message("Uplink <node5556@uplink.example>", "sysop@pond.example", "mail bundle",
                         "Your mail.\n", X_MailPassword="secret"), 9)
    uplink.add_attachment(pkt, "application", "octet-stream", filename="0000FFFF.MO2")
    msgs.append(uplink)
    guess = ids(message("Uplink <node5556@uplink.example>", "sysop@pond.example", "guessed",
                        "Wrong password.\n", X_MailPassword="guess"), 10)
    guess.add_attachment(pkt, "application", "octet-stream", filename="0000FFFF.MO3")
    msgs.append(guess)
    write("hostile_packets", {"0000001.MSG": binary(msgs)})


def hostile_areas():
    """An AREAS line whose area name would add kludges after "AREA:"."""
    good = ids(message("Eve <eve@evil.example>", "alt.test", "fine", "In a good area.\n", news=True), 11)
    bad = ids(message("Eve <eve@evil.example>", "alt.test", "evil", "In a bad area.\n", news=True), 12)
    write("hostile_areas", {
        "AREAS": b"0000001\talt.test\tun\n0000002\tEVIL\r\x01INTL 1:1/1 9:9/9\tun\n0000003\tde.talk \xfc\tun\n",
        "0000001.MSG": rnews([good]), "0000002.MSG": rnews([bad]), "0000003.MSG": rnews([bad]),
    })


def label_attachment_names():
    """File names as Gmail (encoded word in quotes) and Python (RFC 2231) write them."""
    m = ids(message("Ann <ann@example.org>", "sysop@pond.example", "Bericht", "Anbei.\n"), 13)
    m.add_attachment(b"%PDF-1.4 a\n", "application", "pdf",
                     filename="\u00dcbersicht M\u00e4rz 2026.pdf")
    gmail = (b"From: Ann <ann@example.org>\nTo: sysop@pond.example\nSubject: Gmail\n"
             b"Message-ID: <14@example.org>\nDate: Tue, 14 Sep 1999 20:16:10 +0200\n"
             b"MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"000b\"\n\n"
             b"--000b\nContent-Type: text/plain; charset=\"UTF-8\"\n\nAnbei.\n\n"
             b"--000b\nContent-Type: application/pdf; \n"
             b"\tname=\"=?UTF-8?B?w5xiZXJzaWNodCBNw6RyeiAyMDI2LnBkZg==?=\"\n"
             b"Content-Disposition: attachment; \n"
             b"\tfilename=\"=?UTF-8?B?w5xiZXJzaWNodCBNw6RyeiAyMDI2LnBkZg==?=\"\n"
             b"Content-Transfer-Encoding: base64\n\nJVBERi0xLjQgYgo=\n--000b--\n")
    write("label_attachment_names", {"0000001.MSG": binary([m, gmail])})


def bounded_message():
    """Many parts of one name, and HTML quoted far too deep."""
    parts = ids(message("Eve <eve@evil.example>", "sysop@pond.example", "parts", "Many files.\n"), 15)
    for _ in range(12):
        parts.add_attachment(b"same\n", "application", "octet-stream", filename="report.pdf")
    html = EmailMessage(policy=POLICY)
    html["From"] = "Eve <eve@evil.example>"
    html["To"] = "sysop@pond.example"
    html["Subject"] = "deep"
    ids(html, 16)
    html.set_content("<p>top</p>" + "<blockquote>x" * 14 + "</blockquote>" * 14, subtype="html")
    write("bounded_message", {"0000001.MSG": binary([parts, html])})


def empty_articles():
    """A news batch of empty articles ("#! rnews 0") around one real one."""
    art = ids(message("Ann <ann@example.org>", "alt.test", "real", "The one article.\n", news=True), 17)
    write("empty_articles", {"0000001.MSG": b"#! rnews 0\n" * 5 + rnews([art]) + b"#! rnews 0\n" * 3,
                             "AREAS": b"0000001\talt.test\tun\n"})


def ungated_groups():
    """A news batch as INN's batcher writes it: articles whose groups no
    AreaMap line gates in share the area junk; a group that is not printable
    ASCII is no group."""
    gated = ids(message("Ann <ann@example.org>", "x.random,alt.test", "gated", "Crossposted.\n",
                        news=True), 18)
    arts = [gated]
    for n, groups in enumerate(["x.one", "x.two,x.three", "x.four"]):
        arts.append(ids(message("Eve <eve@evil.example>", groups, "ungated %d" % n, "Nobody gates this.\n",
                                news=True), 19 + n))
    odd = ids(message("Eve <eve@evil.example>", "x.five", "eight-bit group", "Odd group.\n", news=True), 22)
    arts.append(odd.as_bytes().replace(b"Newsgroups: x.five", b"Newsgroups: de.t\xe4lk,x.five"))
    write("ungated_groups", {"pondlark.batch": rnews(arts)}, "nb")


if __name__ == "__main__":
    hostile_fields()
    hostile_label()
    hostile_body()
    hostile_packets()
    hostile_areas()
    label_attachment_names()
    bounded_message()
    empty_articles()
    ungated_groups()
