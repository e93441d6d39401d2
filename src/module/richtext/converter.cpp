#include "richtext/converter.h"

#include <stdexcept>
#include <utility>

#include "richtext/cd_record.h"

CLotusRTConverter::CLotusRTConverter(ZAPI *pHost, const std::string &strNote)
    : CLotusHTMLTag(0), pZAPI(pHost), dwFlags(0), bMHT(0), bLinkOpen(0), strNoteID(strNote), block(0),
      dwHighlight(0), bShowAttachmentName(0), pContext(nullptr), pfnImage(nullptr)
{
    if (pZAPI == nullptr)
        throw std::invalid_argument("rich-text converter needs the host's service record");

    if (pZAPI->fpGetOption != nullptr) {
        char szValue[9] = {};
        if (pZAPI->fpGetOption(pZAPI, "dxlrex", "ShowAttachmentName", "", szValue, sizeof szValue, 0) != 0) {
            szValue[sizeof szValue - 1] = '\0';
            bShowAttachmentName = std::string(szValue) == "1" ? 1 : 0;
        }
    }
}

CLotusRTConverter::~CLotusRTConverter()
{
    ReleaseTextBlock();
}

int32_t CLotusRTConverter::SetOptions(uint32_t dwOptions)
{
    dwFlags = dwOptions;
    return 0;
}

int32_t CLotusRTConverter::Convert(const uint8_t *pb, size_t cb, std::string &strResult)
{
    if (cb > static_cast<size_t>(INT32_MAX))
        throw std::length_error("rich-text value larger than 2 GB");
    if (pb == nullptr && cb != 0)
        throw std::invalid_argument("rich-text value without bytes");
    const int32_t cbRecords = static_cast<int32_t>(cb);

    bMHT = 1;
    SetMode(bMHT);
    block.SetMode(bMHT);
    strOut.clear();
    /* HTML is mostly larger than its records: start with room for twice their size */
    strOut.reserve(2 * cb + 1024);

    CollectDefinitions(pb, cbRecords);
    RenderRecords(pb, cbRecords);
    for (auto &pImage : rgpImages) {
        if (pImage->nType == LOTUS_IMAGE_NOTES_BITMAP)
            ConvertNotesBitmap(*pImage);
    }

    block.Transition(LOTUS_BLOCK_NONE, strOut);
    strOut += "</BODY></HTML>\r\n";
    /* Image parts are most of a large result: room for all of them at once, not part by part. */
    size_t cchParts = sizeof LOTUS_MHT_BOUNDARY "--";
    for (auto &pImage : rgpImages)
        cchParts += MimePartCapacity(*pImage);
    strOut.reserve(strOut.size() + cchParts);
    for (auto &pImage : rgpImages)
        WriteMimePart(*pImage, strOut);
    strOut += LOTUS_MHT_BOUNDARY "--";

    strResult = std::move(strOut);
    strOut.clear();
    return 0;
}

void CLotusRTConverter::CollectDefinitions(const uint8_t *pb, int32_t cb)
{
    int64_t nPos = 0;
    while (nPos + 2 < cb) {
        const int32_t cbRec = nsfGetCDRecordLength(pb, cb, static_cast<int32_t>(nPos));
        if (cbRec == 0)
            break;
        const uint8_t *pbRec = pb + nPos;
        if (pbRec[0] == LOTUS_SIG_FONTTABLE)
            AddFonts(pbRec, cbRec);
        else if (pbRec[0] == LOTUS_SIG_PABDEFINITION)
            AddPab(pbRec, cbRec);
        nPos = nsfGetNextCDPosition(static_cast<int32_t>(nPos), cbRec);
    }
}

void CLotusRTConverter::AddFonts(const uint8_t *pbRec, int32_t cbRec)
{
    const int32_t cFaces = nsfGetCDWord(pbRec, cbRec, 4);
    for (int32_t i = 0; i < cFaces; ++i) {
        const int64_t nOffset = 6 + static_cast<int64_t>(i) * LOTUS_FONT_FACE_SIZE;
        if (nOffset + LOTUS_FONT_FACE_SIZE > cbRec)
            break;
        rgpFonts.push_back(std::make_unique<CLotusRTFont>(bMHT, pbRec + nOffset));
        mapFonts.emplace(rgpFonts.back()->bFaceID, rgpFonts.back().get());
    }
}

void CLotusRTConverter::AddPab(const uint8_t *pbRec, int32_t cbRec)
{
    rgpPabs.push_back(std::make_unique<CLotusRTPar>(bMHT, pbRec, cbRec));
    const CLotusRTPar *pPar = rgpPabs.back().get();
    if (pPar->wID >= cPabsByID) {
        mapPabs.emplace(pPar->wID, pPar);
        return;
    }
    if (rgpPabsByID.size() <= pPar->wID)
        rgpPabsByID.resize(static_cast<size_t>(pPar->wID) + 1, nullptr);
    if (rgpPabsByID[pPar->wID] == nullptr)
        rgpPabsByID[pPar->wID] = pPar;
}

const CLotusRTPar *CLotusRTConverter::FindPab(uint16_t wID) const
{
    if (wID < rgpPabsByID.size())
        return rgpPabsByID[wID];
    if (wID < cPabsByID)
        return nullptr;
    auto it = mapPabs.find(wID);
    return it == mapPabs.end() ? nullptr : it->second;
}

const CLotusRTFont *CLotusRTConverter::FindFont(uint8_t bFaceID) const
{
    auto it = mapFonts.find(bFaceID);
    return it == mapFonts.end() ? nullptr : it->second;
}

void CLotusRTConverter::ParagraphOpening(const CLotusRTPar &par)
{
    block.Transition(par.GetBlockMode(), strOut);
    par.AppendAlignment(strOut);
}

void CLotusRTConverter::DefaultParagraphOpening()
{
    block.Transition(LOTUS_BLOCK_PARAGRAPH, strOut);
    strOut += '>';
}
