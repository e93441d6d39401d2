/*
 * Images of rich text: streams named after the note, image tags that point at them, images that rich text
 * names by reference, Notes bitmaps turned into BMP by the host's image library, and the base64 MIME part
 * of each image.
 */
#include <string.h>

#include "richtext/base64.h"
#include "richtext/cd_record.h"
#include "richtext/converter.h"

namespace {

const size_t cchImageNameMax = 255;

/* Resource type of an image reference that names an image resource. */
const uint16_t wResourceNamedElement = 3;

const char szImageLibrary[] = "tmpixcnv.dll";
const char szImageEntry[] = "TMPXconvert";

/* Status of a Notes bitmap conversion; the caller does not act on it. */
enum : int32_t {
    BITMAP_DONE = 0,
    BITMAP_NO_LIBRARY = 1,
    BITMAP_NO_MEMORY = 2,
    BITMAP_NO_STREAM = 15,
};

typedef int32_t (*ImageConvertFunc)(ZAPI *pZAPI, const char *pszFrom, const char *pszTo, void *hIn, void *hOut,
                                    int32_t nReserved1, int32_t nReserved2);

const char *Extension(int32_t nType)
{
    switch (nType) {
    case LOTUS_IMAGE_GIF: return ".gif";
    case LOTUS_IMAGE_JPEG: return ".jpg";
    case LOTUS_IMAGE_BMP: return ".bmp";
    case LOTUS_IMAGE_JFIF: return ".jfif";
    case LOTUS_IMAGE_PNG: return ".png";
    case LOTUS_IMAGE_RESERVED:
    case LOTUS_IMAGE_NOTES_BITMAP: return ".bmp";
    default: return "";
    }
}

const char *ContentType(int32_t nType)
{
    switch (nType) {
    case LOTUS_IMAGE_GIF: return "Content-Type: image/gif\r\n";
    case LOTUS_IMAGE_JPEG: return "Content-Type: image/jpeg\r\n";
    case LOTUS_IMAGE_BMP: return "Content-Type: image/bmp\r\n";
    case LOTUS_IMAGE_JFIF: return "Content-Type: image/jfif\r\n";
    case LOTUS_IMAGE_PNG: return "Content-Type: image/png\r\n";
    default: return "";
    }
}

} // namespace

void CLotusRTConverter::AddImage(int32_t nType)
{
    std::string strName = "tm_" + strNoteID + "_image" + std::to_string(rgpImages.size());
    if (strName.size() > cchImageNameMax)
        strName.resize(cchImageNameMax);
    strName += Extension(nType);
    rgpImages.push_back(std::make_unique<CLotusBinaryStream>(pZAPI, nType, strName));
}

void CLotusRTConverter::AppendImageData(const uint8_t *pb, int32_t cb)
{
    if (!rgpImages.empty())
        rgpImages.back()->Append(pb, cb);
}

void CLotusRTConverter::ImageTag(uint32_t nWidth, uint32_t nHeight)
{
    strOut += "<IMG src=3D\"file:///";
    if (!rgpImages.empty())
        strOut += rgpImages.back()->strName;
    strOut += '"';
    if (nWidth != 0) {
        strOut += " width=3D";
        strOut += std::to_string(nWidth);
    }
    if (nHeight != 0) {
        strOut += " height=3D";
        strOut += std::to_string(nHeight);
    }
    strOut += '>';
    strOut += strNewLine;
}

void CLotusRTConverter::ImageReference(const uint8_t *pbRec, int32_t cbRec)
{
    if (pfnImage == nullptr)
        return;
    const uint16_t wType = nsfGetCDWord(pbRec, cbRec, 8);
    const uint16_t cbName = nsfGetCDWord(pbRec, cbRec, 12);
    if (wType != wResourceNamedElement || cbName < 1)
        return;

    MemoryService &mem = pZAPI->memoryService;
    if (mem.fpMalloc == nullptr || mem.fpFree == nullptr)
        return;
    char *pszName = static_cast<char *>(mem.fpMalloc(&mem, static_cast<size_t>(cbName) + 1));
    if (pszName == nullptr)
        return;
    const int32_t cbAvailable = nsfGetCDAvailable(cbRec, 34, cbName);
    int32_t cch = 0;
    while (cch < cbAvailable && pbRec[34 + cch] != 0) {
        pszName[cch] = static_cast<char>(pbRec[34 + cch]);
        ++cch;
    }
    pszName[cch] = '\0';

    uint8_t *pbData = nullptr;
    uint32_t cbData = 0;
    int32_t nType = LOTUS_IMAGE_UNKNOWN;
    const int32_t nStatus = pfnImage(pszName, pContext, &pbData, &cbData, &nType);

    /* The delivered block and the name go back to the host whatever happens while the image is added. */
    struct Release {
        MemoryService &mem;
        uint8_t *&pbData;
        char *pszName;
        ~Release()
        {
            if (pbData != nullptr)
                mem.fpFree(&mem, pbData);
            mem.fpFree(&mem, pszName);
        }
    } release{mem, pbData, pszName};

    if (nStatus == 0 && pbData != nullptr && cbData >= 1) {
        AddImage(nType);
        ImageTag(0, 0);
        AppendImageData(pbData, cbData > static_cast<uint32_t>(INT32_MAX) ? -1 : static_cast<int32_t>(cbData));
    }
}

