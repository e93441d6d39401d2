/* Alias: translation and status texts live in osmisc.h. */
#ifndef NOTESAPI_OSTRANSLATE_H
#define NOTESAPI_OSTRANSLATE_H
#include "notesapi/osmisc.h"
#endif
