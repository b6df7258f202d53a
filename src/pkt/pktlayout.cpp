#include "pkt/pktlayout.h"

#include <cstring>

#include "base/bytes.h"

void encodepktheader(const pktheader& h, unsigned char* out) {
    std::memset(out, 0, PKTHDRSIZE);
    put16le(out + PKTHDR_ORIGNODE, h.orignode);
    put16le(out + PKTHDR_DESTNODE, h.destnode);
    put16le(out + PKTHDR_YEAR, h.year);
    put16le(out + PKTHDR_MONTH, h.month);
    put16le(out + PKTHDR_DAY, h.day);
    put16le(out + PKTHDR_HOUR, h.hour);
    put16le(out + PKTHDR_MINUTE, h.minute);
    put16le(out + PKTHDR_SECOND, h.second);
    put16le(out + PKTHDR_BAUD, h.baud);
    put16le(out + PKTHDR_PKTTYPE, h.pkttype);
    put16le(out + PKTHDR_ORIGNET, h.orignet);
    put16le(out + PKTHDR_DESTNET, h.destnet);
    out[PKTHDR_PRODCODELO] = h.prodcodelo;
    out[PKTHDR_PRODREVMAJOR] = h.prodrevmajor;
    std::memcpy(out + PKTHDR_PASSWORD, h.password.data(), PKTPWDSIZE);
    put16le(out + PKTHDR_QORIGZONE, h.qorigzone);
    put16le(out + PKTHDR_QDESTZONE, h.qdestzone);
    put16le(out + PKTHDR_AUXNET, h.auxnet);
    put16le(out + PKTHDR_CAPVALID, h.capvalid);
    out[PKTHDR_PRODCODEHI] = h.prodcodehi;
    out[PKTHDR_PRODREVMINOR] = h.prodrevminor;
    put16le(out + PKTHDR_CAPWORD, h.capword);
    put16le(out + PKTHDR_ORIGZONE, h.origzone);
    put16le(out + PKTHDR_DESTZONE, h.destzone);
    put16le(out + PKTHDR_ORIGPOINT, h.origpoint);
    put16le(out + PKTHDR_DESTPOINT, h.destpoint);
    put32le(out + PKTHDR_PRODDATA, h.proddata);
}

pktheader decodepktheader(const unsigned char* in) {
    pktheader h;
    h.orignode = get16le(in + PKTHDR_ORIGNODE);
    h.destnode = get16le(in + PKTHDR_DESTNODE);
    h.year = get16le(in + PKTHDR_YEAR);
    h.month = get16le(in + PKTHDR_MONTH);
    h.day = get16le(in + PKTHDR_DAY);
    h.hour = get16le(in + PKTHDR_HOUR);
    h.minute = get16le(in + PKTHDR_MINUTE);
    h.second = get16le(in + PKTHDR_SECOND);
    h.baud = get16le(in + PKTHDR_BAUD);
    h.pkttype = get16le(in + PKTHDR_PKTTYPE);
    h.orignet = get16le(in + PKTHDR_ORIGNET);
    h.destnet = get16le(in + PKTHDR_DESTNET);
    h.prodcodelo = in[PKTHDR_PRODCODELO];
    h.prodrevmajor = in[PKTHDR_PRODREVMAJOR];
    std::memcpy(h.password.data(), in + PKTHDR_PASSWORD, PKTPWDSIZE);
    h.qorigzone = get16le(in + PKTHDR_QORIGZONE);
    h.qdestzone = get16le(in + PKTHDR_QDESTZONE);
    h.auxnet = get16le(in + PKTHDR_AUXNET);
    h.capvalid = get16le(in + PKTHDR_CAPVALID);
    h.prodcodehi = in[PKTHDR_PRODCODEHI];
    h.prodrevminor = in[PKTHDR_PRODREVMINOR];
    h.capword = get16le(in + PKTHDR_CAPWORD);
    h.origzone = get16le(in + PKTHDR_ORIGZONE);
    h.destzone = get16le(in + PKTHDR_DESTZONE);
    h.origpoint = get16le(in + PKTHDR_ORIGPOINT);
    h.destpoint = get16le(in + PKTHDR_DESTPOINT);
    h.proddata = get32le(in + PKTHDR_PRODDATA);
    return h;
}

bool istype2plus(const pktheader& h) {
    return h.capword == CAPWORD2PLUS && h.capvalid == CAPVALID2PLUS;
}

void encodepktmsgheader(const pktmsgheader& m, unsigned char* out) {
    put16le(out + PKTMSG_TYPE, m.msgtype);
    put16le(out + PKTMSG_ORIGNODE, m.orignode);
    put16le(out + PKTMSG_DESTNODE, m.destnode);
    put16le(out + PKTMSG_ORIGNET, m.orignet);
    put16le(out + PKTMSG_DESTNET, m.destnet);
    put16le(out + PKTMSG_ATTR, m.attr);
    put16le(out + PKTMSG_COST, m.cost);
}

pktmsgheader decodepktmsgheader(const unsigned char* in) {
    pktmsgheader m;
    m.msgtype = get16le(in + PKTMSG_TYPE);
    m.orignode = get16le(in + PKTMSG_ORIGNODE);
    m.destnode = get16le(in + PKTMSG_DESTNODE);
    m.orignet = get16le(in + PKTMSG_ORIGNET);
    m.destnet = get16le(in + PKTMSG_DESTNET);
    m.attr = get16le(in + PKTMSG_ATTR);
    m.cost = get16le(in + PKTMSG_COST);
    return m;
}