int32_t CLotusRTConverter::ConvertNotesBitmap(CLotusBinaryStream &image)
{
    if (image.nType != LOTUS_IMAGE_NOTES_BITMAP)
        return BITMAP_DONE;
    if (pZAPI->fpLoadLibrary == nullptr || pZAPI->fpGetEntry == nullptr)
        return BITMAP_NO_LIBRARY;

    void *hLib = nullptr;
    if (pZAPI->fpLoadLibrary(pZAPI, szImageLibrary, &hLib) == 0)
        return BITMAP_NO_LIBRARY;

    MemoryStream *pStream = nullptr;
    int32_t nStatus = BITMAP_DONE;
    auto pfnConvert = reinterpret_cast<ImageConvertFunc>(pZAPI->fpGetEntry(pZAPI, hLib, szImageEntry));
    if (pfnConvert == nullptr) {
        nStatus = BITMAP_NO_LIBRARY;
    } else if (pZAPI->fpOpenMemoryStream == nullptr ||
               (pStream = pZAPI->fpOpenMemoryStream(pZAPI, 0, "a+b")) == nullptr) {
        nStatus = BITMAP_NO_STREAM;
    } else if (pStream->fpWrite == nullptr || pStream->fpRead == nullptr || pStream->fpSeek == nullptr ||
               pStream->fpTell == nullptr) {
        nStatus = BITMAP_NO_STREAM;
    } else {
        if (pStream->fpPrepare != nullptr)
            pStream->fpPrepare(pStream);
        if (image.pbData != nullptr && image.nLength > 0)
            pStream->fpWrite(pStream, image.pbData, image.nLength);

        if (pfnConvert(pZAPI, "NBMP", "BMP", pStream->hStream, pStream->hStream, 0, 0) == 0) {
            pStream->fpSeek(pStream, 0, 2);
            const int64_t cbSize = pStream->fpTell(pStream);
            pStream->fpSeek(pStream, 0, 0);

            void *pvNew = nullptr;
            if (cbSize >= 0 && cbSize < INT32_MAX && pZAPI->memoryService.fpResize != nullptr)
                pvNew = pZAPI->memoryService.fpResize(&pZAPI->memoryService, image.pbData,
                                                      static_cast<size_t>(cbSize) + 1);
            if (pvNew == nullptr) {
                image.Clear();
                nStatus = BITMAP_NO_MEMORY;
            } else {
                image.pbData = static_cast<uint8_t *>(pvNew);
                int32_t cbRead = 0;
                if (cbSize > 0)
                    cbRead = pStream->fpRead(pStream, image.pbData, static_cast<int32_t>(cbSize));
                if (cbRead < 0 || cbRead > cbSize)
                    cbRead = 0;
                /* A short read leaves zero bytes rather than stale ones. */
                memset(image.pbData + cbRead, 0, static_cast<size_t>(cbSize - cbRead) + 1);
                image.nLength = static_cast<int32_t>(cbSize);
                image.nType = LOTUS_IMAGE_BMP;
            }
        }
    }

    if (pZAPI->fpFreeLibrary != nullptr)
        pZAPI->fpFreeLibrary(pZAPI, hLib);
    if (pStream != nullptr && pStream->fpRelease != nullptr)
        pStream->fpRelease(pStream);
    return nStatus;
}

size_t CLotusRTConverter::MimePartCapacity(const CLotusBinaryStream &image) const
{
    if (image.pbData == nullptr || image.nLength < 1)
        return 0;
    const int64_t cchBase64 = nsfGetBase64Capacity(image.nLength);
    /* the boundary, the three header lines and the blank lines around the text */
    const size_t cchFrame = 160;
    return cchBase64 < 0 ? 0 : static_cast<size_t>(cchBase64) + image.strName.size() + cchFrame;
}

void CLotusRTConverter::WriteMimePart(const CLotusBinaryStream &image, std::string &strTo)
{
    if (image.pbData == nullptr || image.nLength < 1)
        return;
    MemoryService &mem = pZAPI->memoryService;
    const int64_t cchCapacity = nsfGetBase64Capacity(image.nLength);
    if (cchCapacity < 0 || mem.fpMalloc == nullptr || mem.fpFree == nullptr)
        return;
    char *pszBase64 = static_cast<char *>(mem.fpMalloc(&mem, static_cast<size_t>(cchCapacity)));
    if (pszBase64 == nullptr)
        return;

    int32_t nBase64LineLen = 0;
    const int32_t cch = encode_base64(image.pbData, image.nLength, pszBase64, &nBase64LineLen);
    pszBase64[cch] = '\0';

    try {
        strTo += "\r\n" LOTUS_MHT_BOUNDARY "\r\n";
        strTo += ContentType(image.nType);
        strTo += "Content-Transfer-Encoding: base64\r\n";
        strTo += "Content-Location: file:///" + image.strName + "\r\n\r\n";
        strTo.append(pszBase64, static_cast<size_t>(cch));
        strTo += "\r\n\r\n";
    } catch (...) {
        mem.fpFree(&mem, pszBase64);
        throw;
    }
    mem.fpFree(&mem, pszBase64);
}
