/* Starting and stopping the runtime, its configuration variables and the current user ID. */
#ifndef NOTESAPI_INIT_H
#define NOTESAPI_INIT_H

#include "notesapi/global.h"

#define MAXENVVALUE 256
#define MAX_ENVAPI_BUF_SIZE 32767

/* Do not point notes.ini at the ID file given to SECKFMSwitchToIDFile. */
#define fKFM_switchid_DontSetEnvVar 0x00000008

NOTESAPI_BEGIN_DECLS

/* Starts the runtime (reference counted). An argument "=PATH" after argv[0] names the
 * configuration file. */
LNPUBLIC_API STATUS NotesInitExtended(int argc, char** argv);
LNPUBLIC_API STATUS NotesInit(void);
/* Ends one start; the last one releases every handle still open. */
LNPUBLIC_API void NotesTerm(void);
LNPUBLIC_API STATUS NotesInitThread(void);
LNPUBLIC_API void NotesTermThread(void);

/* A configuration variable (case-insensitive name). BufferLength excludes the NUL. */
LNPUBLIC_API BOOL OSGetEnvironmentString(const char* VariableName, char* retValueBuffer, WORD BufferLength);
LNPUBLIC_API long OSGetEnvironmentLong(const char* VariableName);

LNPUBLIC_API STATUS SECKFMSwitchToIDFile(const char* pIDFileName, const char* pPassword, char* retUserName,
                                         WORD MaxUserNameLength, DWORD SwitchIdFlags, void* pReserved);

NOTESAPI_END_DECLS

#endif /* NOTESAPI_INIT_H */
