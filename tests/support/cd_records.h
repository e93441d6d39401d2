/*
 * CD records built by hand for the rich-text tests of the module and of the runtime: each record gets
 * its header form and its pad byte; Body sets little-endian fields at record offsets.
 */
#ifndef NSFREX_TESTS_SUPPORT_CD_RECORDS_H
#define NSFREX_TESTS_SUPPORT_CD_RECORDS_H

#include <stdint.h>
#include <string.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace cd_records {

/* Builds a CD record sequence: each record gets its header form and its pad byte. */
struct CdBuilder {
    std::vector<uint8_t> rgb;

    enum Form { Byte, Word, Long };

    /* body = the bytes after the header; the length written counts header + body. */
    CdBuilder &Rec(uint8_t bSig, Form form, const std::vector<uint8_t> &body)
    {
        size_t cbHeader = form == Byte ? 2 : form == Word ? 4 : 6;
        size_t cb = cbHeader + body.size();
        rgb.push_back(bSig);
        if (form == Byte) {
            rgb.push_back(static_cast<uint8_t>(cb));
        } else if (form == Word) {
            rgb.push_back(0xFF);
            rgb.push_back(static_cast<uint8_t>(cb));
            rgb.push_back(static_cast<uint8_t>(cb >> 8));
        } else {
            rgb.push_back(0);
            for (int i = 0; i < 4; ++i)
                rgb.push_back(static_cast<uint8_t>(cb >> (8 * i)));
        }
        rgb.insert(rgb.end(), body.begin(), body.end());
        if (cb & 1)
            rgb.push_back(0);
        return *this;
    }
    CdBuilder &Raw(std::initializer_list<uint8_t> bytes)
    {
        rgb.insert(rgb.end(), bytes);
        return *this;
    }
};

/* A record body of n bytes, zero-filled, with helpers to set little-endian fields at record offsets
   (offsets count from the start of the record, header included). */
struct Body {
    std::vector<uint8_t> rgb;
    size_t cbHeader;
    Body(size_t cbHeaderIn, size_t cbRecord) : rgb(cbRecord > cbHeaderIn ? cbRecord - cbHeaderIn : 0), cbHeader(cbHeaderIn) {}
    Body &B(size_t off, uint8_t v) { At(off, 1)[0] = v; return *this; }
    Body &W(size_t off, uint16_t v) { uint8_t *p = At(off, 2); p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); return *this; }
    Body &D(size_t off, uint32_t v)
    {
        uint8_t *p = At(off, 4);
        for (int i = 0; i < 4; ++i)
            p[i] = uint8_t(v >> (8 * i));
        return *this;
    }
    Body &S(size_t off, const std::string &s)
    {
        if (!s.empty())
            memcpy(At(off, s.size()), s.data(), s.size());
        return *this;
    }
    uint8_t *At(size_t off, size_t cb)
    {
        size_t o = off - cbHeader;
        if (rgb.size() < o + cb)
            rgb.resize(o + cb);
        return rgb.data() + o;
    }
    operator const std::vector<uint8_t> &() const { return rgb; }
};

/* Records the converter tests use most. */
inline CdBuilder &Text(CdBuilder &b, const std::string &s, uint8_t bFace = 0, uint8_t bAttrib = 0, uint8_t bColour = 0,
                       uint8_t bSize = 10)
{
    std::vector<uint8_t> body = {bFace, bAttrib, bColour, bSize};
    body.insert(body.end(), s.begin(), s.end());
    return b.Rec(0x85, CdBuilder::Word, body);
}
inline CdBuilder &Paragraph(CdBuilder &b) { return b.Rec(0x81, CdBuilder::Byte, {}); }
inline CdBuilder &PabRef(CdBuilder &b, uint16_t wID)
{
    return b.Rec(0x83, CdBuilder::Byte, {uint8_t(wID), uint8_t(wID >> 8)});
}
inline CdBuilder &PabDef(CdBuilder &b, uint16_t wID, uint16_t wJustify = 0, uint16_t wFlags = 0, uint16_t wFlags2 = 0)
{
    return b.Rec(0x82, CdBuilder::Word, Body(4, 70).W(4, wID).W(6, wJustify).W(62, wFlags).W(68, wFlags2));
}

} // namespace cd_records

#endif /* NSFREX_TESTS_SUPPORT_CD_RECORDS_H */
