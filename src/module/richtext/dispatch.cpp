/*
 * The rendering walk: every record the converter knows is turned into HTML, in record order.
 */
#include "richtext/cd_record.h"
#include "richtext/converter.h"

namespace {

/* Where the walk stands with respect to a BEGIN...END bracket. */
enum BracketState : int32_t {
    BRACKET_OUTSIDE = 0,
    BRACKET_FIRST_PASS = 1,   /* only highlights and image references act */
    BRACKET_REPLAY = 2,       /* END seen; the walk went back to BEGIN */
    BRACKET_SECOND_PASS = 3,  /* everything but highlights acts */
};

bool IsTableRecord(uint8_t bSig)
{
    switch (bSig) {
    case LOTUS_SIG_TABLEBEGIN:
    case LOTUS_SIG_TABLECELL:
    case LOTUS_SIG_TABLEEND:
    case LOTUS_SIG_TABLECELL_COLOR:
    case LOTUS_SIG_BORDERINFO:
    case LOTUS_SIG_NESTEDTABLEBEGIN:
    case LOTUS_SIG_NESTEDTABLECELL:
    case LOTUS_SIG_NESTEDTABLEEND:
        return true;
    default:
        return false;
    }
}

} // namespace

void CLotusRTConverter::RenderRecords(const uint8_t *pb, int32_t cb)
{
    bool bTextSeen = false;
    bool bBreakPending = false;
    int32_t nBracket = BRACKET_OUTSIDE;
    int32_t nBeginPos = 0;

    int64_t nPos = 0;
    while (nPos + 2 < cb) {
        const int32_t nRecPos = static_cast<int32_t>(nPos);
        const int32_t cbRec = nsfGetCDRecordLength(pb, cb, nRecPos);
        if (cbRec == 0)
            break;
        const uint8_t *pbRec = pb + nRecPos;
        const uint8_t bSig = pbRec[0];
        nPos = nsfGetNextCDPosition(nRecPos, cbRec);

        if (bSig == LOTUS_SIG_BEGIN) {
            if (nBracket == BRACKET_OUTSIDE) {
                nBeginPos = nRecPos;
                nBracket = BRACKET_FIRST_PASS;
            } else if (nBracket == BRACKET_REPLAY) {
                nBracket = BRACKET_SECOND_PASS;
            }
        } else if (bSig == LOTUS_SIG_END) {
            if (nBracket == BRACKET_FIRST_PASS) {
                /* Each bracket is replayed once: the BEGIN record moves the state on to the second pass,
                   and its END then leaves the bracket, so the walk always ends. */
                nBracket = BRACKET_REPLAY;
                nPos = nBeginPos;
                continue;
            }
            if (nBracket == BRACKET_SECOND_PASS)
                nBracket = BRACKET_OUTSIDE;
        }

        if (bSig == LOTUS_SIG_COLOR && nBracket != BRACKET_SECOND_PASS)
            SetHighlight(pbRec, cbRec);
        if (bSig == LOTUS_SIG_TABLECELL_HREF || bSig == LOTUS_SIG_HREF)
            ImageReference(pbRec, cbRec);
        if (nBracket == BRACKET_FIRST_PASS)
            continue;

        switch (bSig) {
        case LOTUS_SIG_TEXT:
            bTextSeen = true;
            if (bBreakPending) {
                strOut.append("<BR>", 4);
                bBreakPending = false;
            }
            TextRun(pbRec, cbRec);
            break;
        case LOTUS_SIG_PABREFERENCE: {
            const CLotusRTPar *pPar = FindPab(nsfGetCDWord(pbRec, cbRec, 2));
            if (pPar != nullptr)
                ParagraphOpening(*pPar);
            else
                DefaultParagraphOpening();
            break;
        }
        case LOTUS_SIG_HORIZONTALRULE:
            strOut.append("<HR>", 4);
            break;
        case LOTUS_SIG_PARAGRAPH:
            if (bTextSeen)
                bBreakPending = true;
            break;
        case LOTUS_SIG_V4HOTSPOTBEGIN:
        case LOTUS_SIG_V4HOTSPOTEND:
        case LOTUS_SIG_HOTSPOTBEGIN:
            Hotspot(pbRec, cbRec);
            break;
        case LOTUS_SIG_IMAGEHEADER:
            if (nsfGetCDDword(pbRec, cbRec, 16) > 0) {
                const uint8_t bType = nsfGetCDByte(pbRec, cbRec, 6);
                AddImage(bType >= LOTUS_IMAGE_GIF && bType <= LOTUS_IMAGE_BMP ? static_cast<int32_t>(bType) : 0);
                ImageTag(nsfGetCDWord(pbRec, cbRec, 8), nsfGetCDWord(pbRec, cbRec, 10));
            }
            break;
        case LOTUS_SIG_IMAGESEGMENT:
            AppendImageData(pbRec + (cbRec > 10 ? 10 : cbRec),
                            nsfGetCDAvailable(cbRec, 10, nsfGetCDWord(pbRec, cbRec, 6)));
            break;
        case LOTUS_SIG_BITMAPHEADER:
            AddImage(LOTUS_IMAGE_NOTES_BITMAP);
            AppendImageData(pbRec, cbRec);
            ImageTag(nsfGetCDWord(pbRec, cbRec, 22), nsfGetCDWord(pbRec, cbRec, 24));
            break;
        case LOTUS_SIG_BITMAPSEGMENT:
        case LOTUS_SIG_COLORTABLE:
        case LOTUS_SIG_PATTERNTABLE:
            AppendImageData(pbRec, cbRec);
            break;
        case LOTUS_SIG_PRETABLEBEGIN:
            rgpTables.push_back(std::make_unique<CLotusRTTable>(bMHT, pbRec, cbRec));
            break;
        case LOTUS_SIG_BAR:
            SectionTitle(pbRec, cbRec);
            break;
        case LOTUS_SIG_CAPTION:
            Caption(pbRec, cbRec);
            break;
        default:
            if (IsTableRecord(bSig)) {
                if (bSig == LOTUS_SIG_TABLECELL)
                    CellColourLookAhead(pb, cb, nRecPos, cbRec);
                RenderTableRecord(pbRec, cbRec);
            }
            break;
        }
    }
}

