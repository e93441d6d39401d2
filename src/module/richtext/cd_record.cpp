#include "richtext/cd_record.h"

int32_t nsfGetCDRecordLength(const uint8_t *pbSeq, int32_t cbSeq, int32_t nPos)
{
    if (pbSeq == nullptr || nPos < 0 || static_cast<int64_t>(nPos) + 2 >= cbSeq)
        return 0;

    const uint8_t *pb = pbSeq + nPos;
    const int64_t cbLeft = static_cast<int64_t>(cbSeq) - nPos;
    uint32_t dwLength = 0;
    if (pb[1] == 0xFF) {
        if (cbLeft < 4)
            return 0;
        dwLength = static_cast<uint32_t>(pb[2] | (pb[3] << 8));
    } else if (pb[1] == 0) {
        if (cbLeft < 6)
            return 0;
        dwLength = static_cast<uint32_t>(pb[2]) | (static_cast<uint32_t>(pb[3]) << 8) |
                   (static_cast<uint32_t>(pb[4]) << 16) | (static_cast<uint32_t>(pb[5]) << 24);
    } else {
        dwLength = pb[1];
    }

    if (dwLength < 1 || dwLength > static_cast<uint64_t>(cbLeft))
        return 0;
    return static_cast<int32_t>(dwLength);
}
