/*
 * CLotusBinaryStream: the bytes of one image, collected record by record while rich text is converted and
 * written out later as a MIME part. The block comes from the host's allocator (MemoryService).
 */
#ifndef NSFREX_MODULE_RICHTEXT_BINARY_STREAM_H
#define NSFREX_MODULE_RICHTEXT_BINARY_STREAM_H

#include <stdint.h>

#include <string>

#include "nsfrex/host.h"

/* Image types, also the type numbers the image callback reports. */
enum : int32_t {
    LOTUS_IMAGE_UNKNOWN = 0,
    LOTUS_IMAGE_GIF = 1,
    LOTUS_IMAGE_JPEG = 2,
    LOTUS_IMAGE_BMP = 3,
    LOTUS_IMAGE_JFIF = 4,
    LOTUS_IMAGE_PNG = 5,
    LOTUS_IMAGE_RESERVED = 6,
    LOTUS_IMAGE_NOTES_BITMAP = 7,
};

class CLotusBinaryStream {
public:
    CLotusBinaryStream(ZAPI *pHost, int32_t nImageType, const std::string &strImageName);
    virtual ~CLotusBinaryStream();

    CLotusBinaryStream(const CLotusBinaryStream &) = delete;
    CLotusBinaryStream &operator=(const CLotusBinaryStream &) = delete;

    /* Adds cb bytes at the end. The block is resized to length + cb + 1 bytes; when that cannot be done
       (no memory, a size beyond 32 bits, a negative count) the stream loses all its bytes. */
    void Append(const uint8_t *pb, int32_t cb);

    /* Frees the bytes; the stream is then empty (a stream without data writes no MIME part). */
    void Clear();

    ZAPI *pZAPI;
    int32_t nType;
    uint8_t *pbData;        /* owned, from pZAPI's MemoryService; null while empty */
    int32_t nLength;
    std::string strName;
};

#endif
