/*
 * CLotusRTConverter: turns one Notes rich-text value (a sequence of CD records, without its type word)
 * into the body of an MHT document: the HTML body text, "</BODY></HTML>", one base64 MIME part per image
 * and the closing boundary.
 *
 * A driver uses it like this (the converter reports only through exceptions, for instance
 * std::bad_alloc; the driver catches them):
 *
 *     CLotusRTConverter converter(pZAPI, strNoteID);
 *     converter.pContext = pContext;          // handed back to the image callback
 *     converter.pfnImage = pfnImageCallback;  // null: image references are ignored
 *     converter.SetOptions(dwFlags);
 *     std::string strResult;
 *     converter.Convert(pbRecords, cbRecords, strResult);
 *
 * The records are walked twice: the first walk collects the font table and paragraph definitions, the
 * second renders. A BEGIN...END bracket is walked twice by the second walk: its first pass only takes the
 * highlight colours and image references, its second pass renders everything else.
 */
#ifndef NSFREX_MODULE_RICHTEXT_CONVERTER_H
#define NSFREX_MODULE_RICHTEXT_CONVERTER_H

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "nsfrex/host.h"
#include "richtext/binary_stream.h"
#include "richtext/block.h"
#include "richtext/font.h"
#include "richtext/html_tag.h"
#include "richtext/paragraph.h"
#include "richtext/table.h"

struct NsfContext;

/* Delivers the bytes of the image resource named pszLinkName. Returns 0 on success; the bytes are a
   block from the host's MemoryService that the converter frees with fpFree. *pnType is 1 GIF, 2 JPEG,
   3 BMP or 0. */
typedef int32_t (*LotusImageCallback)(const char *pszLinkName, NsfContext *pContext, uint8_t **ppData,
                                      uint32_t *pcbData, int32_t *pnType);

/* The last line of every converted body. */
#define LOTUS_MHT_BOUNDARY "------=_NextPart_000_0004_01CB58DD.164505B0"

class CLotusRTConverter : public CLotusHTMLTag {
public:
    /* pHost must not be null (std::invalid_argument). Reads the "ShowAttachmentName" option. */
    CLotusRTConverter(ZAPI *pHost, const std::string &strNote);
    virtual ~CLotusRTConverter();

    CLotusRTConverter(const CLotusRTConverter &) = delete;
    CLotusRTConverter &operator=(const CLotusRTConverter &) = delete;

    int32_t SetOptions(uint32_t dwOptions);

    /* Renders cb bytes of records at pb and stores the whole result in strResult. Returns 0. */
    int32_t Convert(const uint8_t *pb, size_t cb, std::string &strResult);

    /* ---- walks (dispatch) ---- */
    void CollectDefinitions(const uint8_t *pb, int32_t cb);
    void RenderRecords(const uint8_t *pb, int32_t cb);
    void CellColourLookAhead(const uint8_t *pbSeq, int32_t cbSeq, int32_t nCellPos, int32_t cbCell);
    void RenderTableRecord(const uint8_t *pbRec, int32_t cbRec);

    /* ---- definitions ---- */
    void AddFonts(const uint8_t *pbRec, int32_t cbRec);
    void AddPab(const uint8_t *pbRec, int32_t cbRec);
    const CLotusRTPar *FindPab(uint16_t wID) const;
    const CLotusRTFont *FindFont(uint8_t bFaceID) const;

    /* ---- paragraphs and text: each appends its HTML to strOut ---- */
    void ParagraphOpening(const CLotusRTPar &par);
    void DefaultParagraphOpening();
    void FaceAttribute(uint8_t bFace, std::string &strTo) const;
    void TextRun(const uint8_t *pbRec, int32_t cbRec);
    /* The tags around a text run whose FONTID bytes (face, attributes, colour, point size, from the
       lowest byte up) are dwFont; dwBackground, when not 0, is a highlight colour. */
    void RunOpening(uint32_t dwFont, uint32_t dwBackground, std::string &str) const;
    void RunClosing(uint32_t dwFont, std::string &str) const;
    /* Converts cb bytes of Notes text through the host into the converter's text block; *ppchText points
       at the result until the next call. Returns its length (0 when there is none). */
    int32_t ConvertText(const uint8_t *pb, int32_t cb, const char **ppchText);
    void SetHighlight(const uint8_t *pbRec, int32_t cbRec);
    void Hotspot(const uint8_t *pbRec, int32_t cbRec);
    void SectionTitle(const uint8_t *pbRec, int32_t cbRec);
    void Caption(const uint8_t *pbRec, int32_t cbRec);

    /* ---- images ---- */
    void AddImage(int32_t nType);
    void AppendImageData(const uint8_t *pb, int32_t cb);
    void ImageTag(uint32_t nWidth, uint32_t nHeight);
    void ImageReference(const uint8_t *pbRec, int32_t cbRec);
    int32_t ConvertNotesBitmap(CLotusBinaryStream &image);
    void WriteMimePart(const CLotusBinaryStream &image, std::string &strTo);
    /* Characters enough for the MIME part of an image (0 for an image that writes none). */
    size_t MimePartCapacity(const CLotusBinaryStream &image) const;

    ZAPI *pZAPI;
    uint32_t dwFlags;                   /* host conversion flags (CNVO_SHOWHIDDENTEXT) */
    uint32_t bMHT;                      /* output mode of objects created from now on */
    uint32_t bLinkOpen;                 /* a link anchor is open */
    std::string strNoteID;              /* upper-case hexadecimal; names the images */
    std::string strOut;
    std::vector<std::unique_ptr<CLotusRTPar>> rgpPabs;
    std::vector<std::unique_ptr<CLotusRTFont>> rgpFonts;
    std::vector<std::unique_ptr<CLotusRTTable>> rgpTables;   /* open tables, innermost last */
    CLotusRTBlock block;
    std::vector<std::unique_ptr<CLotusBinaryStream>> rgpImages;
    uint32_t dwHighlight;               /* background colour for the next text run; 0 = none */
    uint32_t bShowAttachmentName;
    NsfContext *pContext;
    LotusImageCallback pfnImage;

private:
    /* Makes the text block hold at least cb bytes; false when the host has no memory for it. */
    bool ReserveTextBlock(int32_t cb);
    void ReleaseTextBlock();

    /* The tags of the last text run's font, without a highlight. */
    uint32_t dwRunTagsFont = 0;
    bool bRunTagsValid = false;
    std::string strRunOpening;
    std::string strRunClosing;

    /* Host block that every text run of the conversion is converted into. */
    uint8_t *pbTextBlock = nullptr;
    int32_t cbTextBlock = 0;

    /* First definition of each ID / face in record order, for quick look-up. Paragraph definitions are
       numbered from 1 up: the small IDs, the ones documents use, index a table. */
    static constexpr uint16_t cPabsByID = 4096;
    std::vector<const CLotusRTPar *> rgpPabsByID;
    std::unordered_map<uint16_t, const CLotusRTPar *> mapPabs;
    std::unordered_map<uint8_t, const CLotusRTFont *> mapFonts;
};

#endif
