/* Alias: the DXL exporter is declared in xml.h. */
#ifndef NOTESAPI_DXL_H
#define NOTESAPI_DXL_H
#include "notesapi/xml.h"
#endif