void CLotusRTConverter::RenderTableRecord(const uint8_t *pbRec, int32_t cbRec)
{
    block.Transition(LOTUS_BLOCK_NONE, strOut);
    if (rgpTables.empty())
        return;
    rgpTables.back()->Render(pbRec, cbRec, strOut);
    const uint8_t bSig = pbRec[0];
    if (bSig == LOTUS_SIG_TABLEEND || bSig == LOTUS_SIG_NESTEDTABLEEND)
        rgpTables.pop_back();
}

void CLotusRTConverter::CellColourLookAhead(const uint8_t *pbSeq, int32_t cbSeq, int32_t nCellPos, int32_t cbCell)
{
    int64_t nPos = nsfGetNextCDPosition(nCellPos, cbCell);
    while (nPos + 2 < cbSeq) {
        const int32_t cbRec = nsfGetCDRecordLength(pbSeq, cbSeq, static_cast<int32_t>(nPos));
        if (cbRec == 0)
            return;
        const uint8_t *pbRec = pbSeq + nPos;
        if (pbRec[0] == LOTUS_SIG_TABLECELL_COLOR) {
            if (!rgpTables.empty())
                rgpTables.back()->Render(pbRec, cbRec, strOut); /* a colour record renders nothing */
            return;
        }
        if (pbRec[0] == LOTUS_SIG_TABLECELL || pbRec[0] == LOTUS_SIG_TABLEEND)
            return;
        nPos = nsfGetNextCDPosition(static_cast<int32_t>(nPos), cbRec);
    }
}
