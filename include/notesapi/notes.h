/* Everything the runtime exports. */
#ifndef NOTESAPI_NOTES_H
#define NOTESAPI_NOTES_H

#include "notesapi/global.h"
#include "notesapi/status.h"
#include "notesapi/nsfdata.h"
#include "notesapi/init.h"
#include "notesapi/nsfdb.h"
#include "notesapi/nsfsearch.h"
#include "notesapi/nsfnote.h"
#include "notesapi/idtable.h"
#include "notesapi/osmem.h"
#include "notesapi/osmisc.h"
#include "notesapi/ods.h"
#include "notesapi/mime.h"
#include "notesapi/xml.h"

#endif /* NOTESAPI_NOTES_H */
