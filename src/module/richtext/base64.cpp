#include "richtext/base64.h"

#include <string.h>

#include <bit>

namespace {

constexpr char szAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const int32_t nLineLength = 72;
const int32_t cbPerLine = nLineLength / 4 * 3;

/* The two characters of every 12-bit value, first character first: a group of three bytes takes two
   look-ups instead of four. */
struct PairTable {
    char rgch[4096][2];
    constexpr PairTable() : rgch()
    {
        for (int i = 0; i < 4096; ++i) {
            rgch[i][0] = szAlphabet[i >> 6];
            rgch[i][1] = szAlphabet[i & 0x3F];
        }
    }
};
constexpr PairTable pairTable;

inline void EncodeGroup(const uint8_t *pb, char *pch)
{
    const uint32_t dw = (static_cast<uint32_t>(pb[0]) << 16) | (static_cast<uint32_t>(pb[1]) << 8) | pb[2];
    memcpy(pch, pairTable.rgch[dw >> 12], 2);
    memcpy(pch + 2, pairTable.rgch[dw & 0xFFF], 2);
}

/* Two groups, six bytes, as eight characters written at once. */
inline void EncodeTwoGroups(const uint8_t *pb, char *pch)
{
    if constexpr (std::endian::native == std::endian::little) {
        const uint32_t dw1 = (static_cast<uint32_t>(pb[0]) << 16) | (static_cast<uint32_t>(pb[1]) << 8) | pb[2];
        const uint32_t dw2 = (static_cast<uint32_t>(pb[3]) << 16) | (static_cast<uint32_t>(pb[4]) << 8) | pb[5];
        uint16_t rgw[4];
        memcpy(&rgw[0], pairTable.rgch[dw1 >> 12], 2);
        memcpy(&rgw[1], pairTable.rgch[dw1 & 0xFFF], 2);
        memcpy(&rgw[2], pairTable.rgch[dw2 >> 12], 2);
        memcpy(&rgw[3], pairTable.rgch[dw2 & 0xFFF], 2);
        const uint64_t qw = rgw[0] | static_cast<uint64_t>(rgw[1]) << 16 | static_cast<uint64_t>(rgw[2]) << 32 |
                            static_cast<uint64_t>(rgw[3]) << 48;
        memcpy(pch, &qw, 8);
    } else {
        EncodeGroup(pb, pch);
        EncodeGroup(pb + 3, pch + 4);
    }
}

} // namespace

int32_t encode_base64(const uint8_t *pbIn, int32_t cbIn, char *pszOut, int32_t *pnBase64LineLen)
{
    int32_t cch = 0;
    int32_t i = 0;

    for (; cbIn - i > 2; i += 3) {
        /* At the start of a line, whole lines go without a count per group. */
        if (*pnBase64LineLen == 0) {
            for (; cbIn - i >= cbPerLine; i += cbPerLine) {
                static_assert(cbPerLine % 6 == 0);
                for (int32_t j = 0; j < cbPerLine; j += 6, cch += 8)
                    EncodeTwoGroups(pbIn + i + j, pszOut + cch);
                pszOut[cch++] = '\r';
                pszOut[cch++] = '\n';
            }
            if (cbIn - i <= 2)
                break;
        }
        EncodeGroup(pbIn + i, pszOut + cch);
        cch += 4;
        *pnBase64LineLen += 4;
        if (*pnBase64LineLen >= nLineLength) {
            *pnBase64LineLen = 0;
            pszOut[cch++] = '\r';
            pszOut[cch++] = '\n';
        }
    }

    if (cbIn - i == 2) {
        const uint32_t dw = (static_cast<uint32_t>(pbIn[i]) << 16) | (static_cast<uint32_t>(pbIn[i + 1]) << 8);
        pszOut[cch++] = szAlphabet[(dw >> 18) & 0x3F];
        pszOut[cch++] = szAlphabet[(dw >> 12) & 0x3F];
        pszOut[cch++] = szAlphabet[(dw >> 6) & 0x3F];
        pszOut[cch++] = '=';
        *pnBase64LineLen = 0;
    } else if (cbIn - i == 1) {
        const uint32_t dw = static_cast<uint32_t>(pbIn[i]) << 16;
        pszOut[cch++] = szAlphabet[(dw >> 18) & 0x3F];
        pszOut[cch++] = szAlphabet[(dw >> 12) & 0x3F];
        pszOut[cch++] = '=';
        pszOut[cch++] = '=';
    }
    return cch;
}

int64_t nsfGetBase64Capacity(int32_t cb)
{
    if (cb < 0)
        return -1;
    const int64_t cGroups = (static_cast<int64_t>(cb) + 2) / 3;
    /* One line end per 18 groups, one more for a line already under way, and the NUL. */
    const int64_t cch = cGroups * 4 + (cGroups / 18 + 1) * 2 + 1;
    return cch > INT32_MAX ? -1 : cch;
}
